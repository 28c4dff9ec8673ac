// The order controls of the real folder window over temporary folders.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTemporaryDir>

#include "app/app_state.h"
#include "app/startup.h"
#include "folder/display_order.h"
#include "folder/order_exif_builder.h"
#include "folder/tfrm_sub.h"
#include "widgets/file_list_box.h"
#include "widgets/folder_tree.h"
#include "widgets/message_box.h"
#include "widgets/radio_group.h"
#include "support/test_support.h"

namespace {

class OrderWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        app::createWindows(state);
        sub = state.frmSub;
        sub->show();
    }
    void TearDown() override { app::destroyWindows(state); }

    void jpeg(const QString& rel, const char* date)
    {
        testexif::Picture p;
        if (date)
            p.dateOriginal = date;
        QDir().mkpath(QFileInfo(dir.filePath(rel)).absolutePath());
        ASSERT_TRUE(testexif::writeJpeg(dir.filePath(rel), p));
    }
    void plain(const QString& rel)
    {
        QDir().mkpath(QFileInfo(dir.filePath(rel)).absolutePath());
        ASSERT_TRUE(testexif::writeFile(dir.filePath(rel), QByteArray(200, 'x')));
    }
    void choose(const QString& rel)
    {
        ASSERT_TRUE(sub->tvFoldr->selectPath(QDir::toNativeSeparators(dir.filePath(rel))));
        sub->tvFoldrChange();
    }
    void order(int item)
    {
        sub->rgDSort->setItemIndex(item);
        sub->rgDSortClick();
    }
    QStringList lines() const
    {
        QStringList out;
        for (int i = 0; i < sub->FLList->count(); ++i)
            out << sub->FLList->item(i)->text();
        return out;
    }
    void setTime(const QString& rel, const QDateTime& t)
    {
        QFile f(dir.filePath(rel));
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(t, QFileDevice::FileModificationTime));
    }

    AppState state;
    QTemporaryDir dir;
    widgets::MessageCapture messages;
    TfrmSub* sub = nullptr;
};

TEST_F(OrderWindowTest, EachOrderFillsTheListAndTheCount)
{
    jpeg(QStringLiteral("f/b.jpg"), "2019:01:01 00:00:00");
    jpeg(QStringLiteral("f/A.jpg"), "2019:01:01 00:00:00");  // same date: name decides
    jpeg(QStringLiteral("f/c.JPEG"), "2018:06:01 12:00:00");
    jpeg(QStringLiteral("f/d.jpg"), "2019:01");                // padded before sorting
    jpeg(QStringLiteral("f/undated.jpg"), nullptr);
    plain(QStringLiteral("f/e.png"));
    plain(QStringLiteral("f/g.emf"));
    setTime(QStringLiteral("f/b.jpg"), QDateTime(QDate(2021, 1, 1), QTime(0, 0)));
    setTime(QStringLiteral("f/A.jpg"), QDateTime(QDate(2021, 1, 1), QTime(0, 0)));
    setTime(QStringLiteral("f/c.JPEG"), QDateTime(QDate(2020, 1, 1), QTime(0, 0)));
    setTime(QStringLiteral("f/d.jpg"), QDateTime(QDate(2022, 1, 1), QTime(0, 0)));
    setTime(QStringLiteral("f/undated.jpg"), QDateTime(QDate(2023, 1, 1), QTime(0, 0)));
    setTime(QStringLiteral("f/e.png"), QDateTime(QDate(1975, 1, 1), QTime(0, 0)));  // packs to 0
    setTime(QStringLiteral("f/g.emf"), QDateTime(QDate(2024, 1, 1), QTime(0, 0)));
    choose(QStringLiteral("f"));

    struct Row {
        int item;
        bool ascending;
        QStringList lines;
    };
    const QStringList asListed = {"A.jpg", "b.jpg", "c.JPEG", "d.jpg", "e.png", "g.emf", "undated.jpg"};
    const QStringList byFile = {"e.png", "c.JPEG", "A.jpg", "b.jpg", "d.jpg", "undated.jpg", "g.emf"};
    const QStringList byShot = {"c.JPEG", "d.jpg", "A.jpg", "b.jpg"};
    QStringList byFileDown = byFile;
    std::reverse(byFileDown.begin(), byFileDown.end());
    QStringList byShotDown = byShot;
    std::reverse(byShotDown.begin(), byShotDown.end());
    const Row rows[] = {
        {2, true, byShot},      {2, false, byShotDown}, {1, true, byFile},
        {1, false, byFileDown}, {0, true, asListed},    {2, true, byShot},
        {0, false, asListed},  // EMF files stay listed after a shooting-date pass
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "item " << r.item << (r.ascending ? " up" : " down"));
        (r.ascending ? sub->rbAsend : sub->rbDesnd)->setChecked(true);
        order(r.item);
        sub->rbAsendClick();
        EXPECT_EQ(lines(), r.lines);
        EXPECT_EQ(sub->Label4->text(), QString::number(r.lines.size()) + QStringLiteral(")"));
    }
}

