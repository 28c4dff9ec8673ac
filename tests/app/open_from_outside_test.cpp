// A folder or picture given from outside: on the command line of the first
// start, and handed over by a later start of the real program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "app/app_state.h"
#include "app/open_from_outside.h"
#include "app/single_instance.h"
#include "app/startup.h"
#include "folder/tfrm_sub.h"
#include "support/photos.h"
#include "widgets/folder_tree.h"
#include "widgets/message_box.h"
#include "viewer/picture_box.h"
#include "viewer/tfrm_main.h"

static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const QString kNoFolder =
    QStringLiteral("フォルダ（ディレクトリ）の指定が不適切です！\nより下位のフォルダを指定してみて下さい。");

class OpenFromOutsideTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        // A folder name outside ASCII, as photo folders often have.
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("写真")));
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("other")));
        QImage image(32, 24, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        for (const char* name : {"写真/a.jpg", "写真/b.png", "写真/c.bmp", "other/x.jpg"})
            ASSERT_TRUE(image.save(dir.filePath(QString::fromUtf8(name))));
        QFile notes(dir.filePath(QStringLiteral("写真/notes.txt")));
        ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
        app::createWindows(state);
    }
    void TearDown() override { app::destroyWindows(state); }

    QString photos() const { return dir.filePath(QStringLiteral("写真")); }
    // The picture on screen: the advance has already stepped past it.
    QString shownPicture() const
    {
        const int n = static_cast<int>(state.FileList.size());
        if (n == 0)
            return {};
        return QDir::fromNativeSeparators(state.fullPath(state.CurrentIndex == 0 ? n - 1 : state.CurrentIndex - 1));
    }
    QString chosenFolder() const { return QDir::fromNativeSeparators(state.frmSub->tvFoldr->selectedPath()); }

    QTemporaryDir dir;
    AppState state;
    widgets::MessageCapture messages;
};

}  // namespace

