// A person's session with the folder window, the viewer and their dialogs,
// by mouse clicks at the places a person points at: a tree that holds still
// while folders come and go, long names that can be read, one font size in
// a window, Japanese texts and fonts. CTest runs these again under a
// Japanese locale, where the fonts' family names are the localised ones.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QToolButton>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListWidget>
#include <QRadioButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>

#include "app/app_state.h"
#include "app/aux_windows.h"
#include "app/splash.h"
#include "app/startup.h"
#include "folder/tfrm_sub.h"
#include "print/tdlg_print.h"
#include "search/tdlg_px_serch.h"
#include "support/person.h"
#include "viewer/tfrm_main.h"
#include "widgets/click_label.h"
#include "widgets/folder_tree.h"
#include "widgets/message_box.h"
#include "widgets/radio_group.h"

namespace {

using person::click;
using person::whenModal;

class Session : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        app::prepareApplication();
    }
    void TearDown() override
    {
        if (started)
            app::destroyWindows(state);
    }
    void start()
    {
        app::createWindows(state);
        started = true;
        sub = state.frmSub;
        viewer = state.frmMain;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sub));
    }
    QString path(const QString& rel) const { return dir.filePath(rel); }
    void picture(const QString& rel)
    {
        QDir().mkpath(QFileInfo(path(rel)).absolutePath());
        QImage img(320, 240, QImage::Format_RGB32);
        img.fill(Qt::darkCyan);
        ASSERT_TRUE(img.save(path(rel)));
    }
    QModelIndex row(const QString& folder) const
    {
        return sub->tvFoldr->fileSystemModel()->index(QDir::fromNativeSeparators(folder));
    }
    // Brings the folder's row into view as a person scrolls to it (the wheel
    // first, so the tree stops following the home row), and clicks it.
    void clickFolder(const QString& folder)
    {
        widgets::FolderTree* tree = sub->tvFoldr;
        QWheelEvent wheel(QPointF(5, 5), tree->viewport()->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(tree->viewport(), &wheel);
        ASSERT_TRUE(QTest::qWaitFor([&] {
            const QModelIndex idx = row(folder);
            if (!idx.isValid())
                return false;
            for (QModelIndex a = idx.parent(); a.isValid(); a = a.parent())
                tree->expand(a);
            tree->scrollTo(idx);
            return tree->visualRect(idx).isValid();
        })) << folder.toStdString();
        QTest::qWait(100);
        tree->scrollTo(row(folder));
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, pointAt(row(folder)));
    }
    QPoint pointAt(const QModelIndex& idx) const
    {
        const QRect r = sub->tvFoldr->visualRect(idx);
        return QPoint(std::min(r.center().x(), r.left() + 12), r.center().y());
    }
    // Chooses the folder, clicks OK and waits for the viewer.
    void showFolder(const QString& folder)
    {
        clickFolder(folder);
        ASSERT_TRUE(QTest::qWaitFor([&] { return sub->FLList->count() > 0; }));
        click(sub->btOK);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(viewer));
    }
    void pointAtHotZone()
    {
        // The viewer may still be taking the whole screen (the hot zone
        // moves to the bottom as it does), and under X the pointer's move
        // arrives as an event of its own, a moment later: point again until
        // the panel shows.
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                QTest::mouseMove(viewer, viewer->rect().center());
                QTest::mouseMove(viewer, viewer->lbSenIn->geometry().center());
                return viewer->Panel1->isVisible();
            },
            5000));
    }

    QTemporaryDir dir;
    AppState state;
    TfrmSub* sub = nullptr;
    TfrmMain* viewer = nullptr;
    bool started = false;
};

