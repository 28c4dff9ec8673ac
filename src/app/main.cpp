// Daredazi: a slide-show viewer for folders of photographs.
#include <QApplication>

#include "app/app_state.h"
#include "app/open_from_outside.h"
#include "app/single_instance.h"
#include "app/startup.h"
#include "platform/media_environment.h"

int main(int argc, char** argv)
{
    // Before anything can load the media back end.
    platform::keepMediaStateInTemporaryFolder();
    app::keepLibraryMessagesQuiet();
    QApplication application(argc, argv);
    // The one argument is a folder or picture to open ("Open with").
    const QString startPath = app::startPathFromArguments(QCoreApplication::arguments());
    // A viewer already running is brought forward and shows it instead.
    if (app::forwardToRunningInstance(startPath))
        return 0;
    app::prepareApplication();

    AppState state;
    app::createWindows(state);
    app::listenForLaterInstances(state);
    app::openFromOutside(state, startPath);
    app::endProcess(QApplication::exec());
}
