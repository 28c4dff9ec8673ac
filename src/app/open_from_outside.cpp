#include "app/open_from_outside.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include "app/app_state.h"
#include "folder/masks.h"
#include "folder/tfrm_sub.h"
#include "imaging/picture_decoder.h"
#include "platform/end_signals.h"
#include "platform/regular_file.h"
#include "viewer/tfrm_main.h"
#include "widgets/folder_tree.h"

namespace app {

QString startPathFromArguments(const QStringList& arguments)
{
    if (arguments.size() < 2 || arguments.at(1).isEmpty())
        return {};
    return QDir::cleanPath(QFileInfo(arguments.at(1)).absoluteFilePath());
}

bool isPictureName(const QString& fileName)
{
    const QStringList patterns = folder::kFullMask.split(QLatin1Char(';'));
    for (const QString& pattern : patterns) {
        // Every pattern is "*.ext".
        if (fileName.size() > pattern.size() - 1 &&
            fileName.endsWith(QStringView(pattern).mid(1), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

viewer::PictureCache::EarlyLoad startFirstPicture(const QString& path)
{
    // A JPEG is decoded at the scale the screen needs, so its decode beside
    // the windows being built costs little memory; other formats decode at
    // full size and wait for the windows as before.
    if (path.isEmpty() || imaging::pictureKindFor(path) != imaging::PictureKind::Jpeg ||
        !isPictureName(QFileInfo(path).fileName()) || !platform::lookUpFile(path).regular)
        return nullptr;
    return viewer::PictureCache::startEarly(TfrmMain::startRequest(path));
}

namespace {

// Chooses folder in the tree and lists it; false when the tree has no such
// folder.
bool chooseFolder(TfrmSub& sub, const QString& folder)
{
    const bool same = QDir::cleanPath(sub.tvFoldr->selectedPath()) == folder;
    // The tree reads folders in the background: a folder whose parent it has
    // not read yet has no row for a moment (a deep one for a few seconds,
    // as its levels are read one after another).
    const int patienceMs = platform::isDirectory(folder) ? 15000 : 2000;
    QElapsedTimer waited;
    waited.start();
    while (!sub.tvFoldr->selectPath(folder)) {
        if (waited.elapsed() > patienceMs || platform::endRequested())
            return false;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
        QThread::msleep(5);
    }
    // The tree lists a folder when the selection moves; one already chosen
    // is listed again, as the disk may have changed since.
    if (same)
        sub.tvFoldrChange();
    return true;
}

bool selectLine(TfrmSub& sub, const QString& fileName)
{
    const QList<QListWidgetItem*> found = sub.FLList->findItems(fileName, Qt::MatchFixedString | Qt::MatchCaseSensitive);
    if (found.isEmpty())
        return false;
    sub.FLList->clearSelection();
    sub.FLList->setCurrentItem(found.first());
    found.first()->setSelected(true);
    return true;
}

}  // namespace

bool namesAPicture(const QString& path)
{
    return !path.isEmpty() && isPictureName(QFileInfo(path).fileName()) && platform::lookUpFile(path).regular;
}

void openFromOutside(AppState& state, const QString& path)
{
    TfrmSub* sub = state.frmSub;
    if (!sub || path.isEmpty())
        return;
    const QFileInfo info(path);
    const platform::FileFacts facts = platform::lookUpFile(path);
    QString folder;
    QString picture;
    if (facts.directory) {
        folder = QDir::cleanPath(info.absoluteFilePath());
    } else if (facts.regular && isPictureName(info.fileName())) {
        folder = QDir::cleanPath(info.absolutePath());
        picture = info.fileName();
    } else {
        return;
    }

    // Another dialog (print, version, a message) has the user's attention:
    // leave it alone.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal != sub)
        return;

    const bool folderWindowUp = sub->isVisible();
    if (!picture.isEmpty()) {
        // OK builds the list whether the folder window is up or not. The
        // folder is listed without the tree: the tree would read every entry
        // of the folder and of those above it while the picture is decoded,
        // and reaches a folder a thousand levels deep only after seconds.
        // The folder window chooses it in the tree when it shows.
        if (sub->chooseFolderDirectly(folder) && selectLine(*sub, picture))
            sub->btOKClick(sub->btOK);
        return;
    }
    if (folderWindowUp || !sub->viewerShown()) {
        chooseFolder(*sub, folder);
        return;
    }
    // The show runs: open the folder window over it, as the Ctrl key does,
    // and choose the folder once the window has selected the last one.
    QPointer<TfrmSub> guarded(sub);
    QTimer::singleShot(0, sub, [guarded, folder] {
        if (guarded)
            chooseFolder(*guarded, folder);
    });
    sub->exec();
}

}  // namespace app
