// The viewer's plain rules: fitting, texts, list positions.
#include <gtest/gtest.h>

#include "viewer/viewer_logic.h"

using namespace viewer;

TEST(ViewerLogic, DrawingRectangles)
{
    const struct {
        QSize area, pic;
        bool center, prop, stretch;
        QRect want;
    } rows[] = {
        // Whole picture: large ones shrink, keeping proportions; small stay.
        {{1920, 1080}, {6000, 4000}, false, true, false, {0, 0, 1620, 1080}},
        {{1920, 1080}, {6000, 4000}, true, true, false, {150, 0, 1620, 1080}},
        {{1920, 1080}, {4000, 6000}, true, true, false, {600, 0, 720, 1080}},
        {{1000, 1000}, {3000, 1000}, true, true, false, {0, 333, 1000, 333}},
        {{1920, 1080}, {640, 480}, true, true, false, {640, 300, 640, 480}},
        {{1920, 1080}, {640, 480}, false, true, false, {0, 0, 640, 480}},
        // Square picture: the height decides first, then the width.
        {{800, 600}, {1000, 1000}, false, true, false, {0, 0, 600, 600}},
        // Stretch: fills, proportionally when whole picture is also on.
        {{1920, 1080}, {640, 480}, false, false, true, {0, 0, 1920, 1080}},
        {{1920, 1080}, {640, 480}, true, true, true, {240, 0, 1440, 1080}},
        // Neither: pixel for pixel; centring a large picture moves it left/up.
        {{800, 600}, {1000, 700}, true, false, false, {-100, -50, 1000, 700}},
        {{800, 600}, {1000, 700}, false, false, false, {0, 0, 1000, 700}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(pictureRect(r.area, r.pic, r.center, r.prop, r.stretch), r.want)
            << r.pic.width() << "x" << r.pic.height() << " in " << r.area.width() << "x" << r.area.height();
}

TEST(ViewerLogic, ReducedCopiesOnlyWhenThePictureShrinks)
{
    EXPECT_EQ(drawnSize({1920, 1080}, {6000, 4000}, true, false), QSize(1620, 1080));
    EXPECT_FALSE(drawnSize({1920, 1080}, {6000, 4000}, false, false).isValid());  // 1:1 view
    EXPECT_FALSE(drawnSize({1920, 1080}, {640, 480}, false, true).isValid());     // enlarged
    EXPECT_FALSE(drawnSize({1920, 1080}, {640, 480}, true, false).isValid());     // as is
}

TEST(ViewerLogic, PathShorteningChain)
{
    // One pixel per character makes every step visible.
    const auto chars = [](const QString& s) { return static_cast<int>(s.size()); };
    const QString win = QStringLiteral("C:\\Photos\\2023\\trip\\IMG.JPG");
    const struct {
        int max;
        const char* want;
    } winRows[] = {
        {100, "C:\\Photos\\2023\\trip\\IMG.JPG"},
        {26, "C:\\...\\2023\\trip\\IMG.JPG"},
        {20, "C:\\...\\trip\\IMG.JPG"},
        {15, "C:\\...\\IMG.JPG"},
        {12, "...\\IMG.JPG"},
        {10, "IMG.JPG"},
        {3, "IMG.JPG"},
    };
    for (const auto& r : winRows)
        EXPECT_EQ(shortenPath(win, chars, r.max, QLatin1Char('\\')), QString::fromUtf8(r.want)) << r.max;

    const QString unix = QStringLiteral("/home/u/Photos/IMG.JPG");
    const struct {
        int max;
        const char* want;
    } unixRows[] = {
        {100, "/home/u/Photos/IMG.JPG"},
        {21, "/.../u/Photos/IMG.JPG"},
        {19, "/.../Photos/IMG.JPG"},
        {18, "/.../IMG.JPG"},
        {11, ".../IMG.JPG"},
        {10, "IMG.JPG"},
    };
    for (const auto& r : unixRows)
        EXPECT_EQ(shortenPath(unix, chars, r.max, QLatin1Char('/')), QString::fromUtf8(r.want)) << r.max;
    EXPECT_EQ(shortenPath(QStringLiteral("IMG.JPG"), chars, 1, QLatin1Char('/')), QStringLiteral("IMG.JPG"));
}

TEST(ViewerLogic, SizeTexts)
{
    const struct {
        qint64 bytes;
        const char* want;
    } rows[] = {
        {0, "0バイト"},          {9999, "9,999バイト"},   {10000, "9.8KB"},
        {123456, "120.6KB"},     {10238976, "9,999KB"},   {10238977, "10MB"},
        {20000000, "19MB"},      {1024 * 1024 * 1500ll, "1,500MB"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(sizeText(r.bytes), QString::fromUtf8(r.want)) << r.bytes;
}

TEST(ViewerLogic, FileDatesAndTimerTexts)
{
    EXPECT_EQ(fileDateText(QDateTime(QDate(2023, 4, 5), QTime(9, 7, 31))), QStringLiteral("2023/04/05 9:07:30"));
    EXPECT_EQ(fileDateText(QDateTime(QDate(2023, 12, 31), QTime(23, 59, 58))), QStringLiteral("2023/12/31 23:59:58"));
    EXPECT_EQ(fileDateText(QDateTime(QDate(2023, 1, 2), QTime(0, 0, 1))), QStringLiteral("2023/01/02"));
    EXPECT_EQ(fileDateText(QDateTime(QDate(2023, 1, 2), QTime(0, 0, 2))), QStringLiteral("2023/01/02 0:00:02"));

    const struct {
        int s;
        const char* caption;
        int ms;
    } rows[] = {{20, "0:20", 20000}, {2020, "33:40", 2020000}, {0, "0:00", 500}, {61, "1:01", 61000}};
    for (const auto& r : rows) {
        EXPECT_EQ(timerCaption(r.s), QString::fromUtf8(r.caption));
        EXPECT_EQ(timerIntervalMs(r.s), r.ms);
    }
}

TEST(ViewerLogic, ListPositions)
{
    const struct {
        int count, want;
    } rows[] = {{0, 8}, {3, 8}, {8, 8}, {9, 9}, {30, 30}, {31, 30}, {200, 30}};
    for (const auto& r : rows)
        EXPECT_EQ(dropDownLength(r.count), r.want) << r.count;

    EXPECT_EQ(stepBackIndex(0, 3), 1);   // last on screen: the one before it
    EXPECT_EQ(stepBackIndex(1, 3), -1);  // first on screen: nothing
    EXPECT_EQ(stepBackIndex(2, 3), 0);
    EXPECT_EQ(stepBackIndex(0, 1), -1);

    EXPECT_EQ(scrollStep(0, 100, true), 10);
    EXPECT_EQ(scrollStep(89, 100, true), 99);
    EXPECT_EQ(scrollStep(90, 100, true), 100);
    EXPECT_EQ(scrollStep(11, 100, false), 1);
    EXPECT_EQ(scrollStep(10, 100, false), 0);
}
