#include "app/startup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <cstdlib>

#include "app/open_from_outside.h"
#include "app/single_instance.h"
#include "app/splash.h"
#include "folder/tfrm_sub.h"
#include "platform/end_signals.h"
#include "platform/folder_walk.h"
#include "platform/fonts.h"
#include "platform/media_environment.h"
#include "search/tdlg_px_serch.h"
#include "viewer/tfrm_main.h"

namespace app {

void prepareApplication()
{
    platform::installFontSubstitutes();
    QApplication::setFont(platform::applicationFont());
    installJapaneseTranslations();
}

void keepLibraryMessagesQuiet()
{
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false\n*.critical=false"));
}

void installJapaneseTranslations()
{
    // Qt's own dialogs and buttons speak the interface's language whatever
    // the user's locale.
    const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* name : {"qtbase_ja", "qtmultimedia_ja"}) {
        auto* t = new QTranslator(qApp);
        if (t->load(QString::fromLatin1(name), dir))
            QCoreApplication::installTranslator(t);
        else
            delete t;
    }
}

void createWindows(AppState& state, bool showFolderWindow)
{
    createSplash(state);

    QApplication::setApplicationName(QStringLiteral("Daredazi"));
    // No display name is set: the window system would append it to every
    // caption, and each window's caption is its own text alone.
    // The program ends when the viewer closes; the folder window hides
    // before the viewer shows, so the last window never closes by accident.
    QApplication::setQuitOnLastWindowClosed(true);

    // The viewer stays hidden until the first OK of the folder window.
    state.frmMain = new TfrmMain(state);
    // The viewer prepared the printer as it was made; without a printer that
    // is skipped, and the help path and the lists exist regardless.
    state.HelpFilePath = platform::joinPath(QDir::toNativeSeparators(QDir::currentPath()),
                                            QStringLiteral("Daredazi.chm"));
    state.SortList.clear();
    state.InfoLines.clear();

    state.frmSub = new TfrmSub(state);
    state.FolderList.clear();
    state.FolderIndexList.clear();
    state.FileList.clear();
    startSplashTimer(state);
    if (showFolderWindow)
        showBelowSplash(state, state.frmSub);

    state.dlgPxSerch = new TdlgPxSerch(state, state.frmSub);
}

void startRun(AppState& state, const QString& startPath)
{
    const viewer::PictureCache::EarlyLoad firstPicture = startFirstPicture(startPath);
    prepareApplication();
    // A start with a picture goes straight to the show: the folder window,
    // shown and hidden again at once, would only make its tree read the
    // home folder and load the style's icons meanwhile.
    const bool picture = namesAPicture(startPath);
    createWindows(state, !picture);
    state.frmMain->pictureCache().adopt(firstPicture);
    listenForLaterInstances(state);
    // The listening socket's file goes also when a signal ends the run.
    for (const QLocalServer* server : qApp->findChildren<QLocalServer*>())
        if (server->fullServerName().startsWith(QLatin1Char('/')))
            platform::removeAtEnd(QFile::encodeName(server->fullServerName()));
    openFromOutside(state, startPath);
    // A picture that could not be opened leaves the folder window, as any
    // start does.
    if (picture && !state.frmMain->isVisible() && !state.frmSub->isVisible())
        showBelowSplash(state, state.frmSub);
    // Without a picture on screen the printer is prepared at once; with
    // one, after its paint.
    if (!state.frmMain->isVisible())
        QTimer::singleShot(0, state.frmMain, &TfrmMain::preparePrinter);
}

void destroyWindows(AppState& state)
{
    // A splash whose timer has not fired yet must not outlive the state.
    delete state.frmSSTTitl;
    delete state.dlgPxSerch;
    state.dlgPxSerch = nullptr;
    delete state.frmSub;
    state.frmSub = nullptr;
    delete state.frmMain;
    state.frmMain = nullptr;
    state.FolderList.clear();
    state.FolderIndexList.clear();
    state.FileList.clear();
    state.UnrotatedPicture = QImage();
    state.SortList.clear();
    state.InfoLines.clear();
}

void endProcess(int rc)
{
    // The window system takes the windows down with the process; the media
    // back end's private folder goes as the exit handlers would take it.
    stopListening();
    platform::removeMediaStateFolder();
    std::fflush(nullptr);
    std::_Exit(rc);
}

}  // namespace app
