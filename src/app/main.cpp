// Daredazi: a slide-show viewer for folders of photographs.
#include <QApplication>

#include "app/app_state.h"
#include "app/open_from_outside.h"
#include "app/single_instance.h"
#include "app/startup.h"
#include "platform/end_signals.h"
#include "platform/file_names.h"
#include "platform/media_environment.h"

int main(int argc, char** argv)
{
    // Before anything can load the media back end or start a thread.
    platform::installEndSignals(platform::removeMediaStateFolder);
    platform::keepMediaStateInTemporaryFolder();
    app::keepLibraryMessagesQuiet();
    QApplication application(argc, argv);
    platform::watchEndSignals();
    // The one argument is a folder or picture to open ("Open with"), taken
    // by its bytes: a name that is not UTF-8 still opens.
    const QString startPath =
        argc > 1 ? app::startPathFromArguments({QString(), platform::decodeFileName(argv[1], qstrlen(argv[1]))})
                 : QString();
    // A viewer already running is brought forward and shows it instead.
    if (app::forwardToRunningInstance(startPath))
        return 0;
    AppState state;
    app::startRun(state, startPath);
    // An end asked for while the first picture's box was up ends here.
    const int rc = platform::endRequested() ? 0 : QApplication::exec();
    // Asked to end by a signal: at once, without taking every window down.
    if (platform::endRequested())
        platform::endNow();
    app::endProcess(rc);
}
