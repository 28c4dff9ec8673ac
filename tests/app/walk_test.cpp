// Walks through the program as a person does: every choice is a mouse click
// or a key press at the place a person points at, on the real windows.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFontDialog>
#include <QFontInfo>
#include <QFileSystemModel>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include <algorithm>
#include <functional>

#include "app/app_state.h"
#include "app/aux_windows.h"
#include "app/startup.h"
#include "folder/tfrm_sub.h"
#include "widgets/click_label.h"
#include "widgets/folder_tree.h"
#include "widgets/message_box.h"
#include "widgets/up_down.h"
#include "print/tdlg_print.h"
#include "search/tdlg_px_serch.h"
#include "support/fake_opener.h"
#include "support/test_support.h"
#include "viewer/picture_box.h"
#include "viewer/tfrm_main.h"

namespace {

bool waitFor(const std::function<bool()>& done, int ms = 5000) { return QTest::qWaitFor(done, ms); }

void click(QWidget* w, Qt::MouseButton b = Qt::LeftButton, QPoint at = QPoint())
{
    ASSERT_TRUE(w->isVisible()) << w->objectName().toStdString();
    // The press goes to whatever lies under the pointer there.
    QPoint p = at.isNull() ? w->rect().center() : at;
    QWidget* target = w;
    if (QWidget* child = w->childAt(p)) {
        p = child->mapFrom(w, p);
        target = child;
    }
    QTest::mouseClick(target, b, {}, p);
}

// The next modal window of type T, as soon as its own loop runs.
template <typename T>
void whenModal(std::function<void(T*)> act)
{
    auto* t = new QTimer;
    t->setInterval(20);
    QObject::connect(t, &QTimer::timeout, [t, act] {
        if (auto* w = qobject_cast<T*>(QApplication::activeModalWidget()); w && w->isVisible()) {
            t->stop();
            t->deleteLater();
            act(w);
        }
    });
    t->start();
}

// Records what a person would see on stderr.
QStringList* gWarnings = nullptr;
void recordWarning(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    // The offscreen test platform's own notes are no part of a session.
    if (text.startsWith(QLatin1String("This plugin does not support")))
        return;
    // Nor is a machine without printers, whose only printer is a PDF file.
    if (text == QLatin1String("QPageSetupDialog: Cannot be used on non-native printers"))
        return;
    if (gWarnings && type != QtDebugMsg && type != QtInfoMsg)
        *gWarnings << text;
}

class Walk : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        app::prepareApplication();
        previousHandler = qInstallMessageHandler(recordWarning);
        gWarnings = &warnings;
    }
    void TearDown() override
    {
        if (started)
            app::destroyWindows(state);
        gWarnings = nullptr;
        qInstallMessageHandler(previousHandler);
    }
    void start()
    {
        app::createWindows(state);
        started = true;
        sub = state.frmSub;
        viewer = state.frmMain;
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sub));
    }

    void picture(const QString& rel, QSize size)
    {
        QDir().mkpath(QFileInfo(dir.filePath(rel)).absolutePath());
        QImage img(size, QImage::Format_RGB32);
        img.fill(Qt::darkCyan);
        ASSERT_TRUE(img.save(dir.filePath(rel)));
    }
    QString path(const QString& rel) const { return QDir::toNativeSeparators(dir.filePath(rel)); }

    // Clicks the folder's row in the tree, as a person does once the row is
    // on screen (the tree opened and scrolled to it).
    void clickFolder(const QString& folder, Qt::MouseButton button = Qt::LeftButton)
    {
        widgets::FolderTree* tree = sub->tvFoldr;
        // The person takes the wheel: the tree stops following the home row.
        QWheelEvent wheel(QPointF(5, 5), tree->viewport()->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(tree->viewport(), &wheel);
        QFileSystemModel* model = tree->fileSystemModel();
        const QString p = QDir::fromNativeSeparators(folder);
        QModelIndex idx;
        ASSERT_TRUE(waitFor([&] {
            idx = model->index(p);
            if (!idx.isValid())
                return false;
            for (QModelIndex a = idx.parent(); a.isValid(); a = a.parent())
                tree->expand(a);
            tree->scrollTo(idx);
            const QRect row = tree->visualRect(idx);
            return row.isValid() && tree->viewport()->rect().contains(row.topLeft() + QPoint(12, row.height() / 2));
        })) << p.toStdString();
        // Let the rows settle (the model sorts a moment after it reads).
        QTest::qWait(100);
        idx = model->index(p);
        tree->scrollTo(idx);
        // On the name: a deep row's centre may lie beyond the tree's width.
        const QRect row = tree->visualRect(idx);
        const QPoint at(std::min(row.center().x(), row.left() + 12), row.center().y());
        QTest::mouseClick(tree->viewport(), button, {}, at);
    }

    void key(Qt::Key k)
    {
        QWidget* target = viewer->focusWidget() ? viewer->focusWidget() : viewer;
        QTest::keyClick(target, k);
    }
    QString shownName() const { return viewer->windowTitle().section(QDir::separator(), -1); }
    // The pointer goes to the bottom-left hot zone of the viewer.
    void pointAtHotZone()
    {
        QTest::mouseMove(viewer, viewer->rect().center());
        QTest::mouseMove(viewer, viewer->lbSenIn->geometry().center());
    }

    QTemporaryDir dir;
    AppState state;
    TfrmSub* sub = nullptr;
    TfrmMain* viewer = nullptr;
    QStringList warnings;
    QtMessageHandler previousHandler = nullptr;
    bool started = false;
};

