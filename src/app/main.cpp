// Daredazi: a slide-show viewer for folders of photographs.
#include <QApplication>

#include "app/app_state.h"
#include "app/single_instance.h"
#include "app/startup.h"

int main(int argc, char** argv)
{
    // The command line is not read.
    QApplication application(argc, argv);
    // A viewer already running is brought forward instead.
    if (app::forwardToRunningInstance())
        return 0;
    app::prepareApplication();

    AppState state;
    app::createWindows(state);
    app::listenForLaterInstances(state);
    const int rc = QApplication::exec();
    app::destroyWindows(state);
    return rc;
}
