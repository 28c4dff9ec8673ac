// The splash: its rounded region, its window, its timer and its drag.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include "app/app_state.h"
#include "app/splash.h"
#include "app/startup.h"
#include "folder/tfrm_sub.h"
#include "platform/dpi.h"
#include "widgets/folder_tree.h"

void PrintTo(const QPoint& p, std::ostream* os) { *os << p.x() << "," << p.y(); }

TEST(SplashRegion, RoundedRectangleCutsTheCorners)
{
    struct Row {
        int dpi;
        QPoint point;
        bool inside;
    };
    const Row rows[] = {
        // 120 dpi: (5, 35) to (520, 380), corners 100 x 85.
        {120, {262, 200}, true},
        {120, {4, 200}, false},
        {120, {521, 200}, false},
        {120, {262, 33}, false},
        {120, {10, 40}, false},   // cut away by the top-left corner
        {120, {20, 50}, true},    // inside the corner's curve
        {120, {515, 375}, false}, // bottom-right corner
        // 96 dpi: the far edges move in to 416 and 304, the corners stay.
        {96, {414, 200}, true},
        {96, {418, 200}, false},
        {96, {200, 306}, false},
    };
    for (const Row& row : rows) {
        const QRegion region = app::splashRegion(row.dpi);
        EXPECT_EQ(region.contains(row.point), row.inside) << row.dpi << " dpi at " << row.point.x() << ","
                                                          << row.point.y();
    }
}

TEST(Splash, ShownOnTopUntilItsTimerReleasesIt)
{
    AppState state;
    app::createSplash(state);
    QPointer<TfrmSSTTitl> splash = state.frmSSTTitl;
    ASSERT_TRUE(splash);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_TRUE(splash->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
    const double f = platform::dpiFactor(splash);
    EXPECT_EQ(splash->size(), QSize(platform::scaled(521, f), platform::scaled(357, f)));
    EXPECT_EQ(splash->mask(), app::splashRegion(splash->logicalDpiY()));
    EXPECT_EQ(splash->Label1->text(), QStringLiteral("Ver 1.50"));
    EXPECT_FALSE(splash->Image1->pixmap().isNull());

    // Dragged by the left button anywhere on it, the picture included, and
    // only until the button comes up.
    const QPoint before = splash->pos();
    QTest::mousePress(splash, Qt::LeftButton, {}, QPoint(200, 150));
    QTest::mouseMove(splash, QPoint(230, 170));
    QTest::mouseRelease(splash, Qt::LeftButton, {}, QPoint(230, 170));
    EXPECT_EQ(splash->pos(), before + QPoint(30, 20));
    QTest::mouseMove(splash, QPoint(100, 100));
    EXPECT_EQ(splash->pos(), before + QPoint(30, 20));
    // The right button does not drag it.
    QTest::mousePress(splash, Qt::RightButton, {}, QPoint(200, 150));
    QTest::mouseMove(splash, QPoint(260, 190));
    QTest::mouseRelease(splash, Qt::RightButton, {}, QPoint(260, 190));
    EXPECT_EQ(splash->pos(), before + QPoint(30, 20));

    // The timer waits for the folder window, then releases the splash about
    // a second later.
    EXPECT_FALSE(splash->STimer->isActive());
    QTest::qWait(200);
    EXPECT_TRUE(splash);
    app::startSplashTimer(state);
    EXPECT_TRUE(splash->STimer->isActive());
    EXPECT_EQ(splash->STimer->interval(), 1000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return splash.isNull(); }, 3000));
    EXPECT_EQ(state.frmSSTTitl, nullptr);
}