TEST_F(OrderWindowTest, RealCameraFilesInShootingDateOrder)
{
    REQUIRE_TESTDATA();
    QDir().mkpath(dir.filePath(QStringLiteral("real")));
    for (const char* sub : {"canon", "nikon", "other-makes"}) {
        const QDir d(QString::fromStdString((testsupport::testDataDir() / sub).string()));
        for (const QString& n : d.entryList({"*.jpg", "*.JPG"}, QDir::Files))
            QFile::copy(d.filePath(n), dir.filePath(QStringLiteral("real/") + QLatin1String(sub) + QLatin1Char('_') + n));
    }
    choose(QStringLiteral("real"));
    sub->rbAsend->setChecked(true);
    order(2);
    ASSERT_GT(sub->FLList->count(), 10);
    QString previous;
    for (const QString& line : lines()) {
        const QString date = order::ShotDateRead(dir.filePath(QStringLiteral("real/") + line));
        ASSERT_FALSE(date.isEmpty()) << line.toStdString();
        EXPECT_GE(order::fitShotDate(date), previous) << line.toStdString();
        previous = order::fitShotDate(date);
    }
}

TEST_F(OrderWindowTest, ClicksThatChangeNothingDoNotRefill)
{
    jpeg(QStringLiteral("f/a.jpg"), "2019:01:01 00:00:00");
    jpeg(QStringLiteral("f/b.jpg"), "2018:01:01 00:00:00");
    choose(QStringLiteral("f"));
    const QString marker = QStringLiteral("marker");

    order(2);
    sub->FLList->addItem(marker);
    order(2);  // the chosen item again
    EXPECT_EQ(lines().last(), marker);

    order(0);
    sub->FLList->addItem(marker);
    sub->rbDesnd->setChecked(true);
    sub->rbAsendClick();  // direction means nothing as listed
    EXPECT_EQ(lines(), (QStringList{"a.jpg", "b.jpg", marker}));

    order(1);
    sub->FLList->addItem(marker);
    sub->rbAsendClick();
    EXPECT_FALSE(lines().contains(marker)) << "a date order refills on a direction change";
}


// The list scrolls sideways to the end of its widest line, and only its
// own lines count: in the shooting-date order a longer name without a date
// (or without Exif) is not listed and does not widen the list.
TEST_F(OrderWindowTest, TheScrollWidthFollowsTheNamesTheOrderShows)
{
    const QString dated = QStringLiteral("dated_") + QString(60, QLatin1Char('m')) + QStringLiteral("_写真.jpg");
    const QString undated = QStringLiteral("undated_") + QString(90, QLatin1Char('W')) + QStringLiteral(".jpg");
    const QString png = QStringLiteral("plain_") + QString(120, QLatin1Char('W')) + QStringLiteral(".png");
    jpeg(QStringLiteral("f/") + dated, "2019:01:01 00:00:00");
    jpeg(QStringLiteral("f/a.jpg"), "2018:01:01 00:00:00");
    jpeg(QStringLiteral("f/") + undated, nullptr);
    plain(QStringLiteral("f/") + png);
    choose(QStringLiteral("f"));
    const auto scrollWidth = [&] { return sub->FLList->property("scrollWidth").toInt(); };
    const QFontMetrics fm = sub->FLList->fontMetrics();

    order(0);
    const int asListed = scrollWidth();
    EXPECT_GE(asListed, fm.horizontalAdvance(png));

    for (QRadioButton* direction : {sub->rbAsend, sub->rbDesnd}) {
        direction->setChecked(true);
        order(2);
        sub->rbAsendClick();
        ASSERT_EQ(lines().size(), 2);
        EXPECT_TRUE(lines().contains(dated));
        EXPECT_GE(scrollWidth(), fm.horizontalAdvance(dated)) << "the dated name is cut";
        EXPECT_LT(scrollWidth(), fm.horizontalAdvance(undated)) << "a name not shown widened the list";
        order(0);
        EXPECT_EQ(scrollWidth(), asListed);
    }
}
TEST_F(OrderWindowTest, RandomOrderOverSubFoldersKeepsNamesWithTheirFolders)
{
    // The same names in several folders: a name torn from its folder would
    // still exist, so every folder holds names of its own as well.
    const QStringList folders = {"top", "top/a", "top/a/deep", "top/b"};
    for (const QString& f : folders)
        for (int i = 0; i < 12; ++i) {
            plain(f + QStringLiteral("/same%1.jpg").arg(i));
            plain(f + QStringLiteral("/%1_%2.png").arg(QString(f).replace('/', '_')).arg(i));
        }
    sub->chbUnDr->setChecked(true);
    sub->cbRandm->setChecked(true);
    order(0);
    QStringList first;
    for (int run = 0; run < 2; ++run) {
        sub->show();
        choose(QStringLiteral("top"));
        sub->btOKClick(sub->btOK);
        ASSERT_EQ(state.FileList.size(), 96);
        ASSERT_EQ(state.FolderIndexList.size(), 96);
        QStringList paths;
        for (int k = 0; k < state.FileList.size(); ++k) {
            const QString full = state.fullPath(k);
            paths << full;
            EXPECT_TRUE(QFileInfo::exists(full)) << full.toStdString();
            const QString name = state.FileList[k];
            if (name.endsWith(QLatin1String(".png"))) {
                EXPECT_TRUE(QDir::fromNativeSeparators(full).contains(
                    QStringLiteral("/") + name.section('_', 0, -2).replace('_', '/') + QStringLiteral("/")))
                    << full.toStdString();
            }
        }
        EXPECT_EQ(QSet<QString>(paths.begin(), paths.end()).size(), 96) << "no picture twice";
        if (run == 0)
            first = paths;
        else
            EXPECT_NE(paths, first) << "each OK shuffles anew";
    }
}

}  // namespace
