// OK in the real folder window over temporary folder trees: the show list it
// hands to the viewer, the messages it gives, Cancel and the window modes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <unistd.h>

#include "app/app_state.h"
#include "app/startup.h"
#include "folder/masks.h"
#include "folder/tfrm_sub.h"
#include "widgets/click_label.h"
#include "platform/dpi.h"
#include "widgets/file_list_box.h"
#include "widgets/folder_tree.h"
#include "widgets/message_box.h"
#include "widgets/radio_group.h"
#include "search/tdlg_px_serch.h"
#include "viewer/picture_box.h"
#include "viewer/tfrm_main.h"

// Readable failure output for Qt strings.
static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

const QString kNoFolder =
    QStringLiteral("フォルダ（ディレクトリ）の指定が不適切です！\nより下位のフォルダを指定してみて下さい。");
const QString kSkipped = QStringLiteral("以下のフォルダは特殊なフォルダのためスキップしました。");

class ShowListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        app::createWindows(state);
        sub = state.frmSub;
        viewer = state.frmMain;
    }
    void TearDown() override { app::destroyWindows(state); }

    QString path(const QString& rel) const { return QDir::toNativeSeparators(dir.filePath(rel)); }

    void makeFiles(const QStringList& rels)
    {
        for (const QString& rel : rels) {
            if (rel.endsWith(QLatin1Char('/'))) {
                QDir().mkpath(dir.filePath(rel));
                continue;
            }
            QDir().mkpath(QFileInfo(dir.filePath(rel)).absolutePath());
            QFile f(dir.filePath(rel));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << rel.toStdString();
        }
    }

    void choose(const QString& rel)
    {
        ASSERT_TRUE(sub->tvFoldr->selectPath(rel.isEmpty() ? QDir::toNativeSeparators(dir.path()) : path(rel)));
    }

    // Folder of each show entry relative to the temporary root, "/", name.
    QStringList shownEntries() const
    {
        QStringList out;
        for (int k = 0; k < state.FileList.size(); ++k) {
            const QString full = state.fullPath(k);
            out << QDir(dir.path()).relativeFilePath(QDir::fromNativeSeparators(full));
        }
        return out;
    }

    QStringList foldersRelative() const
    {
        QStringList out;
        for (const QString& f : state.FolderList)
            out << QDir(dir.path()).relativeFilePath(QDir::fromNativeSeparators(f));
        return out;
    }

    AppState state;
    QTemporaryDir dir;
    widgets::MessageCapture messages;
    TfrmSub* sub = nullptr;
    TfrmMain* viewer = nullptr;
};

TEST_F(ShowListTest, BuildsTheShowListFromTheChosenFolderAndItsSubFolders)
{
    struct Row {
        const char* name;
        QStringList files;
        bool subFolders;
        QStringList folders;  // FolderList, relative
        QStringList entries;  // folder/name of every entry, in show order
    };
    const Row rows[] = {
        {"one folder", {"top/b.JPG", "top/a.png", "top/note.txt", "top/in/c.jpg"}, false,
         {"."}, {"a.png", "b.JPG"}},
        {"sub-folders asked for but none there", {"top/b.jpg", "top/a.gif"}, true, {"."}, {"a.gif", "b.jpg"}},
        {"chosen folder and nested sub-folders, depth first",
         {"top/z.jpg", "top/B/x.jpg", "top/a/2.jpg", "top/a/1.jpg", "top/a/deep/d.bmp", "top/c/"}, true,
         {".", "a", "a/deep", "B"}, {"z.jpg", "a/1.jpg", "a/2.jpg", "a/deep/d.bmp", "B/x.jpg"}},
        {"empty chosen folder: the first sub-folder with files is number 0",
         {"top/empty/", "top/m/none.txt", "top/n/p.jpg", "top/o/q.ico", "top/o/r.emf"}, true,
         {"n", "o"}, {"n/p.jpg", "o/q.ico", "o/r.emf"}},
    };
    int rowNumber = 0;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const QString base = QStringLiteral("row%1").arg(rowNumber++);
        QStringList files;
        for (const QString& f : r.files)
            files << base + f.mid(3);
        makeFiles(files);
        sub->show();
        sub->chbUnDr->setChecked(r.subFolders);
        choose(base);
        sub->btOKClick(sub->btOK);
        QStringList folders;
        for (const QString& f : r.folders)
            folders << (f == QLatin1String(".") ? base : base + QLatin1Char('/') + f);
        QStringList entries;
        for (const QString& e : r.entries)
            entries << base + QLatin1Char('/') + e;
        EXPECT_EQ(foldersRelative(), folders);
        EXPECT_EQ(shownEntries(), entries);
        ASSERT_EQ(state.FolderIndexList.size(), state.FileList.size());
        for (int k = 0; k < state.FileList.size(); ++k)
            EXPECT_TRUE(QFileInfo::exists(state.fullPath(k))) << state.fullPath(k).toStdString();
        EXPECT_FALSE(sub->isVisible()) << "OK hides the folder window";
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_EQ(viewer->lbTotal->text(), QStringLiteral("/") + QString::number(r.entries.size()));
        EXPECT_FALSE(messages.texts.join(QString()).contains(kSkipped));
        EXPECT_TRUE(sub->btCancel->isEnabled());
    }
}

