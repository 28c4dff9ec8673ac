// The search dialog through the real folder window and viewer: messages,
// the narrowed show, date-ordered results, the progress bar, and the show
// kept intact when a run finds nothing.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include "app/app_state.h"
#include "app/startup.h"
#include "folder/order_exif_builder.h"
#include "folder/tfrm_sub.h"
#include "widgets/click_label.h"
#include "widgets/folder_tree.h"
#include "widgets/message_box.h"
#include "widgets/radio_group.h"
#include "search/tdlg_px_serch.h"
#include "viewer/tfrm_main.h"

namespace {

using testexif::Picture;

const QString kNoConditions = QStringLiteral("検索条件が何も入力されていません。");
const QString kNothingToSearch = QStringLiteral("検索対象とする画像がありません。");
const QString kNothingFound = QStringLiteral("検索条件に合う画像がありません。");

Picture titled(const char* title, const char* date = nullptr)
{
    Picture p;
    p.title = title;
    if (date) {
        p.dateOriginal = date;
        p.dateTime = date;
    }
    return p;
}

class SearchDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        app::createWindows(state);
        sub = state.frmSub;
        dlg = state.dlgPxSerch;
        sub->show();
    }
    void TearDown() override { app::destroyWindows(state); }

    void jpeg(const QString& rel, const Picture& p)
    {
        QDir().mkpath(QFileInfo(dir.filePath(rel)).absolutePath());
        ASSERT_TRUE(testexif::writeJpeg(dir.filePath(rel), p));
    }
    void other(const QString& rel)
    {
        QDir().mkpath(QFileInfo(dir.filePath(rel)).absolutePath());
        ASSERT_TRUE(testexif::writeFile(dir.filePath(rel), QByteArray(300, 'x')));
    }
    void choose(const QString& rel)
    {
        ASSERT_TRUE(sub->tvFoldr->selectPath(QDir::toNativeSeparators(dir.filePath(rel))));
        sub->tvFoldrChange();
    }
    void search(const QString& words, const QString& date = QString())
    {
        dlg->FormShow();
        dlg->edSerch->setText(words);
        dlg->edDtSer->setText(date);
        dlg->OKBtnClick();
    }
    QStringList shown() const
    {
        QStringList out;
        for (int k = 0; k < state.FileList.size(); ++k)
            out << QDir(dir.path()).relativeFilePath(QDir::fromNativeSeparators(state.fullPath(k)));
        return out;
    }

    AppState state;
    QTemporaryDir dir;
    widgets::MessageCapture messages;
    TfrmSub* sub = nullptr;
    TdlgPxSerch* dlg = nullptr;
};

TEST_F(SearchDialogTest, NoWordsAndNoDateKeepTheDialogOpen)
{
    jpeg(QStringLiteral("a/p.jpg"), titled("sea"));
    choose(QStringLiteral("a"));
    dlg->FormShow();
    dlg->edSerch->setText(QStringLiteral("検索する語を記入する"));
    dlg->edDtSer->setText(QStringLiteral("   "));
    dlg->setResult(0);
    dlg->OKBtnClick();
    EXPECT_EQ(messages.texts, QStringList{kNoConditions});
    EXPECT_TRUE(dlg->edSerch->text().isEmpty()) << "the initial text counts as no words";
    EXPECT_NE(dlg->result(), int(QDialog::Accepted));
    EXPECT_TRUE(state.FileList.isEmpty()) << "no run was started";
}

TEST_F(SearchDialogTest, ARunThatFindsNothingLeavesTheShowAsItWas)
{
    jpeg(QStringLiteral("shown/1.jpg"), titled("first"));
    jpeg(QStringLiteral("shown/2.jpg"), titled("second"));
    other(QStringLiteral("pictures/a.bmp"));
    other(QStringLiteral("pictures/b.png"));
    jpeg(QStringLiteral("photos/c.jpg"), titled("mountain", "2019:05:03 08:09:10"));
    struct Row {
        const char* name;
        const char* folder;
        const char* words;
        QString message;
    };
    const Row rows[] = {
        {"BMP and PNG files only", "pictures", "sea", kNothingToSearch},
        {"nothing matches", "photos", "sea", kNothingFound},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        choose(QStringLiteral("shown"));
        sub->btOKClick(sub->btOK);
        state.frmMain->Image1Click(nullptr);  // the show has moved on a step
        const QStringList files = state.FileList;
        const QStringList indexes = state.FolderIndexList;
        const QStringList folders = state.FolderList;
        const int current = state.CurrentIndex;
        const QString position = state.frmMain->lbPosi->text();
        messages.texts.clear();

        sub->show();
        choose(QString::fromLatin1(r.folder));
        search(QString::fromLatin1(r.words));
        EXPECT_TRUE(messages.texts.contains(r.message)) << messages.texts.join('|').toStdString();
        EXPECT_EQ(state.FileList, files);
        EXPECT_EQ(state.FolderIndexList, indexes);
        EXPECT_EQ(state.FolderList, folders);
        EXPECT_EQ(state.CurrentIndex, current);
        EXPECT_EQ(state.frmMain->lbPosi->text(), position);
        EXPECT_TRUE(dlg->OKBtn->isEnabled());
        EXPECT_TRUE(sub->isVisible()) << "the folder window stays open";
    }
}