TEST_F(Session, TheFolderTreeHoldsStillWhileFoldersComeAndGoAboveTheVisibleRows)
{
    // Folders above the visible ones, in the same folder and in the one
    // above it: some are there from the start, others come meanwhile.
    const QString parent = path(QStringLiteral("p"));
    for (int i = 0; i < 40; ++i)
        QDir().mkpath(parent + QStringLiteral("/m%1").arg(i, 2, 10, QLatin1Char('0')));
    QStringList above;
    for (int i = 0; i < 6; ++i) {
        above << parent + QStringLiteral("/a%1").arg(i) << path(QStringLiteral("0old%1").arg(i));
        QDir().mkpath(above.last());
        QDir().mkpath(above[above.size() - 2]);
    }
    start();
    widgets::FolderTree* tree = sub->tvFoldr;
    clickFolder(parent + QStringLiteral("/m20"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return tree->fileSystemModel()->rowCount(row(parent)) == 46; }));
    QTest::qWait(300);
    // The person has scrolled so that m10 is the top row.
    tree->scrollTo(row(parent + QStringLiteral("/m10")), QAbstractItemView::PositionAtTop);
    QTest::qWait(200);

    // Aims at a folder where it is seen; meanwhile folders above the
    // visible rows go and come.
    const int targets[] = {12, 15, 18, 13, 16, 19};
    for (int k = 0; k < 6; ++k) {
        SCOPED_TRACE(k);
        const QString target = parent + QStringLiteral("/m%1").arg(targets[k]);
        const QPoint at = pointAt(row(target));
        QStringList changed;
        if (k % 2 == 0) {
            for (int n = 0; n < 3; ++n) {
                ASSERT_TRUE(QDir(above.first()).removeRecursively());
                changed << above.takeFirst();
            }
        } else {
            for (const QString& made : {parent + QStringLiteral("/b%1").arg(k), path(QStringLiteral("0new%1").arg(k))}) {
                ASSERT_TRUE(QDir().mkpath(made));
                changed << made;
            }
        }
        // The tree has taken the change in (and sorted its rows) before the click.
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return std::all_of(changed.begin(), changed.end(),
                               [&](const QString& p) { return row(p).isValid() == QFileInfo::exists(p); });
        }, 10000));
        QTest::qWait(400);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at);
        EXPECT_EQ(QDir::fromNativeSeparators(tree->selectedPath()).toStdString(), target.toStdString());
    }
}

TEST_F(Session, TheFileListScrollsToTheEndOfTheLongestNameWithoutCuttingIt)
{
    const QString longName = QStringLiteral("m_") + QString(90, QLatin1Char('x')) + QStringLiteral("_写真_END.png");
    for (const QString& name : {QStringLiteral("a.png"), longName, QStringLiteral("z.png")})
        picture(QStringLiteral("l/") + name);
    start();
    clickFolder(path(QStringLiteral("l")));
    QListWidget* list = sub->FLList;
    ASSERT_TRUE(QTest::qWaitFor([&] { return list->count() == 3; }));
    QTest::qWait(100);
    QScrollBar* bar = list->horizontalScrollBar();
    ASSERT_TRUE(bar->isVisible()) << "no sideways scroll bar under a name wider than the list";

    const QModelIndex longRow = list->model()->index(1, 0);
    ASSERT_EQ(longRow.data().toString(), longName);
    const int margin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
    const int text = list->fontMetrics().horizontalAdvance(longName);
    const auto nameEnd = [&] { return list->visualRect(longRow).left() + margin + text; };

    // The bar's right arrow, clicked until the name's end comes into view
    // or the list goes no further.
    const QPoint arrow(bar->width() - 4, bar->height() / 2);
    for (int i = 0; i < 400 && bar->value() < bar->maximum() && nameEnd() > list->viewport()->width(); ++i)
        QTest::mouseClick(bar, Qt::LeftButton, {}, arrow);
    EXPECT_LE(nameEnd(), list->viewport()->width()) << "the list does not scroll to the name's end";
    EXPECT_GT(nameEnd(), 0);
    EXPECT_GE(list->visualRect(longRow).width(), text + 2 * margin) << "the name is cut short with an ellipsis";
}

