// The viewer window driven offscreen over real picture files.
#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QImage>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "app/app_state.h"
#include "widgets/click_label.h"
#include "widgets/message_box.h"
#include "widgets/up_down.h"
#include "support/photos.h"
#include "support/test_support.h"
#include "viewer/picture_box.h"
#include "viewer/picture_cache.h"
#include "viewer/tfrm_main.h"
#include "viewer/viewer_logic.h"

namespace fs = std::filesystem;

namespace {

using testsupport::photo;
using testsupport::psnr;

const QString kError = QStringLiteral("エラーがありました！");

// A show over files in a temporary folder.
class Show : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        viewer = std::make_unique<TfrmMain>(state);
        viewer->setBorder(true);
        viewer->setWindowState(Qt::WindowNoState);
        viewer->resize(800, 600);
        viewer->show();
        viewer->handOverSender = &okButton;
    }

    QString addPicture(const QString& name, QSize size, QColor colour = Qt::darkCyan, const char* format = nullptr)
    {
        QImage img(size, QImage::Format_RGB32);
        img.fill(colour);
        img.setPixel(0, 0, qRgb(255, 0, 0));
        const QString path = dir.filePath(name);
        EXPECT_TRUE(img.save(path, format));
        return addFile(name);
    }
    bool writeBytes(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            return false;
        addFile(name);
        return true;
    }
    QString addFile(const QString& name)
    {
        state.FileList << name;
        state.FolderIndexList << QStringLiteral("0");
        return dir.filePath(name);
    }
    void start(int index = 0)
    {
        state.FolderList = {dir.path()};
        state.CurrentIndex = index;
        state.ViewerReady = true;
        viewer->tbJump->setMaximum(std::max(1, static_cast<int>(state.FileList.size())));
        state.SuppressJumpChange = true;
        viewer->Image1Click(&okButton);
        state.SuppressJumpChange = false;
    }
    QSize shownSize() const { return viewer->Image1->pictureSize(); }

    QTemporaryDir dir;
    AppState state;
    QObject okButton;
    std::unique_ptr<TfrmMain> viewer;
    widgets::MessageCapture messages;
};

}  // namespace

TEST_F(Show, AdvanceWrapsAndStepsBack)
{
    addPicture("a.png", {30, 20});
    addPicture("b.png", {40, 20});
    addPicture("c.png", {50, 20});
    start();
    const int widths[] = {30, 40, 50, 30, 40};
    const char* posi[] = {"1", "2", "3", "1", "2"};
    for (int i = 0; i < 5; ++i) {
        if (i > 0)
            viewer->Image1Click(viewer->Image1);
        EXPECT_EQ(shownSize().width(), widths[i]) << i;
        EXPECT_EQ(viewer->lbPosi->text(), QString::fromUtf8(posi[i]));
    }
    // b on screen: back to a, then nothing more (no wrap backwards).
    viewer->btBefrClick();
    EXPECT_EQ(shownSize().width(), 30);
    viewer->btBefrClick();
    EXPECT_EQ(shownSize().width(), 30);
    EXPECT_EQ(state.CurrentIndex, 1);
    // Last on screen: back shows the one before it.
    viewer->Image1Click(viewer->Image1);
    viewer->Image1Click(viewer->Image1);
    ASSERT_EQ(state.CurrentIndex, 0);
    viewer->FormKeyDown(TfrmMain::VK_BACK, Qt::NoModifier);
    EXPECT_EQ(shownSize().width(), 40);
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_TRUE(state.ViewerReady);
}

