#include "app/startup.h"

#include <QApplication>
#include <QDir>

#include "app/splash.h"
#include "folder/tfrm_sub.h"
#include "search/tdlg_px_serch.h"
#include "viewer/tfrm_main.h"

namespace app {

void createWindows(AppState& state)
{
    QApplication::setApplicationName(QStringLiteral("Daredazi"));
    QApplication::setApplicationDisplayName(QStringLiteral("Daredazi"));
    state.HelpFilePath = QDir::currentPath() + QStringLiteral("/Daredazi.chm");
    createSplash(state);
    state.frmMain = new TfrmMain(state);
    state.frmSub = new TfrmSub(state);
    startSplashTimer(state);
    state.frmSub->show();
    state.dlgPxSerch = new TdlgPxSerch(state, state.frmSub);
}

void destroyWindows(AppState& state)
{
    delete state.dlgPxSerch;
    state.dlgPxSerch = nullptr;
    delete state.frmSub;
    state.frmSub = nullptr;
    delete state.frmMain;
    state.frmMain = nullptr;
}

}  // namespace app
