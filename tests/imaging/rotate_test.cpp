// Turning bitmaps by 90 degrees at every stored depth.
#include <gtest/gtest.h>

#include "imaging/bitmap.h"

using imaging::Bitmap;
using imaging::RotateBitmap90;

namespace {

uint32_t pixelAt(const Bitmap& b, int x, int y)
{
    const uint8_t* r = b.row(y);
    switch (b.bpp) {
    case 1: return (r[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (r[x >> 1] & 0x0F) : (r[x >> 1] >> 4);
    case 8: return r[x];
    case 16: return r[2 * x] | (r[2 * x + 1] << 8);
    case 24: return r[3 * x] | (r[3 * x + 1] << 8) | (r[3 * x + 2] << 16);
    case 32: return r[4 * x] | (r[4 * x + 1] << 8) | (r[4 * x + 2] << 16) | (uint32_t(r[4 * x + 3]) << 24);
    }
    return 0;
}

void setAt(Bitmap& b, int x, int y, uint32_t v)
{
    uint8_t* r = b.row(y);
    switch (b.bpp) {
    case 1: r[x >> 3] = static_cast<uint8_t>((r[x >> 3] & ~(0x80 >> (x & 7))) | ((v & 1) << (7 - (x & 7)))); break;
    case 4:
        r[x >> 1] = (x & 1) ? static_cast<uint8_t>((r[x >> 1] & 0xF0) | (v & 15))
                            : static_cast<uint8_t>((r[x >> 1] & 0x0F) | ((v & 15) << 4));
        break;
    default:
        for (int i = 0; i < b.bpp / 8; ++i)
            r[x * (b.bpp / 8) + i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// A distinct value for every pixel, as far as the depth allows.
uint32_t valueFor(int x, int y, int bpp)
{
    const uint32_t v = static_cast<uint32_t>(x * 7 + y * 13 + x * y) * 2654435761u;
    return bpp == 32 ? v : v & ((1u << bpp) - 1);
}

}  // namespace

TEST(Rotation, EveryDepthTurnsBothWaysWithOddWidths)
{
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        for (const auto& [w, h] : {std::pair{7, 3}, std::pair{1, 5}, std::pair{13, 9}, std::pair{33, 2}}) {
            Bitmap s = Bitmap::blank(w, h, bpp);
            // Padding bytes full of ones must not leak into the turned picture.
            std::fill(s.bits.begin(), s.bits.end(), 0xFF);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    setAt(s, x, y, valueFor(x, y, bpp));
            s.palette = {qRgb(1, 2, 3), qRgb(4, 5, 6)};
            const Bitmap right = RotateBitmap90(s, 1);
            const Bitmap left = RotateBitmap90(s, 2);
            ASSERT_EQ(right.width, h);
            ASSERT_EQ(right.height, w);
            EXPECT_EQ(right.bpp, bpp);
            EXPECT_EQ(right.palette, s.palette);
            for (int y = 0; y < w; ++y)
                for (int x = 0; x < h; ++x) {
                    EXPECT_EQ(pixelAt(right, x, y), valueFor(y, h - 1 - x, bpp)) << bpp << " right " << x << "," << y;
                    EXPECT_EQ(pixelAt(left, x, y), valueFor(w - 1 - y, x, bpp)) << bpp << " left " << x << "," << y;
                }
            // Four right turns, and a left after a right, give the original.
            Bitmap back = RotateBitmap90(right, 2);
            Bitmap round = RotateBitmap90(RotateBitmap90(RotateBitmap90(right, 1), 1), 1);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    EXPECT_EQ(pixelAt(back, x, y), pixelAt(s, x, y));
                    EXPECT_EQ(pixelAt(round, x, y), pixelAt(s, x, y));
                }
        }
    }
}

TEST(Rotation, TurnedPicturesLookTurned)
{
    // A 3 x 2 picture with a red top-left corner: turned right, the red
    // pixel is at the top right; turned left, at the bottom left.
    QImage img(3, 2, QImage::Format_RGB32);
    img.fill(Qt::white);
    img.setPixel(0, 0, qRgb(255, 0, 0));
    const QImage r = RotateBitmap90(Bitmap::fromImage(img), 1).toImage();
    const QImage l = RotateBitmap90(Bitmap::fromImage(img), 2).toImage();
    ASSERT_EQ(r.size(), QSize(2, 3));
    EXPECT_EQ(r.pixel(1, 0), qRgb(255, 0, 0));
    EXPECT_EQ(l.pixel(0, 2), qRgb(255, 0, 0));
    // A depth the routine does not know copies nothing.
    Bitmap odd = Bitmap::blank(3, 3, 2);
    std::fill(odd.bits.begin(), odd.bits.end(), 0xFF);
    const Bitmap t = RotateBitmap90(odd, 1);
    EXPECT_TRUE(std::all_of(t.bits.begin(), t.bits.end(), [](uint8_t b) { return b == 0; }));
}