TEST_F(Show, TheWaitCursorShowsWhileAPictureIsWaitedForAndNotAfter)
{
    addPicture("a.png", {30, 20});
    addPicture("b.png", {40, 20});
    addPicture("c.png", {50, 20});
    start();
    viewer->setPrefetchEnabled(false);
    // b comes from a slow disk; c at once.
    viewer->pictureCache().setLoader([](const viewer::PictureRequest& r, bool full, viewer::LoadProgress* p,
                                        bool decode) {
        if (r.path.endsWith(QLatin1String("b.png")))
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return viewer::loadPicture(r, full, p, decode);
    });
    const auto cursorNow = [] {
        const QCursor* c = QGuiApplication::overrideCursor();
        return c ? int(c->shape()) : -1;
    };
    for (const int width : {40, 50}) {
        int during = -2;
        QTimer::singleShot(100, viewer.get(), [&] { during = cursorNow(); });
        QTest::mouseClick(viewer->Image1, Qt::LeftButton, Qt::NoModifier, viewer->Image1->rect().center());
        ASSERT_EQ(shownSize().width(), width);
        if (width == 40) {
            EXPECT_EQ(during, int(Qt::WaitCursor)) << "while b is read";
        }
        EXPECT_EQ(cursorNow(), -1) << width;
        QTest::qWait(150);
    }
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(Show, OnePictureIsShownOnceAndTheTimerStaysOff)
{
    addPicture("only.png", {30, 20});
    start();
    EXPECT_EQ(state.CurrentIndex, 0);
    EXPECT_EQ(viewer->lbPosi->text(), QStringLiteral("1"));
    viewer->Image1->clear();
    viewer->Image1Click(viewer->Image1);
    viewer->TimDspTimer();
    viewer->FormKeyDown(TfrmMain::VK_SPACE, Qt::NoModifier);
    viewer->FormKeyDown(TfrmMain::VK_BACK, Qt::NoModifier);
    EXPECT_TRUE(viewer->Image1->isEmpty());  // nothing reloaded
    viewer->btTimeClick();                   // mode off
    viewer->btTimeClick();                   // mode on again: still no timer
    EXPECT_TRUE(viewer->timerModeOn());
    EXPECT_FALSE(viewer->TimDsp->isActive());
}

TEST_F(Show, EmptyListAndBusyViewer)
{
    state.ViewerReady = true;
    viewer->Image1Click(viewer->Image1);
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("表示する画像がありません。")});
    addPicture("a.png", {30, 20});
    addPicture("b.png", {40, 20});
    start();
    // While a picture loads, clicks, ticks, steps and jumps are dropped.
    state.ViewerReady = false;
    viewer->Image1Click(viewer->Image1);
    viewer->TimDspTimer();
    viewer->FormKeyDown(TfrmMain::VK_BACK, Qt::NoModifier);
    viewer->tbJump->setValue(2);
    EXPECT_EQ(state.CurrentIndex, 1);
    EXPECT_EQ(shownSize().width(), 30);
}

TEST_F(Show, JumpRules)
{
    for (int i = 0; i < 5; ++i)
        addPicture(QStringLiteral("p%1.png").arg(i), {20 + i, 10});
    start();
    viewer->tbJump->setValue(4);
    EXPECT_EQ(shownSize().width(), 23);
    EXPECT_EQ(state.CurrentIndex, 4);
    // The position of the picture on screen: the label follows, no load.
    viewer->Image1->clear();
    viewer->lbPosi->clear();
    viewer->tbJumpChange();
    EXPECT_TRUE(viewer->Image1->isEmpty());
    EXPECT_EQ(viewer->lbPosi->text(), QStringLiteral("4"));
    viewer->tbJump->setValue(5);
    EXPECT_EQ(shownSize().width(), 24);
    ASSERT_EQ(state.CurrentIndex, 0);
    // The last position while the last picture is on screen: likewise.
    viewer->Image1->clear();
    viewer->tbJumpChange();
    EXPECT_TRUE(viewer->Image1->isEmpty());
    viewer->tbJump->setValue(2);
    EXPECT_EQ(shownSize().width(), 21);
    // Beyond the list (a stale maximum): clamped to the last picture.
    viewer->tbJump->setMaximum(9);
    viewer->tbJump->setValue(9);
    EXPECT_EQ(shownSize().width(), 24);
}