TEST_F(Walk, ChooseByMouseAndKeysThenWalkTheShowAndQuit)
{
    picture(QStringLiteral("a.png"), {300, 200});
    picture(QStringLiteral("b.png"), {200, 300});
    picture(QStringLiteral("c.png"), {320, 240});
    picture(QStringLiteral("sub/only.png"), {100, 80});
    start();
    widgets::MessageCapture messages;

    // A left click on the folder lists its pictures.
    clickFolder(dir.path());
    ASSERT_TRUE(waitFor([&] { return sub->FLList->count() == 3; })) << sub->FLList->count();
    EXPECT_EQ(sub->Label4->text(), QStringLiteral("3)"));
    // A right click chooses just as well, and Left goes up to the parent.
    clickFolder(dir.filePath(QStringLiteral("sub")), Qt::RightButton);
    ASSERT_TRUE(waitFor([&] { return sub->FLList->count() == 1; }));
    EXPECT_EQ(sub->tvFoldr->selectedPath(), path(QStringLiteral("sub")));
    QTest::keyClick(sub->tvFoldr, Qt::Key_Left);
    ASSERT_TRUE(waitFor([&] { return sub->FLList->count() == 3; }));
    EXPECT_EQ(sub->Label4->text(), QStringLiteral("3)"));

    // OK shows the first picture of that folder.
    viewer->setPrefetchEnabled(false);
    click(sub->btOK);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
    ASSERT_TRUE(viewer->isVisible());
    EXPECT_FALSE(sub->isVisible());
    EXPECT_EQ(shownName(), QStringLiteral("a.png"));
    EXPECT_EQ(viewer->lbPosi->text(), QStringLiteral("1"));
    EXPECT_EQ(viewer->lbTotal->text(), QStringLiteral("/3"));
    EXPECT_FALSE(viewer->Panel1->isVisible());

    // A click on the picture and each advance key step on, wrapping round.
    click(viewer->Image1);
    EXPECT_EQ(shownName(), QStringLiteral("b.png"));
    const struct {
        Qt::Key key;
        const char* expected;
    } steps[] = {{Qt::Key_Return, "c.png"}, {Qt::Key_Space, "a.png"}, {Qt::Key_Down, "b.png"},
                 {Qt::Key_Right, "c.png"},  {Qt::Key_Backspace, "b.png"}, {Qt::Key_Up, "a.png"},
                 {Qt::Key_Left, "a.png"},   {Qt::Key_Enter, "b.png"}};
    for (const auto& s : steps) {
        key(s.key);
        EXPECT_EQ(shownName(), QString::fromLatin1(s.expected)) << "after key " << s.key;
    }
    EXPECT_EQ(viewer->lbPosi->text(), QStringLiteral("2"));

    // The panel comes up in the hot zone; its back button steps back.
    EXPECT_FALSE(viewer->Panel1->isVisible());
    pointAtHotZone();
    ASSERT_TRUE(viewer->Panel1->isVisible());
    click(viewer->btBefr);
    EXPECT_EQ(shownName(), QStringLiteral("a.png"));

    // A click at the right end of the track bar jumps to the last picture.
    QTest::mouseMove(viewer->Panel1, viewer->tbJump->geometry().center());
    click(viewer->tbJump, Qt::LeftButton, QPoint(viewer->tbJump->width() - 3, viewer->tbJump->height() / 2));
    EXPECT_EQ(shownName(), QStringLiteral("c.png"));
    EXPECT_EQ(viewer->lbPosi->text(), QStringLiteral("3"));

    // Turning: left, then back as loaded.
    const QSize before = viewer->Image1->pictureSize();
    click(viewer->btLRt);
    EXPECT_EQ(viewer->Image1->pictureSize(), before.transposed());
    click(viewer->btLRt);
    EXPECT_EQ(viewer->Image1->pictureSize(), before);

    // The timer: OFF stops it, ON starts it; at 0 s it moves on by itself.
    ASSERT_TRUE(viewer->TimDsp->isActive());
    click(viewer->btTime);
    EXPECT_FALSE(viewer->TimDsp->isActive());
    EXPECT_EQ(viewer->btTime->text(), QStringLiteral("ON"));
    key(Qt::Key_Shift);
    EXPECT_TRUE(viewer->TimDsp->isActive());
    EXPECT_EQ(viewer->btTime->text(), QStringLiteral("OFF"));
    const QPoint lowerHalf(viewer->udSec1->width() / 2, viewer->udSec1->height() * 3 / 4);
    for (int i = 0; i < 20; ++i)
        click(viewer->udSec1, Qt::LeftButton, lowerHalf);
    EXPECT_EQ(viewer->lbTimer->text(), QStringLiteral("0:00"));
    const QString atTick = shownName();
    EXPECT_TRUE(waitFor([&] { return shownName() != atTick; }, 3000));
    click(viewer->btTime);
    EXPECT_FALSE(viewer->TimDsp->isActive());

    // A fast move from the track bar straight to the middle drops the panel.
    pointAtHotZone();
    QTest::mouseMove(viewer->Panel1, viewer->tbJump->geometry().center());
    ASSERT_TRUE(viewer->Panel1->isVisible());
    QTest::mouseMove(viewer, viewer->rect().center());
    EXPECT_FALSE(viewer->Panel1->isVisible());

    // Ctrl opens the folder window with the panel up; Cancel goes back to
    // the same picture, and the panel is down when the viewer returns.
    pointAtHotZone();
    ASSERT_TRUE(viewer->Panel1->isVisible());
    const QString shown = shownName();
    bool sawFolderWindow = false;
    whenModal<TfrmSub>([&](TfrmSub* d) {
        sawFolderWindow = true;
        click(d->btCancel);
    });
    key(Qt::Key_Control);
    EXPECT_TRUE(sawFolderWindow);
    EXPECT_EQ(shownName(), shown);
    EXPECT_FALSE(viewer->Panel1->isVisible());

    // A right click on the picture opens it too; OK there starts a new show
    // of the folder chosen by keys.
    sawFolderWindow = false;
    whenModal<TfrmSub>([&](TfrmSub* d) {
        sawFolderWindow = true;
        // Right opens the folder, and once open goes to its first sub-folder.
        for (int i = 0; i < 3 && d->FLList->count() != 1; ++i) {
            QTest::keyClick(d->tvFoldr, Qt::Key_Right);
            waitFor([&] { return d->FLList->count() == 1; }, 1000);
        }
        if (d->FLList->count() == 1)
            click(d->btOK);
        else
            click(d->btCancel);
    });
    click(viewer->Image1, Qt::RightButton);
    EXPECT_TRUE(sawFolderWindow);
    EXPECT_EQ(shownName(), QStringLiteral("only.png"));
    EXPECT_EQ(viewer->lbTotal->text(), QStringLiteral("/1"));

    // Escape quits.
    key(Qt::Key_Escape);
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(u'\n').toStdString();
}