// On a real X display (Xvfb), with and without a window manager: the mouse
// goes through the X server, as a person's does, sent by xdotool while this
// program is busy, so the press is handled only after the server has placed
// it (as while the windows are being made).
namespace {

bool runXdotool(const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess xdotool;
    xdotool.start(QStringLiteral("xdotool"), arguments);
    const bool ok = xdotool.waitForFinished(10000) && xdotool.exitCode() == 0;
    if (output)
        *output = xdotool.readAllStandardOutput();
    return ok;
}

// Where the X server has the window, whoever moved it: a window manager's
// move need not reach the window's own idea of its place.
QPoint placeOnScreen(QWidget* window)
{
    QByteArray out;
    if (!runXdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::number(window->winId())},
                    &out))
        return {-1, -1};
    QPoint p;
    for (const QByteArray& line : out.split('\n')) {
        if (line.startsWith("X="))
            p.setX(line.mid(2).toInt());
        else if (line.startsWith("Y="))
            p.setY(line.mid(2).toInt());
    }
    return p;
}

QStringList at(QPoint p)
{
    return {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y())};
}

}  // namespace

#define REQUIRE_X_INPUT()                                                                  \
    do {                                                                                   \
        if (QGuiApplication::platformName() != QLatin1String("xcb"))                       \
            GTEST_SKIP() << "needs an X display";                                          \
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())           \
            GTEST_SKIP() << "needs xdotool";                                               \
    } while (0)

TEST(SplashUnderX, APressAsTheFolderWindowShowsDragsTheSplashNotTheWindowBelow)
{
    REQUIRE_X_INPUT();
    AppState state;
    app::createWindows(state);
    QPointer<TfrmSSTTitl> splash = state.frmSSTTitl;
    ASSERT_TRUE(splash);
    splash->STimer->stop();  // kept up however slowly the machine runs
    // The folder window has just been shown, under the middle of the splash.
    const QPoint grab = splash->mapToGlobal(splash->rect().center());
    ASSERT_TRUE(state.frmSub->frameGeometry().contains(grab));
    const QPoint before = placeOnScreen(splash);
    ASSERT_TRUE(runXdotool(at(grab) + QStringList{QStringLiteral("mousedown"), QStringLiteral("1")} +
                           at(grab + QPoint(40, 30)) + QStringList{QStringLiteral("mouseup"), QStringLiteral("1")}));
    (void)QTest::qWaitFor([&] { return placeOnScreen(splash) == before + QPoint(40, 30); }, 1000);
    EXPECT_EQ(placeOnScreen(splash), before + QPoint(40, 30));
    EXPECT_TRUE(state.frmSub->tvFoldr->selectedPath().isEmpty());
    app::destroyWindows(state);
}

TEST(SplashUnderX, AClickHandledLateLeavesTheSplashWhereItIs)
{
    REQUIRE_X_INPUT();
    AppState state;
    app::createSplash(state);
    QPointer<TfrmSSTTitl> splash = state.frmSSTTitl;
    ASSERT_TRUE(splash);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(splash));
    const QPoint before = placeOnScreen(splash);
    const QPoint grab = splash->mapToGlobal(splash->rect().center());
    // Pressed and released before the splash sees the press.
    ASSERT_TRUE(runXdotool(at(grab) + QStringList{QStringLiteral("click"), QStringLiteral("1")}));
    QTest::qWait(300);
    ASSERT_TRUE(runXdotool(at(grab + QPoint(80, 60))));
    QTest::qWait(300);
    EXPECT_EQ(placeOnScreen(splash), before);

    // A drag with the button held moves it, also under a window manager.
    ASSERT_TRUE(runXdotool(at(grab) + QStringList{QStringLiteral("mousedown"), QStringLiteral("1")}));
    QTest::qWait(100);
    ASSERT_TRUE(runXdotool(at(grab + QPoint(20, 10))));
    QTest::qWait(100);
    ASSERT_TRUE(runXdotool(at(grab + QPoint(50, 40)) + QStringList{QStringLiteral("mouseup"), QStringLiteral("1")}));
    (void)QTest::qWaitFor([&] { return placeOnScreen(splash) == before + QPoint(50, 40); }, 1000);
    EXPECT_EQ(placeOnScreen(splash), before + QPoint(50, 40));
    delete splash;
}