TEST_F(Show, TimerModeAndInterval)
{
    addPicture("a.png", {30, 20});
    addPicture("b.png", {40, 20});
    start();
    EXPECT_EQ(viewer->lbTimer->text(), QStringLiteral("20秒"));
    EXPECT_EQ(viewer->TimDsp->interval(), 20000);
    viewer->btTimeClick();
    EXPECT_EQ(viewer->btTime->text(), QStringLiteral("ON"));
    EXPECT_EQ(viewer->btTime->toolTip(), QStringLiteral("タイマを作動する"));
    EXPECT_FALSE(viewer->udSec1->isEnabled());
    EXPECT_FALSE(viewer->TimDsp->isActive());
    viewer->btTimeClick();
    EXPECT_EQ(viewer->btTime->text(), QStringLiteral("OFF"));
    EXPECT_TRUE(viewer->TimDsp->isActive());

    viewer->udSec1->step(false);
    EXPECT_EQ(viewer->lbTimer->text(), QStringLiteral("0:19"));
    viewer->udSec1->setPosition(20);
    viewer->udSec20->setPosition(1980);
    viewer->udSec20->step(true);
    EXPECT_EQ(viewer->lbTimer->text(), QStringLiteral("33:40"));
    EXPECT_EQ(viewer->TimDsp->interval(), 2020000);
    viewer->udSec20->setPosition(0);
    viewer->udSec1->setPosition(1);
    viewer->udSec1->step(false);
    EXPECT_EQ(viewer->lbTimer->text(), QStringLiteral("0:00"));
    EXPECT_EQ(viewer->TimDsp->interval(), 500);

    // A manual advance restarts a running timer; a tick leaves it running.
    viewer->udSec1->setPosition(20);
    viewer->udSec1Click(true);
    viewer->Image1Click(viewer->Image1);
    EXPECT_TRUE(viewer->TimDsp->isActive());
    EXPECT_GT(viewer->TimDsp->remainingTime(), 19000);
    viewer->TimDspTimer();
    EXPECT_TRUE(viewer->TimDsp->isActive());
}

TEST_F(Show, KeysInAndOutOfScrollMode)
{
    viewer->Image1->setProportional(false);
    viewer->Image1->setStretch(false);
    viewer->Image1->setCenter(false);
    addPicture("big.png", {2000, 1500});
    addPicture("small.png", {100, 80});
    addPicture("third.png", {120, 80});
    start();
    ASSERT_TRUE(viewer->autoScroll());
    EXPECT_EQ(viewer->Image1->size(), QSize(2000, 1500));
    QScrollBar* v = viewer->scroller()->verticalScrollBar();
    QScrollBar* h = viewer->scroller()->horizontalScrollBar();
    QTest::keyClick(viewer.get(), Qt::Key_Down);
    QTest::keyClick(viewer.get(), Qt::Key_Down);
    QTest::keyClick(viewer.get(), Qt::Key_Right);
    EXPECT_EQ(v->value(), 20);
    EXPECT_EQ(h->value(), 10);
    QTest::keyClick(viewer.get(), Qt::Key_Up);
    QTest::keyClick(viewer.get(), Qt::Key_Left);
    QTest::keyClick(viewer.get(), Qt::Key_Left);
    EXPECT_EQ(v->value(), 10);
    EXPECT_EQ(h->value(), 0);
    EXPECT_EQ(state.CurrentIndex, 1);  // arrows never change the picture
    // Return still advances; the smaller picture ends scroll mode.
    QTest::keyClick(viewer.get(), Qt::Key_Return);
    EXPECT_EQ(shownSize(), QSize(100, 80));
    EXPECT_FALSE(viewer->autoScroll());
    // Out of scroll mode the arrows move through the list.
    QTest::keyClick(viewer.get(), Qt::Key_Right);
    EXPECT_EQ(shownSize(), QSize(120, 80));
    QTest::keyClick(viewer.get(), Qt::Key_Up);
    EXPECT_EQ(shownSize(), QSize(100, 80));
    QTest::keyClick(viewer.get(), Qt::Key_Space);
    EXPECT_EQ(shownSize(), QSize(120, 80));
    QTest::keyClick(viewer.get(), Qt::Key_Shift);
    EXPECT_FALSE(viewer->timerModeOn());
    // Keys typed into the focus sink reach the same table.
    QTest::keyClick(static_cast<QWidget*>(viewer->Edit1), Qt::Key_Shift);
    EXPECT_TRUE(viewer->timerModeOn());
}