TEST_F(Walk, SearchFromTheDialogPrintFromThePanelAndTheVersionWindow)
{
    REQUIRE_TESTDATA();
    const auto data = testsupport::testDataDir();
    for (const char* f : {"comments/et_ExifTool.jpg", "canon/dc_Canon_PowerShot_G6_IMG_0002.JPG"})
        ASSERT_TRUE(QFile::copy(QString::fromStdString((data / f).string()),
                                dir.filePath(QFileInfo(QString::fromLatin1(f)).fileName())));
    start();
    viewer->setPrefetchEnabled(false);
    widgets::MessageCapture messages;
    clickFolder(dir.path());
    ASSERT_TRUE(waitFor([&] { return sub->FLList->count() == 2; }));

    // Search by the shooting date typed into the dialog.
    TdlgPxSerch* search = state.dlgPxSerch;
    whenModal<TdlgPxSerch>([&](TdlgPxSerch* d) {
        click(d->edDtSer);
        QTest::keyClicks(d->edDtSer, QStringLiteral("2001:05"));
        click(d->OKBtn);
    });
    click(sub->sbSerch);
    EXPECT_FALSE(search->isVisible());
    ASSERT_TRUE(viewer->isVisible()) << messages.texts.join(u'|').toStdString();
    EXPECT_EQ(viewer->lbTotal->text(), QStringLiteral("/1"));
    EXPECT_EQ(shownName(), QStringLiteral("et_ExifTool.jpg"));
    EXPECT_EQ(viewer->lbNitiji->text(), QStringLiteral("2001:05:19 18:36:41"));
    EXPECT_EQ(viewer->lbTitle->text(), QStringLiteral("A witty caption"));
    // The title does not cover the end of the date.
    EXPECT_GE(viewer->lbTitle->x(), viewer->lbNitiji->x() + viewer->lbNitiji->fontMetrics().horizontalAdvance(
                                                                viewer->lbNitiji->text()));

    // The condition list opens with its rows capped by the rule.
    click(viewer->cbDisp);
    ASSERT_TRUE(waitFor([&] { return viewer->cbDisp->view()->isVisible(); }));
    const int rows = viewer->cbDisp->view()->viewport()->height() / viewer->cbDisp->view()->sizeHintForRow(0);
    const int count = viewer->cbDisp->count();
    const int cap = count > 30 ? 30 : (count >= 9 ? count : 8);
    EXPECT_LE(rows, cap) << count << " lines";
    QTest::keyClick(viewer->cbDisp->view(), Qt::Key_Escape);
    ASSERT_TRUE(waitFor([&] { return !viewer->cbDisp->view()->isVisible(); }));

    // Print from the panel's button to a PDF file.
    const QString pdf = dir.filePath(QStringLiteral("out.pdf"));
    sub->pageSetup()->setOutputFormat(QPrinter::PdfFormat);
    sub->pageSetup()->setOutputFileName(pdf);
    pointAtHotZone();
    ASSERT_TRUE(viewer->Panel1->isVisible());
    QString fontFamily;
    whenModal<TDlgPrint>([&](TDlgPrint* d) {
        // The font dialog opens on the printer font as this system has it.
        whenModal<QFontDialog>([&](QFontDialog* fontDialog) {
            fontFamily = fontDialog->currentFont().family();
            fontDialog->reject();
        });
        click(d->btFont);
        // The printer dialog: its print button, output to the file set up.
        whenModal<QPrintDialog>([&](QPrintDialog* printDialog) {
            auto* buttons = printDialog->findChild<QDialogButtonBox*>();
            ASSERT_NE(buttons, nullptr);
            click(buttons->button(QDialogButtonBox::Ok));
        });
        click(d->OKBtn);
    });
    click(viewer->btPrint);
    EXPECT_EQ(fontFamily, QFontInfo(QFont(platform::kUiFontName)).family());
    EXPECT_TRUE(waitFor([&] { return QFileInfo(pdf).size() > 1000; }));

    // The version window from the folder window, opened by a right click.
    bool sawVersion = false;
    whenModal<TfrmSub>([&](TfrmSub* d) {
        whenModal<TfrmSSVer>([&](TfrmSSVer* v) {
            sawVersion = v->Version->text() == QStringLiteral("バージョン：１．５０");
            click(v->OKButton);
        });
        click(d->btVer);
        click(d->btCancel);
    });
    click(viewer->Image1, Qt::RightButton);
    EXPECT_TRUE(sawVersion);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(u'\n').toStdString();
}

