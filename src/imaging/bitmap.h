#pragma once
// A device-independent bitmap: rows of pixels at the depth the file stored
// (1, 4, 8, 16, 24 or 32 bits), top row first, with its palette. A BMP keeps
// its depth so that turning a 1- or 4-bit picture moves bits and nibbles,
// not converted pixels.
#include <QImage>
#include <QVector>

#include <cstdint>
#include <vector>

namespace imaging {

struct Bitmap {
    int width = 0;
    int height = 0;
    int bpp = 0;
    int stride = 0;  // bytes per row, a multiple of 4
    std::vector<uint8_t> bits;
    QVector<QRgb> palette;
    // 16-bit pixels: the three colour masks (555 by default).
    uint32_t redMask = 0x7C00, greenMask = 0x03E0, blueMask = 0x001F;
    // 32-bit pixels carry alpha in the top byte.
    bool hasAlpha = false;

    bool isNull() const { return width <= 0 || height <= 0 || bits.empty(); }
    uint8_t* row(int y) { return bits.data() + static_cast<size_t>(y) * stride; }
    const uint8_t* row(int y) const { return bits.data() + static_cast<size_t>(y) * stride; }

    // In 64 bits: a width of millions at 32 bits a pixel overflows an int
    // before the division; decoders keep the result within an int.
    static int strideFor(int width, int bpp)
    {
        return static_cast<int>(((static_cast<qint64>(width) * bpp + 31) / 32) * 4);
    }
    // An all-zero bitmap of the given geometry (palette left empty).
    static Bitmap blank(int width, int height, int bpp);

    // For display and printing: a 32-bit picture.
    QImage toImage() const;
    // One row in this bitmap's depth, palette and masks, as 32-bit pixels.
    void rowToRgb(const uint8_t* source, QRgb* out) const;
    // A 32-bit bitmap from any picture.
    static Bitmap fromImage(const QImage& image);
};

// Turns a bitmap by 90 degrees: direction 1 turns right (clockwise), 2 turns
// left. The result is Hs x Ws with the same depth and palette; a pixel depth
// other than 1, 4, 8, 16, 24 or 32 copies nothing.
Bitmap RotateBitmap90(const Bitmap& source, int direction);

}  // namespace imaging