TEST_F(Show, LabelsOfAShownPicture)
{
    const QString path = addPicture("colour.png", {64, 48});
    QFile::resize(path, QFileInfo(path).size());
    QFile f(path);
    f.open(QIODevice::ReadWrite);
    f.setFileTime(QDateTime(QDate(2022, 3, 4), QTime(5, 6, 7)), QFileDevice::FileModificationTime);
    f.close();
    addFile("gone.png");
    start();
    EXPECT_EQ(viewer->lbNitiji->text(), QStringLiteral("2022/03/04 5:06:06"));
    EXPECT_FALSE(viewer->dateFromMetadata());
    EXPECT_EQ(viewer->lbNitiji->palette().color(QPalette::WindowText), QColor(216, 100, 0));
    const QString size = QString::number(QFileInfo(path).size());
    EXPECT_TRUE(viewer->lbSize->text().endsWith(QStringLiteral("バイト   (64×48)"))) << viewer->lbSize->text().toStdString();
    EXPECT_TRUE(viewer->windowTitle().endsWith(QStringLiteral("colour.png")));
    EXPECT_TRUE(viewer->cbDisp->isHidden());  // no condition lines
    EXPECT_TRUE(viewer->lbTitle->isHidden());
    // The file that has gone: the show goes on.
    viewer->Image1Click(viewer->Image1);
    EXPECT_EQ(viewer->lbSize->text(), QStringLiteral("ファイルが見つかりません！"));
    EXPECT_TRUE(viewer->Image1->isEmpty());
    EXPECT_TRUE(viewer->lbNitiji->text().isEmpty());
    EXPECT_EQ(state.CurrentIndex, 0);
    viewer->Image1Click(viewer->Image1);
    EXPECT_EQ(shownSize(), QSize(64, 48));
    EXPECT_TRUE(messages.texts.isEmpty());
}

