// The splash: its rounded region, its window, its timer and its drag.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include "app/app_state.h"
#include "app/splash.h"
#include "platform/dpi.h"

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

    // Dragged by the mouse anywhere on it, the picture included.
    const QPoint before = splash->pos();
    const QPoint grab = splash->mapToGlobal(QPoint(200, 150));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(200, 150), QPointF(grab), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(splash, &press);
    const QPoint to = grab + QPoint(30, 20);
    QMouseEvent move(QEvent::MouseMove, QPointF(splash->mapFromGlobal(to)), QPointF(to), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(splash, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(splash->mapFromGlobal(to)), QPointF(to), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(splash, &release);
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