TEST_F(ShowListTest, NoFolderSelectedGivesTheMessageAndChangesNothing)
{
    state.FileList = {QStringLiteral("keep.jpg")};
    state.FolderIndexList = {QStringLiteral("0")};
    state.FolderList = {QStringLiteral("/somewhere")};
    sub->tvFoldr->clearSelectionPath();
    sub->btOK->click();
    EXPECT_EQ(messages.texts, QStringList{kNoFolder});
    EXPECT_EQ(state.FileList, QStringList{QStringLiteral("keep.jpg")});
    EXPECT_TRUE(state.ChosenFolder.isEmpty());
    EXPECT_TRUE(sub->isVisible());
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_FALSE(sub->btCancel->isEnabled());
}

TEST_F(ShowListTest, EmptyFolderShowsTheEmptyViewer)
{
    makeFiles({QStringLiteral("nothing/readme.txt")});
    choose(QStringLiteral("nothing"));
    sub->chbUnDr->setChecked(true);
    sub->btOK->click();
    EXPECT_TRUE(state.FileList.isEmpty());
    EXPECT_TRUE(state.FolderList.isEmpty());
    EXPECT_EQ(state.ChosenFolder, path(QStringLiteral("nothing")));
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_FALSE(sub->isVisible());
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("Daredazi"));
    EXPECT_EQ(viewer->lbPosi->text(), QStringLiteral("0"));
    EXPECT_EQ(viewer->lbTotal->text(), QStringLiteral("/0"));
    EXPECT_FALSE(state.ViewerReady);
    EXPECT_FALSE(viewer->cbDisp->isVisible());
    EXPECT_TRUE(viewer->Image1->picture().isNull());
    EXPECT_EQ(viewer->tbJump->maximum(), 1);
}

TEST_F(ShowListTest, TheSelectedLineIsShownFirst)
{
    makeFiles({QStringLiteral("p/a.jpg"), QStringLiteral("p/b.jpg"), QStringLiteral("p/c.jpg")});
    choose(QStringLiteral("p"));
    ASSERT_EQ(sub->FLList->count(), 3);
    EXPECT_EQ(sub->Label4->text(), QStringLiteral("3)"));
    for (int selected : {-1, 2}) {
        if (selected >= 0)
            sub->FLList->setCurrentRow(selected);
        sub->btOKClick(sub->btOK);
        // The hand-over shows FileList[CurrentIndex] and steps on, so the
        // entry on screen is the one that was selected (0 with no selection).
        const int expected = std::max(selected, 0);
        EXPECT_EQ(state.shownIndex(), expected) << "selected " << selected;
        sub->show();
    }
}

TEST_F(ShowListTest, FoldersThatCannotBeListedAreReportedWithTheirNodeNumber)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "folder permissions do not bind the superuser";
    makeFiles({QStringLiteral("r/a/1.jpg"), QStringLiteral("r/b/2.jpg"), QStringLiteral("r/c/3.jpg")});
    QFile::setPermissions(dir.filePath(QStringLiteral("r/b")), QFileDevice::Permissions());
    choose(QStringLiteral("r"));
    sub->chbUnDr->setChecked(true);
    sub->btOK->click();
    QFile::setPermissions(dir.filePath(QStringLiteral("r/b")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    EXPECT_EQ(messages.texts, QStringList{kSkipped + QStringLiteral("\n") + path(QStringLiteral("r/b")) +
                                          QStringLiteral("[2]")});
    EXPECT_EQ(shownEntries(), (QStringList{"r/a/1.jpg", "r/c/3.jpg"}));
}

TEST_F(ShowListTest, AFolderLinkCycleEndsTheWalk)
{
    makeFiles({QStringLiteral("loop/a.jpg"), QStringLiteral("loop/in/b.jpg")});
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("loop")), dir.filePath(QStringLiteral("loop/in/back"))));
    choose(QStringLiteral("loop"));
    sub->chbUnDr->setChecked(true);
    sub->btOK->click();
    EXPECT_EQ(shownEntries(), (QStringList{"loop/a.jpg", "loop/in/b.jpg"}));
}