// The picture box paints over what it showed before without clearing
// first: the margins around a picture, and the window colour under a
// picture's clear pixels, must still be painted on every paint.
TEST_F(Show, MarginsAndClearPixelsShowTheWindowColour)
{
    addPicture("opaque.png", {40, 30}, Qt::darkCyan);
    QImage clear(40, 30, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    ASSERT_TRUE(clear.save(dir.filePath("clear.png")));
    addFile("clear.png");
    start();
    const QColor window = viewer->palette().color(QPalette::Window);
    const auto painted = [this] {
        QImage canvas(viewer->Image1->size(), QImage::Format_RGB32);
        canvas.fill(Qt::green);  // what a stale screen would still hold
        viewer->Image1->render(&canvas, QPoint(), QRegion(), QWidget::RenderFlags());
        return canvas;
    };
    QImage shown = painted();
    QPoint centre(-1, -1);
    for (int y = 0; y < shown.height() && centre.x() < 0; ++y)  // the picture's red top-left pixel
        for (int x = 0; x < shown.width() && centre.x() < 0; ++x)
            if (shown.pixel(x, y) == qRgb(255, 0, 0))
                centre = QPoint(x + 20, y + 15);
    ASSERT_GE(centre.x(), 0);
    EXPECT_EQ(shown.pixelColor(centre), QColor(Qt::darkCyan));
    for (const QPoint corner : {QPoint(0, shown.height() - 1), QPoint(shown.width() - 1, shown.height() - 1),
                                QPoint(shown.width() - 1, 0)})
        EXPECT_EQ(shown.pixelColor(corner), window) << corner.x() << "," << corner.y();
    viewer->Image1Click(viewer->Image1);
    ASSERT_EQ(shownSize(), QSize(40, 30));
    shown = painted();
    EXPECT_EQ(shown.pixelColor(centre), window);
    EXPECT_EQ(shown.pixelColor(0, shown.height() - 1), window);
}

TEST_F(Show, RotationButtons)
{
    addPicture("wide.bmp", {9, 4});
    addPicture("other.bmp", {5, 5});
    start();
    QToolButton* left = viewer->btLRt;
    QToolButton* right = viewer->btRRt;
    const QImage asLoaded = viewer->Image1->picture();
    left->click();
    EXPECT_TRUE(left->isChecked());
    EXPECT_EQ(shownSize(), QSize(4, 9));
    EXPECT_EQ(viewer->Image1->picture().pixel(0, 8), qRgb(255, 0, 0));  // top-left went bottom-left
    EXPECT_EQ(state.PictureOrientation, 8);
    left->click();
    EXPECT_FALSE(left->isChecked());
    EXPECT_EQ(viewer->Image1->picture(), asLoaded);
    EXPECT_EQ(state.PictureOrientation, 1);
    left->click();
    right->click();  // restored first, then turned once
    EXPECT_FALSE(left->isChecked());
    EXPECT_TRUE(right->isChecked());
    EXPECT_EQ(viewer->Image1->picture().pixel(3, 0), qRgb(255, 0, 0));
    EXPECT_EQ(viewer->fullPicture().size(), QSize(4, 9));
    EXPECT_EQ(state.PictureOrientation, 6);
    // The next picture starts unturned.
    viewer->Image1Click(viewer->Image1);
    EXPECT_FALSE(left->isChecked() || right->isChecked());
    EXPECT_EQ(state.PictureOrientation, 0);
    EXPECT_TRUE(state.UnrotatedPicture.isNull());
}

TEST_F(Show, ExifOrientationTurnsThePicture)
{
    REQUIRE_TESTDATA();
    const QString src = QString::fromStdString((testsupport::testDataDir() / "orientation/is_landscape_6.jpg").string());
    ASSERT_TRUE(QFile::copy(src, dir.filePath("six.jpg")));
    addFile("six.jpg");
    addPicture("plain.png", {10, 10});
    start();
    const QImage stored = QImage(src);
    if (state.PictureOrientation == 0)
        GTEST_SKIP() << "the metadata reader reports no orientation yet";
    EXPECT_EQ(state.PictureOrientation, 6);
    EXPECT_TRUE(viewer->btRRt->isChecked());
    EXPECT_EQ(shownSize(), stored.size().transposed());
    EXPECT_EQ(viewer->fullPicture().size(), stored.size().transposed());
    // Releasing the pressed button shows the picture as stored.
    viewer->btRRt->click();
    EXPECT_EQ(shownSize(), stored.size());
    viewer->btLRt->click();
    EXPECT_EQ(shownSize(), stored.size().transposed());
    EXPECT_EQ(state.PictureOrientation, 8);
}

TEST_F(Show, IconsAndDepthsOnScreen)
{
    REQUIRE_TESTDATA();
    const auto copy = [this](const char* name) {
        const QString src = QString::fromStdString((testsupport::testDataDir() / "nonjpeg" / name).string());
        EXPECT_TRUE(QFile::copy(src, dir.filePath(QString::fromUtf8(name))));
        addFile(QString::fromUtf8(name));
    };
    copy("im_input.ico");
    copy("pil_bmpsuite_g_pal4.bmp");
    start();
    EXPECT_TRUE(viewer->shownPicture().isIcon);
    viewer->btRRt->click();  // an icon is turned on the window colour
    EXPECT_FALSE(viewer->Image1->picture().hasAlphaChannel());
    viewer->Image1Click(viewer->Image1);
    ASSERT_EQ(viewer->shownPicture().bitmap.bpp, 4);
    const QSize s = shownSize();
    viewer->btLRt->click();
    EXPECT_EQ(viewer->shownPicture().bitmap.bpp, 4);  // turned as a 4-bit picture
    EXPECT_EQ(shownSize(), s.transposed());
    // With stretch on the icon is flattened onto the window colour.
    viewer->Image1->setStretch(true);
    viewer->Image1Click(viewer->Image1);
    EXPECT_FALSE(viewer->shownPicture().isIcon);
}

TEST_F(Show, BrokenFilesGiveTheMessageAndTheShowGoesOn)
{
    REQUIRE_TESTDATA();
    const char* names[] = {"et_PNG.png", "pil_bmpsuite_g_rgb24.bmp", "im_input.gif", "gdi_test.emf"};
    int broken = 0;
    for (const char* n : names) {
        const auto bytes = testsupport::readFile(testsupport::testDataDir() / "nonjpeg" / n);
        for (int cut : {3, 2}) {
            const QString name = QStringLiteral("cut%1_").arg(cut) + QString::fromUtf8(n);
            QFile f(dir.filePath(name));
            f.open(QIODevice::WriteOnly);
            f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size() / cut));
            f.close();
            addFile(name);
            ++broken;
        }
        addPicture(QStringLiteral("good_%1.png").arg(broken), {20 + broken, 10});
    }
    start();
    int errors = 0, good = 0;
    for (int i = 0; i < state.FileList.size(); ++i) {
        if (i > 0)
            viewer->Image1Click(viewer->Image1);
        const QString name = state.FileList[i];
        if (name.startsWith(QLatin1String("good_"))) {
            EXPECT_EQ(shownSize().height(), 10) << name.toStdString();
            ++good;
        }
        errors = messages.texts.count(kError);
        EXPECT_TRUE(state.ViewerReady);
    }
    EXPECT_EQ(good, 4);
    EXPECT_GE(errors, 6);  // the cut raster files at least
    EXPECT_EQ(state.CurrentIndex, 0);
}