TEST_F(OpenFromOutsideTest, PictureStartsTheShowAtItInItsFolder)
{
    app::openFromOutside(state, photos() + QStringLiteral("/b.png"));
    EXPECT_TRUE(state.frmMain->isVisible());
    EXPECT_FALSE(state.frmSub->isVisible());
    // The whole folder is the show, in its usual order; b.png is on screen.
    EXPECT_EQ(state.FileList, (QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.png"), QStringLiteral("c.bmp")}));
    EXPECT_EQ(shownPicture(), photos() + QStringLiteral("/b.png"));
    EXPECT_EQ(QDir::fromNativeSeparators(state.ChosenFolder), photos());
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(QLatin1Char('|')).toStdString();

    // The folder window, opened over the show, has the folder chosen in
    // its tree.
    state.frmSub->show();
    EXPECT_EQ(chosenFolder(), photos());
    EXPECT_EQ(state.frmSub->FLList->count(), 3);
    state.frmSub->hide();

    // While the show runs, another picture builds the show of its folder.
    app::openFromOutside(state, dir.filePath(QStringLiteral("other/x.jpg")));
    EXPECT_EQ(shownPicture(), dir.filePath(QStringLiteral("other/x.jpg")));

    // A folder while the show runs opens the folder window over it with that
    // folder chosen; Cancel returns to the show unchanged.
    bool sawFolderWindow = false;
    QTimer::singleShot(200, state.frmSub, [&] {
        sawFolderWindow = state.frmSub->isVisible() && chosenFolder() == photos() && state.frmSub->FLList->count() == 3;
        state.frmSub->btCancelClick();
        state.frmSub->reject();
    });
    app::openFromOutside(state, photos());
    EXPECT_TRUE(sawFolderWindow);
    EXPECT_EQ(shownPicture(), dir.filePath(QStringLiteral("other/x.jpg")));
}

// The picture named at the start is read and decoded while the windows are
// built; the viewer shows that decode rather than decoding it again, and a
// bad file still gives its message.
TEST_F(OpenFromOutsideTest, PictureDecodedAtTheStartIsTakenOverByTheViewer)
{
    const QString picture = photos() + QStringLiteral("/a.jpg");
    const viewer::PictureCache::EarlyLoad early = app::startFirstPicture(picture);
    ASSERT_TRUE(early);
    state.frmMain->pictureCache().adopt(early);
    app::openFromOutside(state, picture);
    EXPECT_EQ(shownPicture(), picture);
    EXPECT_EQ(state.frmMain->pictureCache().hits(), 1);
    EXPECT_EQ(state.frmMain->shownPicture().image.size(), QSize(32, 24));

    // Cut short after its header: decoded early or not, the same message.
    QFile bad(photos() + QStringLiteral("/bad.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write(QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 11));
    bad.close();
    state.frmMain->pictureCache().adopt(app::startFirstPicture(bad.fileName()));
    app::openFromOutside(state, bad.fileName());
    EXPECT_EQ(messages.texts.size(), 1);
}

// Named at the start, a camera's 24-megapixel picture shows its Exif
// thumbnail as soon as the viewer is up, while the picture itself is still
// being decoded; then the picture.
TEST_F(OpenFromOutsideTest, CamerasThumbnailIsShownWhileTheStartPictureIsDecoded)
{
    const QImage img = testsupport::photo({6000, 4000}, 2);
    const QString picture = photos() + QStringLiteral("/IMG_0001.JPG");
    QFile f(picture);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(testsupport::withThumbnail(testsupport::jpegBytes(img), testsupport::paddedThumbnail(img)));
    f.close();
    std::vector<QImage> looks;
    std::atomic<bool> looked{false};
    state.frmMain->previewPainted = [&](const QImage& look) {
        looks.push_back(look);
        looked.store(true);
    };
    // The decode is held back until the first look has been painted, as a
    // large picture on a slow machine is.
    state.frmMain->pictureCache().adopt(viewer::PictureCache::startEarly(
        TfrmMain::startRequest(picture),
        [&](const viewer::PictureRequest& r, bool full, viewer::LoadProgress* p, bool decode) {
            auto out = viewer::loadPicture(r, full, p, decode);
            for (int i = 0; i < 500 && !looked.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            return out;
        }));
    app::openFromOutside(state, picture);
    EXPECT_EQ(shownPicture(), picture);
    EXPECT_EQ(state.frmMain->pictureCache().hits(), 1);
    ASSERT_EQ(looks.size(), 1u);
    // That picture, coarsely (the thumbnail is 160 x 120), and no other.
    auto coarse = [](const QImage& i) { return i.scaled(QSize(30, 20), Qt::IgnoreAspectRatio, Qt::SmoothTransformation); };
    EXPECT_GT(testsupport::psnr(coarse(looks[0]), coarse(img)),
              testsupport::psnr(coarse(looks[0]), coarse(testsupport::photo({6000, 4000}, 5))) + 6);
    EXPECT_EQ(looks[0].size(), state.frmMain->Image1->picture().size());
    // Replaced by the picture itself.
    EXPECT_NE(state.frmMain->Image1->picture().cacheKey(), looks[0].cacheKey());
    EXPECT_EQ(state.frmMain->shownPicture().fullSize, QSize(6000, 4000));
    EXPECT_TRUE(messages.texts.isEmpty());
}

// Only a regular JPEG file is started early (decoded at the screen's scale);
// anything else takes the usual way.
TEST_F(OpenFromOutsideTest, OnlyRegularJpegsAreDecodedAtTheStart)
{
    EXPECT_TRUE(app::startFirstPicture(dir.filePath(QStringLiteral("other/x.jpg"))));
    EXPECT_FALSE(app::startFirstPicture(photos() + QStringLiteral("/c.bmp")));
    EXPECT_FALSE(app::startFirstPicture(photos() + QStringLiteral("/b.png")));
    EXPECT_FALSE(app::startFirstPicture(QString()));
    EXPECT_FALSE(app::startFirstPicture(photos()));
    EXPECT_FALSE(app::startFirstPicture(photos() + QStringLiteral("/notes.txt")));
    EXPECT_FALSE(app::startFirstPicture(dir.filePath(QStringLiteral("missing.jpg"))));
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("写真/pipe.jpg")));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    EXPECT_FALSE(app::startFirstPicture(QFile::decodeName(fifo)));
}

TEST_F(OpenFromOutsideTest, FolderIsChosenAndListedWithoutStartingTheShow)
{
    // Folders before it, which the tree reads only after the choice.
    for (int i = 0; i < 60; ++i)
        ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a%1").arg(i, 2, 10, QLatin1Char('0'))));
    app::openFromOutside(state, photos());
    EXPECT_EQ(chosenFolder(), photos());
    EXPECT_EQ(state.frmSub->FLList->count(), 3);
    EXPECT_FALSE(state.frmMain->isVisible());
    EXPECT_TRUE(state.FileList.isEmpty());
    // The chosen row is on screen once the tree has read its neighbours.
    widgets::FolderTree* tree = state.frmSub->tvFoldr;
    QTest::qWait(1000);
    const QRect row = tree->visualRect(tree->currentIndex());
    EXPECT_TRUE(row.isValid() && row.top() >= 0 && row.bottom() < tree->viewport()->height()
                && row.left() < tree->viewport()->width())
        << row.y() << " in " << tree->viewport()->height();
}

// The tree reaches a deep folder a level at a time, seconds for a thousand
// levels; a picture there is shown at once from its folder's list, and OK
// in the folder window keeps that folder until the tree chooses another.
TEST_F(OpenFromOutsideTest, PictureInAFolderTheTreeHasNotReachedIsShownAtOnce)
{
    QString deep = photos();
    for (int i = 0; i < 60; ++i)
        deep += QStringLiteral("/d");
    ASSERT_TRUE(QDir().mkpath(deep));
    QImage image(32, 24, QImage::Format_RGB32);
    image.fill(Qt::darkRed);
    for (const char* name : {"/p.jpg", "/q.png"})
        ASSERT_TRUE(image.save(deep + QLatin1String(name)));

    app::openFromOutside(state, deep + QStringLiteral("/q.png"));
    EXPECT_EQ(shownPicture(), deep + QStringLiteral("/q.png"));
    EXPECT_EQ(state.FileList, (QStringList{QStringLiteral("p.jpg"), QStringLiteral("q.png")}));
    EXPECT_EQ(QDir::fromNativeSeparators(state.ChosenFolder), deep);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(QLatin1Char('|')).toStdString();

    // The folder window over the show: its list is that folder, and OK
    // starts the show there again, whether or not the tree has got there.
    state.frmMain->hide();
    state.frmSub->show();
    QTest::qWait(50);
    EXPECT_EQ(state.frmSub->FLList->count(), 2);
    QTest::mouseClick(state.frmSub->btOK, Qt::LeftButton);
    EXPECT_EQ(QDir::fromNativeSeparators(state.ChosenFolder), deep);
    EXPECT_EQ(state.FileList.size(), 2);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(QLatin1Char('|')).toStdString();

    // A folder chosen in the tree takes over.
    state.frmSub->show();
    ASSERT_TRUE(state.frmSub->tvFoldr->selectPath(dir.filePath(QStringLiteral("other"))));
    QTest::mouseClick(state.frmSub->btOK, Qt::LeftButton);
    EXPECT_EQ(QDir::fromNativeSeparators(state.ChosenFolder), dir.filePath(QStringLiteral("other")));
    EXPECT_EQ(state.FileList, QStringList{QStringLiteral("x.jpg")});
}

TEST_F(OpenFromOutsideTest, AnythingElseIsTheNormalStartAndOkComplains)
{
    for (const QString& bad : {dir.filePath(QStringLiteral("missing.jpg")), photos() + QStringLiteral("/notes.txt"),
                               QStringLiteral("/dev/null"), QString()}) {
        SCOPED_TRACE(bad.toStdString());
        app::openFromOutside(state, bad);
        EXPECT_TRUE(chosenFolder().isEmpty());
        EXPECT_FALSE(state.frmMain->isVisible());
        EXPECT_TRUE(messages.texts.isEmpty());
    }
    state.frmSub->btOKClick(state.frmSub->btOK);
    EXPECT_EQ(messages.texts, QStringList{kNoFolder});
}

TEST(OpenFromOutside, ArgumentsAreMadeAbsoluteAndOnlyTheFirstCounts)
{
    const QString here = QDir::currentPath();
    EXPECT_EQ(app::startPathFromArguments({QStringLiteral("daredazi")}), QString());
    EXPECT_EQ(app::startPathFromArguments({QStringLiteral("daredazi"), QStringLiteral("a/../b.jpg"), QStringLiteral("c")}),
              here + QStringLiteral("/b.jpg"));
    EXPECT_EQ(app::startPathFromArguments({QStringLiteral("daredazi"), QStringLiteral("/x/y/")}), QStringLiteral("/x/y"));
    // Endings in any case; a bare ending is no name.
    EXPECT_TRUE(app::isPictureName(QStringLiteral("A.JPG")));
    EXPECT_FALSE(app::isPictureName(QStringLiteral("jpg")));
    EXPECT_FALSE(app::isPictureName(QStringLiteral("a.jpg.txt")));
}

// The hand-over between two processes: this test is the running instance,
// the real program the later start.
TEST_F(OpenFromOutsideTest, LaterStartHandsItsPathToTheRunningInstance)
{
    QTemporaryDir runtime;
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    ASSERT_FALSE(app::forwardToRunningInstance());
    app::listenForLaterInstances(state);

    auto later = [&](const QString& argument, const QString& workDir) {
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(workDir);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QStringLiteral(DAREDAZI_PROGRAM), {argument});
        EXPECT_TRUE(process.waitForFinished(15000));
        EXPECT_EQ(process.exitCode(), 0);
        return process.readAll();
    };

    // A folder: chosen and listed in the folder window that is up.
    EXPECT_EQ(later(photos(), dir.path()), QByteArray());
    EXPECT_TRUE(QTest::qWaitFor([&] { return chosenFolder() == photos(); }, 5000));
    EXPECT_FALSE(state.frmMain->isVisible());

    // A picture named relative to the later start's own folder.
    later(QStringLiteral("c.bmp"), photos());
    EXPECT_TRUE(QTest::qWaitFor([&] { return state.frmMain->isVisible(); }, 5000));
    EXPECT_EQ(shownPicture(), photos() + QStringLiteral("/c.bmp"));

    // A path that is no picture leaves the show alone.
    later(photos() + QStringLiteral("/notes.txt"), dir.path());
    QTest::qWait(300);
    EXPECT_EQ(shownPicture(), photos() + QStringLiteral("/c.bmp"));
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(QLatin1Char('|')).toStdString();
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

// A start with a picture goes straight to the show: the folder window is
// never shown (its tree would read the home folder meanwhile). Opened over
// the show later, it has the folder chosen and its tree's rows their icons,
// which are made only then. A start with a folder shows the folder window.
TEST_F(OpenFromOutsideTest, AStartWithAPictureNeverShowsTheFolderWindowUntilAskedFor)
{
    app::destroyWindows(state);
    state = AppState();
    int folderWindowShows = 0;
    struct ShowCounter : QObject {
        int* shows;
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::Show && o->inherits("TfrmSub"))
                ++*shows;
            return false;
        }
    } counter;
    counter.shows = &folderWindowShows;
    qApp->installEventFilter(&counter);
    app::startRun(state, photos() + QStringLiteral("/b.png"));
    EXPECT_TRUE(state.frmMain->isVisible());
    EXPECT_EQ(folderWindowShows, 0);
    EXPECT_FALSE(state.FolderWindowShown);
    EXPECT_EQ(shownPicture(), photos() + QStringLiteral("/b.png"));

    state.frmSub->show();
    qApp->removeEventFilter(&counter);
    EXPECT_EQ(chosenFolder(), photos());
    QTRY_VERIFY_WITH_TIMEOUT(state.frmSub->tvFoldr->currentIndex().isValid(), 5000);
    const QModelIndex row = state.frmSub->tvFoldr->currentIndex();
    EXPECT_FALSE(row.data(Qt::DecorationRole).value<QIcon>().isNull()) << "the chosen folder's row has no icon";
    EXPECT_FALSE(state.frmSub->sbSerch->icon().isNull());
    state.frmSub->hide();

    app::destroyWindows(state);
    state = AppState();
    app::startRun(state, photos());
    EXPECT_TRUE(state.frmSub->isVisible());
    EXPECT_FALSE(state.frmMain->isVisible());
}