TEST_F(Walk, TheConditionListTheMapAndThePageSetupAsAPersonMeetsThem)
{
    REQUIRE_TESTDATA();
    const auto data = testsupport::testDataDir();
    // A camera file with over a hundred condition lines, one with three, one
    // with a position.
    const struct {
        const char* from;
        const char* to;
    } files[] = {{"canon/dc_Canon_EOS_RP__MG_0635.JPG", "a.jpg"},
                 {"broken/pil_exif-ifd-offset.jpg", "b.jpg"},
                 {"gps/ex2_exiv2-bug528.jpg", "c.jpg"}};
    for (const auto& f : files)
        ASSERT_TRUE(QFile::copy(QString::fromStdString((data / f.from).string()), dir.filePath(QString::fromLatin1(f.to))));
    start();
    viewer->setPrefetchEnabled(false);
    widgets::MessageCapture messages;
    clickFolder(dir.path());
    ASSERT_TRUE(waitFor([&] { return sub->FLList->count() == 3; }));
    click(sub->btOK);
    ASSERT_EQ(shownName(), QStringLiteral("a.jpg"));
    key(Qt::Key_Shift);  // the timer off: no advance while we look

    // The list opens with 30 rows for many lines and all of them for three.
    auto openRows = [&] {
        click(viewer->cbDisp);
        EXPECT_TRUE(waitFor([&] { return viewer->cbDisp->view()->isVisible(); }));
        QAbstractItemView* view = viewer->cbDisp->view();
        int rows = 0;
        for (int i = 0; i < viewer->cbDisp->count(); ++i) {
            const QRect row = view->visualRect(view->model()->index(i, 0));
            if (row.top() >= 0 && row.bottom() < view->viewport()->height())
                ++rows;
        }
        QTest::keyClick(view, Qt::Key_Escape);
        EXPECT_TRUE(waitFor([&] { return !view->isVisible(); }));
        return rows;
    };
    ASSERT_GT(viewer->cbDisp->count(), 30);
    EXPECT_EQ(openRows(), 30);
    click(viewer->Image1);
    ASSERT_EQ(shownName(), QStringLiteral("b.jpg"));
    ASSERT_EQ(viewer->cbDisp->count(), 3);
    EXPECT_EQ(viewer->cbDisp->maxVisibleItems(), 8);
    EXPECT_EQ(openRows(), 3);

    // The map button hands the position to the desktop's opener, whose
    // complaints (no browser here) stay off our terminal.
    click(viewer->Image1);
    ASSERT_EQ(shownName(), QStringLiteral("c.jpg"));
    {
        FakeOpener opener;
        click(viewer->btMap);
        EXPECT_EQ(opener.opened(),
                  QStringList{QStringLiteral("https://maps.gsi.go.jp/#15/47.616117/001.516928/&base=std")});
        EXPECT_EQ(opener.errorStreams(), QStringList{QStringLiteral("/dev/null")});
    }

    // The page set-up from the print dialog draws its preview quietly.
    pointAtHotZone();
    ASSERT_TRUE(viewer->Panel1->isVisible());
    bool sawPageSetup = false;
    whenModal<TDlgPrint>([&](TDlgPrint* d) {
        whenModal<QPageSetupDialog>([&](QPageSetupDialog* setup) {
            sawPageSetup = true;
            QTest::qWait(100);  // painted at least once
            setup->reject();
        });
        click(d->btPrSet);
        click(d->CancelBtn);
    });
    click(viewer->btPrint);
    EXPECT_TRUE(sawPageSetup);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join(u'|').toStdString();
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join(u'\n').toStdString();
}