TEST_F(Show, AFailureDecodedAheadIsReportedOnlyWhenItsPictureIsReached)
{
    REQUIRE_TESTDATA();
    // Each hostile file follows a good picture, so it is decoded ahead on
    // the worker while the good one is on screen.
    const fs::path hostile = testsupport::testDataDir() / "hostile";
    const char* names[] = {"bmp_bitfields16_mask_ffffffff.bmp", "bmp_rle8_bomb_22000.bmp",
                           "gif_screen_22000_frame_1x1.gif", "jpeg_progressive_22000_padded.jpg",
                           "png_bomb_1bit_22000.png"};
    for (const char* n : names) {
        addPicture(QStringLiteral("good_before_") + QString::fromUtf8(n) + QStringLiteral(".png"), {30, 20});
        ASSERT_TRUE(QFile::copy(QString::fromStdString((hostile / n).string()), dir.filePath(QString::fromUtf8(n))));
        addFile(QString::fromUtf8(n));
    }
    start();
    int expected = 0;
    for (int i = 0; i < state.FileList.size(); ++i) {
        if (i > 0)
            viewer->Image1Click(viewer->Image1);
        QTest::qWait(50);  // the worker decodes the next file meanwhile
        const QString name = state.FileList[i];
        // The 4 x 2 bit-field bitmap and the valid 484-megapixel picture
        // show; the others are refused.
        if (!name.startsWith(QLatin1String("good_")) && !name.startsWith(QLatin1String("bmp_bit")) &&
            !name.startsWith(QLatin1String("png_")))
            ++expected;
        if (name.startsWith(QLatin1String("png_"))) {
            // A reduced copy on screen; the texts and fitting see the full size.
            EXPECT_TRUE(viewer->shownPicture().reduced);
            EXPECT_EQ(shownSize(), QSize(22000, 22000));
            EXPECT_TRUE(viewer->lbSize->text().endsWith(QStringLiteral("(22000×22000)")))
                << viewer->lbSize->text().toStdString();
        }
        EXPECT_EQ(messages.texts.count(kError), expected) << name.toStdString();
        EXPECT_TRUE(state.ViewerReady);
    }
    EXPECT_EQ(messages.texts.count(kError), 3);
}

TEST_F(Show, PrefetchedNeighboursAreTakenFromTheCache)
{
    for (int i = 0; i < 4; ++i)
        addPicture(QStringLiteral("p%1.jpg").arg(i), {1600 + i * 8, 1200}, Qt::darkGreen, "JPG");
    start();
    EXPECT_TRUE(viewer->shownPicture().reduced);
    EXPECT_EQ(shownSize(), QSize(1600, 1200));
    EXPECT_EQ(viewer->fullPicture().size(), QSize(1600, 1200));
    const int before = viewer->pictureCache().hits();
    viewer->Image1Click(viewer->Image1);
    viewer->Image1Click(viewer->Image1);
    EXPECT_EQ(viewer->pictureCache().hits(), before + 2);
    EXPECT_EQ(shownSize(), QSize(1616, 1200));
    viewer->btBefrClick();
    EXPECT_EQ(shownSize(), QSize(1608, 1200));
    // A file replaced since it was decoded ahead is decoded again.
    QTest::qWait(300);
    QImage other(200, 100, QImage::Format_RGB32);
    other.fill(Qt::blue);
    QFile::remove(dir.filePath("p2.jpg"));
    other.save(dir.filePath("p2.jpg"));
    QFile f(dir.filePath("p2.jpg"));
    f.open(QIODevice::ReadWrite);
    f.setFileTime(QDateTime::currentDateTime().addSecs(60), QFileDevice::FileModificationTime);
    f.close();
    viewer->Image1Click(viewer->Image1);
    EXPECT_EQ(shownSize(), QSize(200, 100));
}

TEST_F(Show, ConditionLineInFull)
{
    addPicture("a.png", {30, 20});
    start();
    viewer->cbDisp->show();
    viewer->cbDisp->addItem(QStringLiteral("short"));
    viewer->cbDisp->setCurrentIndex(0);
    viewer->cbDispCloseUp();
    EXPECT_TRUE(viewer->lbComnt->isHidden());
    viewer->cbDisp->addItem(QString(300, QChar(0x3042)));
    viewer->cbDisp->setCurrentIndex(1);
    viewer->cbDispCloseUp();
    EXPECT_TRUE(viewer->lbComnt->isVisible());
    viewer->lbComntClick();
    EXPECT_TRUE(viewer->lbComnt->isHidden());
}

