// The page arithmetic on its own, against values worked out by hand for an
// A4 sheet at 150 dpi (1240 x 1754 dots) with 25 mm margins: k = 59,
// left = top = 147, right = 1093, page bottom = 1607, u = 5; a 9 point font
// is 19 dots high; every character of the test texts is 10 dots wide.
#include <gtest/gtest.h>

#include "print/page_layout.h"

using print::DrawMode;
using print::Edges;

namespace {

print::LayoutInput a4(int code, bool scale, bool full, int w, int h, const QString& text)
{
    print::LayoutInput in;
    in.pageWidth = 1240;
    in.pageHeight = 1754;
    in.fontHeight = -19;
    in.printTextCode = code;
    in.scale = scale;
    in.full = full;
    in.pictureWidth = w;
    in.pictureHeight = h;
    in.text = text;
    in.textWidth = [](const QString& s) { return 10 * static_cast<int>(s.size()); };
    return in;
}

struct Line {
    int length;
    int y;
};

struct Case {
    const char* name;
    int code;
    bool scale, full;
    int w, h;
    int textLength;
    DrawMode mode;
    Edges source, dest;
    std::vector<Line> lines;
    bool opaque;
    bool pictureOverflows;
};

// What the case lays out, after its name in the test's name.
void PrintTo(const Case& c, std::ostream* os)
{
    *os << "text code " << c.code << (c.scale ? ", fitted" : "") << (c.full ? ", filled" : "") << ", " << c.w << 'x'
        << c.h << ", " << c.textLength << " characters";
}

class LayoutTable : public ::testing::TestWithParam<Case> {};

TEST_P(LayoutTable, PlacesPictureAndText)
{
    const Case& c = GetParam();
    const print::PageLayout l = print::layoutPage(a4(c.code, c.scale, c.full, c.w, c.h, QString(c.textLength, u'a')));
    ASSERT_TRUE(l.valid);
    EXPECT_EQ(l.k, 59);
    EXPECT_EQ(l.left, 147);
    EXPECT_EQ(l.right, 1093);
    EXPECT_EQ(l.pageBottom, 1607);
    EXPECT_EQ(l.mode, c.mode);
    EXPECT_EQ(l.source, c.source);
    EXPECT_EQ(l.dest, c.dest);
    EXPECT_EQ(l.pictureOverflows, c.pictureOverflows);
    ASSERT_EQ(l.lines.size(), c.lines.size());
    for (size_t i = 0; i < c.lines.size(); ++i) {
        EXPECT_EQ(l.lines[i].x, 157) << i;
        EXPECT_EQ(l.lines[i].y, c.lines[i].y) << i;
        EXPECT_EQ(l.lines[i].text.size(), c.lines[i].length) << i;
    }
    if (!c.lines.empty()) {
        EXPECT_EQ(l.opaqueText, c.opaque);
    }
}

// Fit, landscape: height (946*10*300 div 400) div 10 = 709.
// Crop, square 300: srcW = (300*946*10 div 1420) div 10 = 199, excess 101:
// 50 cut at the left, 51 at the right.
// Crop, 300 x 1001 below text: srcH = (300*1420*10 div 946) div 10 = 450,
// excess 551: 275 cut at the top, 276 at the bottom.
// Fit, 300 x 1000 with text below: right edge 147 + (300*1420*10 div 1000) div 10.
// A 100-character title splits after 92 characters ((92+1)*10 > 946 - 19).
const Case kCases[] = {
    {"defaults_landscape", 19, true, false, 400, 300, 20, DrawMode::Fit, {0, 0, 400, 300}, {147, 147, 1093, 856},
     {{20, 857}}, true, false},
    {"over_picture", 3, true, false, 400, 300, 20, DrawMode::Fit, {0, 0, 400, 300}, {147, 147, 1093, 856},
     {{20, 856 - 5 - 19}}, false, false},
    {"split_below", 18, true, false, 400, 300, 100, DrawMode::Fit, {0, 0, 400, 300}, {147, 147, 1093, 856},
     {{92, 857}, {8, 856 + 2 + 19}}, true, false},
    {"split_over", 2, true, false, 400, 300, 100, DrawMode::Fit, {0, 0, 400, 300}, {147, 147, 1093, 856},
     {{92, 851 - 38 + 1}, {8, 851 - 19}}, false, false},
    {"crop_square_odd_excess", 19, true, true, 300, 300, 2, DrawMode::Crop, {50, 0, 249, 300},
     {147, 147, 1093, 1567}, {{2, 1568}}, true, false},
    {"crop_tall_odd_excess", 19, true, true, 300, 1001, 2, DrawMode::Crop, {0, 275, 300, 725},
     {147, 147, 1093, 1567}, {{2, 1568}}, true, false},
    {"fit_tall", 19, true, false, 300, 1000, 2, DrawMode::Fit, {0, 0, 300, 1000}, {147, 147, 573, 1567},
     {{2, 1568}}, true, false},
    {"pixels_larger_than_area", 19, false, false, 2000, 1000, 2, DrawMode::PixelForPixel, {0, 0, 946, 1000},
     {147, 147, 1093, 1147}, {{2, 1148}}, true, true},
    {"pixels_small", 3, false, false, 200, 100, 2, DrawMode::PixelForPixel, {0, 0, 200, 100},
     {147, 147, 347, 247}, {{2, 247 - 5 - 19}}, false, false},
    {"full_ignored_without_scale", 19, false, true, 200, 100, 0, DrawMode::PixelForPixel, {0, 0, 200, 100},
     {147, 147, 347, 247}, {}, true, false},
    {"no_text_code", 0, true, false, 400, 300, 20, DrawMode::Fit, {0, 0, 400, 300}, {147, 147, 1093, 856}, {},
     false, false},
};

INSTANTIATE_TEST_SUITE_P(A4, LayoutTable, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PageLayout, WarnsOnlyWhenTheSecondLineStillOverflows)
{
    // Line 2 of a 180-character title is 88 characters: fits 946 - 20.
    EXPECT_FALSE(print::layoutPage(a4(18, true, false, 400, 300, QString(180, u'a'))).titleOverflows);
    // Of 200 characters, line 2 is 108 characters, 1080 dots.
    EXPECT_TRUE(print::layoutPage(a4(18, true, false, 400, 300, QString(200, u'a'))).titleOverflows);
    // Nothing is cut into more than two lines; the rest is clipped.
    const print::PageLayout l = print::layoutPage(a4(18, true, false, 400, 300, QString(200, u'a')));
    ASSERT_EQ(l.lines.size(), 2u);
    EXPECT_TRUE(l.lines[1].clipped);
    EXPECT_EQ(l.lines[1].clip, (Edges{157, l.lines[1].y, 1093, 1607}));
}

TEST(PageLayout, SplitNeverCutsASurrogatePair)
{
    // 92 characters would fit, but the 92nd is the first half of a pair.
    QString t(91, u'a');
    t += QString::fromUcs4(U"\U0001F600");
    t += QString(20, u'b');
    const print::PageLayout l = print::layoutPage(a4(18, true, false, 400, 300, t));
    ASSERT_EQ(l.lines.size(), 2u);
    EXPECT_EQ(l.lines[0].text.size(), 91);
    EXPECT_TRUE(l.lines[1].text.at(0).isHighSurrogate());
}

TEST(PageLayout, RefusesWhatCannotBeLaidOut)
{
    EXPECT_FALSE(print::layoutPage(a4(19, true, false, 0, 300, {})).valid);
    print::LayoutInput wide = a4(19, true, true, 300, 300, {});
    wide.setup.marginLeft = 20000;  // margins wider than the page
    EXPECT_FALSE(print::layoutPage(wide).valid);
    print::LayoutInput noSetup = a4(19, true, false, 300, 300, {});
    noSetup.setup.pageWidth = 0;
    EXPECT_FALSE(print::layoutPage(noSetup).valid);
}

TEST(PageLayout, LargePicturesOnAFinePrinterKeepTheirProportions)
{
    // 1200 dpi A4 with a 40000 x 62000 picture: the products pass 2^31.
    print::LayoutInput in = a4(0, true, false, 40000, 62000, {});
    in.pageWidth = 9921;
    in.pageHeight = 14031;
    const print::PageLayout l = print::layoutPage(in);
    ASSERT_TRUE(l.valid);
    EXPECT_GT(l.dest.width(), 0);
    EXPECT_LE(l.dest.right, l.right);
    EXPECT_EQ(l.dest.bottom, l.pageBottom);
    EXPECT_NEAR(double(l.dest.width()) / l.dest.height(), 40000.0 / 62000.0, 0.001);

    in.full = true;
    const print::PageLayout c = print::layoutPage(in);
    EXPECT_EQ(c.source.left, 0);
    EXPECT_GT(c.source.top, 0);
    EXPECT_NEAR(double(c.source.width()) / c.source.height(), double(c.availW) / c.availH, 0.001);
}

TEST(PrintText, DateOnlyWhenItCameFromThePicture)
{
    struct Row {
        int code;
        bool red;
        const char* expected;
    };
    const Row rows[] = {{19, true, "D  T"}, {19, false, "  T"}, {17, false, ""}, {1, false, ""},
                        {18, true, "T"},    {0, true, ""}};  // no text chosen: nothing to split or warn about
    for (const Row& r : rows)
        EXPECT_EQ(print::composePrintText(r.code, QStringLiteral("D"), r.red, QStringLiteral("T")),
                  QString::fromUtf8(r.expected))
            << r.code << " " << r.red;
}

}  // namespace