TEST_F(SearchDialogTest, TheShowStartsAtTheFirstMatch)
{
    jpeg(QStringLiteral("f/a.jpg"), titled("river"));
    jpeg(QStringLiteral("f/b.jpg"), titled("Blue SEA"));
    jpeg(QStringLiteral("f/c.jpg"), titled("forest"));
    jpeg(QStringLiteral("f/d.jpg"), titled("sea shore"));
    other(QStringLiteral("f/e.png"));
    choose(QStringLiteral("f"));
    sub->FLList->setCurrentRow(2);
    search(QStringLiteral("sea"));
    EXPECT_EQ(shown(), (QStringList{"f/b.jpg", "f/d.jpg"}));
    EXPECT_EQ(state.CurrentIndex, 1) << "the first match was shown, the next advance shows the second";
    EXPECT_EQ(dlg->result(), int(QDialog::Accepted));
    EXPECT_TRUE(dlg->OKBtn->isEnabled() || !dlg->isVisible());
}

TEST_F(SearchDialogTest, DateOrderedResultsOverSubFoldersLeaveOutUndatedPictures)
{
    jpeg(QStringLiteral("top/x.jpg"), titled("sea", "2019:03:01 00:00:00"));
    jpeg(QStringLiteral("top/w.jpg"), titled("sea", "2020:01:01 00:00:00"));
    jpeg(QStringLiteral("top/v.jpg"), titled("land", "2017:01:01 00:00:00"));
    jpeg(QStringLiteral("top/sub/y.jpg"), titled("sea", "2018:01:01 00:00:00"));
    Picture undated = titled("sea");
    undated.dateTime = "2016:01:01 00:00:00";  // a file time, not a shooting date
    jpeg(QStringLiteral("top/sub/z.jpg"), undated);
    sub->chbUnDr->setChecked(true);
    sub->rgDSort->setItemIndex(2);
    sub->rgDSortClick();
    for (bool ascending : {true, false}) {
        SCOPED_TRACE(ascending ? "ascending" : "descending");
        (ascending ? sub->rbAsend : sub->rbDesnd)->setChecked(true);
        sub->show();
        choose(QStringLiteral("top"));
        search(QStringLiteral("sea"));
        QStringList expected = {"top/sub/y.jpg", "top/x.jpg", "top/w.jpg"};
        if (!ascending)
            std::reverse(expected.begin(), expected.end());
        EXPECT_EQ(shown(), expected);
        EXPECT_EQ(state.FolderIndexList.size(), state.FileList.size());
    }
}

TEST_F(SearchDialogTest, TheBarMovesAndMessagesAreHandledDuringTheRun)
{
    for (int i = 0; i < 60; ++i)
        jpeg(QStringLiteral("many/%1.jpg").arg(i, 3, 10, QLatin1Char('0')), titled(i % 2 ? "odd" : "even"));
    choose(QStringLiteral("many"));
    // A timer due at once can only fire if the run lets messages through.
    QList<int> seen;
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, [&] { seen << dlg->pbKen->value(); });
    tick.start();
    search(QStringLiteral("odd"));
    tick.stop();
    EXPECT_EQ(state.FileList.size(), 30);
    ASSERT_FALSE(seen.isEmpty());
    EXPECT_GT(dlg->eventPumps(), 1);
    std::sort(seen.begin(), seen.end());
    seen.erase(std::unique(seen.begin(), seen.end()), seen.end());
    EXPECT_GT(seen.size(), 3) << "the bar was seen at several positions while the run went on";
    EXPECT_LE(seen.last(), 100);
}

}  // namespace