TEST_F(Show, TodaysPhoneAndCameraFilesShowWithTheirConditionLines)
{
    REQUIRE_TESTDATA();
    const fs::path modern = testsupport::testDataDir() / "modern";
    for (const char* name : {"ex2_2021-02-13-1929.heic", "ex2_exiv2-bug1199.webp", "ex2_pr_2612_poc.heic"}) {
        const fs::path from = std::string(name).find("poc") != std::string::npos
                                  ? testsupport::testDataDir() / "broken" / name
                                  : modern / name;
        ASSERT_TRUE(QFile::copy(QString::fromStdString(from.string()), dir.filePath(QString::fromLatin1(name))));
        addFile(QString::fromLatin1(name));
    }
    addPicture("after.png", {30, 20});
    start();
    // The iPhone's HEIC: upright as its properties turn it, turned once
    // only (its Exif says "turn 90 degrees" too), with the lines its
    // JPEG would give.
    EXPECT_EQ(shownSize(), QSize(3024, 4032));
    EXPECT_FALSE(viewer->btRRt->isChecked());
    EXPECT_FALSE(viewer->btLRt->isChecked());
    EXPECT_EQ(viewer->lbNitiji->text(), QStringLiteral("2021:02:13 11:03:31"));
    EXPECT_GE(viewer->cbDisp->findText(QStringLiteral("機種：iPhone XR")), 0);
    EXPECT_FALSE(viewer->btMap->isHidden());  // it has a position
    // A key a person presses: the WebP with the Nikon's lines.
    QTest::keyClick(viewer.get(), Qt::Key_Right);
    EXPECT_EQ(shownSize(), QSize(1200, 800));
    EXPECT_GE(viewer->cbDisp->findText(QStringLiteral("機種：NIKON D5300")), 0);
    EXPECT_FALSE(viewer->btMap->isHidden());  // a position of its own
    EXPECT_TRUE(messages.texts.isEmpty());
    // A damaged HEIC: the error, and the show goes on; neither it nor the
    // picture after it keeps the map button of the picture before.
    QTest::keyClick(viewer.get(), Qt::Key_Right);
    EXPECT_EQ(messages.texts, QStringList{kError});
    EXPECT_TRUE(viewer->btMap->isHidden());
    QTest::keyClick(viewer.get(), Qt::Key_Right);
    EXPECT_EQ(shownSize(), QSize(30, 20));
    EXPECT_EQ(viewer->lbPosi->text(), QStringLiteral("4"));
    EXPECT_TRUE(viewer->btMap->isHidden());
}

namespace {


// Where the track bar's handle stands at value.
QPoint handleAt(QSlider* s, int value)
{
    QStyleOptionSlider opt;
    opt.initFrom(s);
    opt.orientation = s->orientation();
    opt.minimum = s->minimum();
    opt.maximum = s->maximum();
    opt.sliderPosition = value;
    opt.sliderValue = value;
    opt.tickPosition = s->tickPosition();
    opt.tickInterval = s->tickInterval();
    opt.subControls = QStyle::SC_All;
    return s->style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, s).center();
}

// Runs events until done() or a few seconds have passed.
bool waitFor(const std::function<bool()>& done)
{
    for (int i = 0; i < 300 && !done(); ++i)
        QTest::qWait(10);
    return done();
}

// The pointer moved with the left button held, as in a drag.
void dragTo(QSlider* s, QPoint pos)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), QPointF(s->mapToGlobal(pos)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(s, &move);
}

}  // namespace

