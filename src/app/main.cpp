// Daredazi: a slide-show viewer for folders of photographs.
#include <QApplication>

#include "app/app_state.h"
#include "app/single_instance.h"
#include "app/startup.h"
#include "platform/fonts.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    if (app::forwardToRunningInstance())
        return 0;
    platform::installFontSubstitutes();
    QApplication::setFont(platform::uiFont(15));

    AppState state;
    app::createWindows(state);
    app::listenForLaterInstances(state);
    const int rc = QApplication::exec();
    app::destroyWindows(state);
    return rc;
}