TEST_F(ShowListTest, CancelRestoresTheDisplayOptionsFromTheViewerOnly)
{
    makeFiles({QStringLiteral("p/a.jpg"), QStringLiteral("p/b.jpg")});
    choose(QStringLiteral("p"));
    sub->setBackgroundColour(QColor(10, 20, 30));
    sub->chbStrech->setChecked(true);
    sub->rgMapVw->setItemIndex(1);
    sub->btOK->click();
    ASSERT_TRUE(state.UseGoogleMap);
    EXPECT_EQ(viewer->palette().color(QPalette::Window), QColor(10, 20, 30));
    EXPECT_TRUE(viewer->Image1->stretch());

    // Back in the folder window, every option is changed, then Cancel.
    sub->show();
    sub->setBackgroundColour(Qt::white);
    sub->chbCenter->setChecked(false);
    sub->chbPropo->setChecked(false);
    sub->chbStrech->setChecked(false);
    sub->chbWind->setChecked(true);
    sub->rgMapVw->setItemIndex(0);
    sub->rgDSort->setItemIndex(1);
    sub->rbDesnd->setChecked(true);
    sub->chbUnDr->setChecked(true);
    const QStringList list = state.FileList;
    sub->btCancel->click();

    EXPECT_FALSE(sub->isVisible());
    EXPECT_EQ(sub->backgroundColour(), QColor(10, 20, 30));
    EXPECT_TRUE(sub->chbCenter->isChecked());
    EXPECT_TRUE(sub->chbPropo->isChecked());
    EXPECT_TRUE(sub->chbStrech->isChecked());
    EXPECT_FALSE(sub->chbWind->isChecked()) << "the viewer is full screen";
    EXPECT_EQ(sub->rgMapVw->itemIndex(), 1);
    // The order options, the recursion box and the list stay.
    EXPECT_EQ(sub->rgDSort->itemIndex(), 1);
    EXPECT_TRUE(sub->rbDesnd->isChecked());
    EXPECT_TRUE(sub->chbUnDr->isChecked());
    EXPECT_EQ(state.FileList, list);
    EXPECT_TRUE(viewer->TimDsp->isActive() || !viewer->timerModeOn());
}

TEST_F(ShowListTest, WindowModeSwitchSetsFontsAndPlacesTheInfoRowOnlyOnChange)
{
    makeFiles({QStringLiteral("p/a.jpg")});
    choose(QStringLiteral("p"));
    const double f = platform::dpiFactor(viewer);
    struct Row {
        bool window;
        int dateSize, titleSize, titleLeft;
    };
    // Start with the mode the viewer is not in, then switch back and again.
    const Row window{true, 12, 13, 200};
    const Row fullScreen{false, 14, 16, 240};
    const bool startsInWindow = viewer->hasBorder();
    const Row first = startsInWindow ? fullScreen : window;
    const Row second = startsInWindow ? window : fullScreen;
    for (const Row& r : {first, second, first}) {
        SCOPED_TRACE(r.window ? "window" : "full screen");
        sub->show();
        sub->chbWind->setChecked(r.window);
        sub->btOK->click();
        QApplication::processEvents();
        EXPECT_EQ(viewer->hasBorder(), r.window);
        EXPECT_EQ(viewer->lbNitiji->font().pointSize(), r.dateSize);
        EXPECT_EQ(viewer->lbTitle->font().pointSize(), r.titleSize);
        EXPECT_EQ(viewer->lbTitle->x(), platform::scaled(r.titleLeft, f));
        EXPECT_EQ(viewer->cbDisp->x(), viewer->width() - platform::scaled(280, f));
        EXPECT_EQ(viewer->lbTitle->width(), viewer->cbDisp->x() - viewer->lbTitle->x() - platform::scaled(50, f));
        EXPECT_FALSE(viewer->windowState() & Qt::WindowMinimized);
    }
    // The same mode again leaves the labels alone.
    QFont odd = viewer->lbNitiji->font();
    odd.setPointSize(30);
    viewer->lbNitiji->setFont(odd);
    sub->show();
    sub->btOK->click();
    EXPECT_EQ(viewer->lbNitiji->font().pointSize(), 30);
}

TEST_F(ShowListTest, SearchRunRestoresTheFullMaskSoEmfFilesStayListed)
{
    TdlgPxSerch* search = state.dlgPxSerch;
    if (!search->OKBtn)
        GTEST_SKIP() << "search dialog has no OK button yet";
    makeFiles({QStringLiteral("s/a.jpg"), QStringLiteral("s/b.emf")});
    choose(QStringLiteral("s"));
    ASSERT_EQ(sub->FLList->count(), 2);
    messages.texts.clear();
    sub->btOKClick(search->OKBtn);
    EXPECT_EQ(sub->FLBox->mask(), folder::kFullMask);
    // The list searched holds the JPEG files only.
    EXPECT_EQ(state.FileList, QStringList{QStringLiteral("a.jpg")});
    sub->FLBox->update();
    EXPECT_EQ(sub->FLBox->items(), (QStringList{"a.jpg", "b.emf"}));
}

}  // namespace