TEST_F(Show, AJumpPaintsAFirstLookOfThatPictureAndThenTodaysPicture)
{
    std::vector<QByteArray> files;
    for (int i = 0; i < 4; ++i) {
        QByteArray jpg;
        QBuffer b(&jpg);
        b.open(QIODevice::WriteOnly);
        photo({2400, 1800}, i).save(&b, "JPEG", 90);
        ASSERT_TRUE(writeBytes(QStringLiteral("p%1.jpg").arg(i), jpg));
        files.push_back(jpg);
    }
    start();
    viewer->setPrefetchEnabled(false);  // every jump decodes its picture now
    // A 24-megapixel decode takes long enough for the first look to be
    // painted first; this one is held back until it has been.
    std::vector<QImage> looks;
    std::atomic<bool> looked{false};
    viewer->previewPainted = [&](const QImage& image) {
        looks.push_back(image);
        looked.store(true);
    };
    viewer->pictureCache().setLoader([&](const viewer::PictureRequest& r, bool full, viewer::LoadProgress* p,
                                         bool decode) {
        auto out = viewer::loadPicture(r, full, p, decode);
        for (int i = 0; i < 500 && !full && !looked.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return out;
    });
    const QSize area = viewer->Image1->size();
    for (const int position : {4, 1}) {
        SCOPED_TRACE(position);
        looks.clear();
        looked.store(false);
        if (position == 4)
            QTest::keyClick(viewer->tbJump, Qt::Key_End);
        else
            QTest::keyClick(viewer->tbJump, Qt::Key_Home);
        ASSERT_EQ(viewer->lbPosi->text(), QString::number(position));
        const int k = position - 1;
        // The first look: that picture, no other.
        ASSERT_EQ(looks.size(), 1u);
        const double right = psnr(looks[0], photo({2400, 1800}, k));
        for (int other = 0; other < 4; ++other) {
            if (other != k) {
                EXPECT_LT(psnr(looks[0], photo({2400, 1800}, other)) + 6, right) << other;
            }
        }
        // Then the picture exactly as decoded without a first look.
        imaging::DecodeRequest dr;
        dr.drawnSize = [area](QSize full) { return viewer::drawnSize(area, full, true, false); };
        EXPECT_EQ(viewer->Image1->picture(), imaging::decodePicture(QStringLiteral("x.jpg"), files[k], dr).image);
        EXPECT_EQ(shownSize(), QSize(2400, 1800));
    }
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(Show, DraggingTheTrackBarShowsWhereItStopsAndGivesUpWhatItLeft)
{
    for (int i = 0; i < 30; ++i)
        addPicture(QStringLiteral("p%1.png").arg(i, 2, 10, QLatin1Char('0')), {20 + i, 10});
    start();
    QSlider* bar = viewer->tbJump;
    viewer->lbSenOtMouseEnter();  // the pointer at the bottom shows the panel
    // The tenth picture is slow to come (a large file on a slow disk).
    std::atomic<bool> slowStopped{false};
    viewer->pictureCache().setLoader([&](const viewer::PictureRequest& r, bool full, viewer::LoadProgress* p,
                                         bool decode) {
        if (r.path.endsWith(QLatin1String("p09.png"))) {
            for (int i = 0; i < 500 && !p->cancelled.load(); ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            slowStopped.store(p->cancelled.load());
        }
        return viewer::loadPicture(r, full, p, decode);
    });
    QTest::mousePress(bar, Qt::LeftButton, Qt::NoModifier, handleAt(bar, 1));
    // The pointer goes on while the tenth picture loads.
    QTimer::singleShot(100, bar, [&] { dragTo(bar, handleAt(bar, 20)); });
    dragTo(bar, handleAt(bar, 10));
    ASSERT_TRUE(bar->isSliderDown());
    // The tenth was given up for the twentieth, shown once the queue
    // of events reaches it.
    EXPECT_GE(viewer->pictureCache().cancelled(), 1);
    EXPECT_TRUE(waitFor([&] { return slowStopped.load(); })) << "its load is told to stop";
    EXPECT_TRUE(waitFor([&] { return shownSize().width() == 20 + 19; }));
    EXPECT_EQ(viewer->lbPosi->text(), QStringLiteral("20"));
    // Where the pointer rests, that picture is shown.
    for (const int position : {24, 23, 5}) {
        dragTo(bar, handleAt(bar, position));
        EXPECT_TRUE(waitFor([&] { return shownSize().width() == 20 + position - 1; })) << position;
    }
    QTest::mouseRelease(bar, Qt::LeftButton, Qt::NoModifier, handleAt(bar, 5));
    EXPECT_FALSE(bar->isSliderDown());
    EXPECT_EQ(bar->value(), 5);
    EXPECT_TRUE(state.ViewerReady);
    EXPECT_TRUE(messages.texts.isEmpty());
    // The show goes on from there.
    viewer->Image1Click(viewer->Image1);
    EXPECT_EQ(shownSize().width(), 20 + 5);
}