// Japanese text: kana or kanji, and no Latin word but "Exif".
bool isJapanese(const QString& text)
{
    QString rest = text;
    rest.remove(QStringLiteral("Exif"));
    const bool hasKana = std::any_of(text.begin(), text.end(), [](QChar c) {
        return (c.unicode() >= 0x3040 && c.unicode() <= 0x30FF) || (c.unicode() >= 0x4E00 && c.unicode() <= 0x9FFF);
    });
    return hasKana && !rest.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

TEST_F(Session, TheSplashAndTheVersionWindowSpeakJapanese)
{
    start();
    ASSERT_NE(state.frmSSTTitl, nullptr) << "the splash is up as the folder window shows";
    const QString splashText = state.frmSSTTitl->Label2->text();
    EXPECT_TRUE(isJapanese(splashText)) << splashText.toStdString();

    QString comment;
    whenModal<TfrmSSVer>([&](TfrmSSVer* v) {
        comment = v->Comments->text();
        click(v->OKButton);
    });
    click(sub->btVer);
    EXPECT_TRUE(isJapanese(comment)) << comment.toStdString();
}

TEST_F(Session, ThePrintDialogsFontButtonOpensOnAJapaneseProportionalGothic)
{
    QStringList gothics;
    for (const char* name : {"IPAPGothic", "Noto Sans CJK JP"}) {
        // Resolved first: the database knows a face's other (non-localised)
        // names only after that.
        const QString family = QFontInfo(QFont(QString::fromLatin1(name))).family();
        if (QFontDatabase::hasFamily(QString::fromLatin1(name)))
            gothics << family;
    }
    if (gothics.isEmpty())
        GTEST_SKIP() << "no Japanese proportional gothic installed";
    picture(QStringLiteral("f/a.png"));
    start();
    // The windows' own font is the same face.
    EXPECT_TRUE(gothics.contains(QFontInfo(sub->font()).family())) << QFontInfo(sub->font()).family().toStdString();
    showFolder(path(QStringLiteral("f")));
    pointAtHotZone();
    QString opened;
    whenModal<TDlgPrint>([&](TDlgPrint* d) {
        whenModal<QFontDialog>([&](QFontDialog* fonts) {
            opened = fonts->currentFont().family();
            fonts->reject();
        });
        click(d->btFont);
        click(d->CancelBtn);
    });
    click(viewer->btPrint);
    EXPECT_TRUE(gothics.contains(opened)) << opened.toStdString() << " is not one of " << gothics.join(u',').toStdString();
}

// Every caption of the window's own controls, at the window's font size.
std::string shrunkenCaptions(const QWidget* window)
{
    const int size = QFontInfo(window->font()).pixelSize();
    QStringList out;
    for (const QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible() || !(qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLabel*>(w) ||
                                 qobject_cast<const QGroupBox*>(w)))
            continue;
        const int own = QFontInfo(w->font()).pixelSize();
        if (own != size)
            out << w->objectName() + QLatin1Char(' ') + w->property("text").toString() + w->property("title").toString() +
                       QStringLiteral(": %1 px, the window's %2 px").arg(own).arg(size);
    }
    return out.join(u'\n').toStdString();
}

TEST_F(Session, EachWindowReadsInOneFontSizeAndTheOrderItemsHaveRoom)
{
    start();
    EXPECT_EQ(shrunkenCaptions(sub), "") << "folder window";

    // The three order items' circles stand clear of each other.
    std::vector<QRect> circles;
    for (int i = 0; i < sub->rgDSort->count(); ++i) {
        QRadioButton* b = sub->rgDSort->button(i);
        QStyleOptionButton opt;
        opt.initFrom(b);
        const QRect r = b->style()->subElementRect(QStyle::SE_RadioButtonIndicator, &opt, b);
        circles.push_back(r.translated(b->mapTo(sub, QPoint(0, 0))));
    }
    ASSERT_EQ(circles.size(), 3u);
    for (size_t i = 1; i < circles.size(); ++i)
        EXPECT_GE(circles[i].top() - circles[i - 1].bottom(), 4) << "order items " << i - 1 << " and " << i;

    std::string search;
    whenModal<TdlgPxSerch>([&](TdlgPxSerch* d) {
        search = shrunkenCaptions(d);
        click(d->CancelBtn);
    });
    click(sub->sbSerch);
    EXPECT_EQ(search, "") << "search dialog";
}

TEST_F(Session, ALongFileNameStopsBeforeThePositionWithItsEndInView)
{
    const QString longName = QString(60, QLatin1Char('n')) + QStringLiteral("_撮影_") + QString(40, QLatin1Char('k')) +
                             QStringLiteral("_END.png");
    picture(QStringLiteral("n/") + longName);
    picture(QStringLiteral("n/zz.png"));
    start();
    showFolder(path(QStringLiteral("n")));
    pointAtHotZone();
    const widgets::ClickLabel* name = viewer->lbFName;
    const widgets::ClickLabel* posi = viewer->lbPosi;
    EXPECT_TRUE(name->text().endsWith(QStringLiteral("_END.png"))) << name->text().toStdString();
    const int nameEnd = name->x() + name->contentsRect().left() + name->fontMetrics().horizontalAdvance(name->text());
    const int posiStart = posi->x() + posi->contentsRect().right() - posi->fontMetrics().horizontalAdvance(posi->text());
    EXPECT_LT(nameEnd, posiStart) << "the file name runs under the position";
    EXPECT_LE(name->geometry().right(), posiStart);
}

}  // namespace