TEST_F(Walk, WarningsAskWithTheWarningIconAndQtDialogsSpeakJapanese)
{
    // A real box, answered by a click on its No button.
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString noText;
    whenModal<QMessageBox>([&](QMessageBox* box) {
        icon = box->icon();
        QAbstractButton* no = box->button(QMessageBox::No);
        noText = no->text();
        click(no);
    });
    EXPECT_FALSE(widgets::askYesNo(QStringLiteral("画像が印刷範囲を超えています。\n印刷を続行しますか？")));
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(noText, QStringLiteral("いいえ(&N)"));
}

TEST_F(Walk, AFailedPictureDoesNotKeepThePreviousPicturesDateAndTitle)
{
    REQUIRE_TESTDATA();
    const auto data = testsupport::testDataDir();
    const QString good = QString::fromStdString((data / "comments/et_ExifTool.jpg").string());
    ASSERT_TRUE(QFile::copy(good, dir.filePath(QStringLiteral("a.jpg"))));
    // The same camera file cut short.
    QFile in(good);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    QFile cut(dir.filePath(QStringLiteral("b.jpg")));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(in.read(600));
    cut.close();
    start();
    viewer->setPrefetchEnabled(false);
    widgets::MessageCapture messages;
    clickFolder(dir.path());
    ASSERT_TRUE(waitFor([&] { return sub->FLList->count() == 2; }));
    click(sub->btOK);
    ASSERT_EQ(viewer->lbTitle->text(), QStringLiteral("A witty caption"));
    // What stands beside the message while it is up.
    bool bareBars = false;
    widgets::setMessageHook([&](const QString& text) {
        messages.texts << text;
        bareBars = viewer->lbTitle->isVisible() || viewer->cbDisp->isVisible();
        return true;
    });
    click(viewer->Image1);
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("エラーがありました！")});
    EXPECT_FALSE(bareBars) << "an empty title bar or condition list beside the message";
    EXPECT_EQ(shownName(), QStringLiteral("b.jpg"));
    EXPECT_NE(viewer->lbNitiji->text(), QStringLiteral("2001:05:19 18:36:41"));
    EXPECT_FALSE(viewer->lbTitle->isVisible());
    EXPECT_FALSE(viewer->cbDisp->isVisible());
}

TEST_F(Walk, HomeIsOpenAndInViewOnceTheTreeHasLoaded)
{
    // A home folder deep down, so the tree needs several reads to reach it.
    const QString home = dir.filePath(QStringLiteral("h1/h2/h3/h4/home"));
    ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/inside")));
    for (int i = 0; i < 40; ++i)
        QDir().mkpath(dir.filePath(QStringLiteral("h1/h2/h3/a%1").arg(i, 2, 10, QLatin1Char('0'))));
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", home.toLocal8Bit());
    start();
    const bool inView = waitFor([&] { return sub->tvFoldr->homeInView(); }, 10000);
    QTest::qWait(300);
    const bool stillInView = sub->tvFoldr->homeInView();
    qputenv("HOME", oldHome);
    ASSERT_TRUE(inView);
    EXPECT_TRUE(stillInView);
    const QModelIndex idx = sub->tvFoldr->fileSystemModel()->index(home);
    EXPECT_TRUE(sub->tvFoldr->isExpanded(idx));
}

}  // namespace
