#include "imaging/bitmap.h"

#include <cstring>

namespace imaging {

Bitmap Bitmap::blank(int width, int height, int bpp)
{
    Bitmap b;
    b.width = width;
    b.height = height;
    b.bpp = bpp;
    b.stride = strideFor(width, bpp);
    b.bits.assign(static_cast<size_t>(b.stride) * height, 0);
    return b;
}

namespace {

int maskShift(uint32_t mask)
{
    int s = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++s;
    }
    return s;
}

// A colour mask of a 16-bit pixel, scaled to 0..255. The maximum is taken
// from the mask itself in 64 bits: a mask of all 32 bits is legal in a
// file, and a gap-free assumption or a 32-bit shift would divide by zero.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint64_t max = 0;
    explicit Channel(uint32_t m) : mask(m), shift(maskShift(m)), max(m ? uint64_t(m) >> maskShift(m) : 0) {}
    uint8_t operator()(uint32_t pixel) const
    {
        if (!max)
            return 0;
        const uint64_t v = uint64_t(pixel & mask) >> shift;
        return static_cast<uint8_t>((v * 255 + max / 2) / max);
    }
};

QRgb paletteAt(const QVector<QRgb>& palette, int index)
{
    return index < palette.size() ? palette[index] : qRgb(0, 0, 0);
}

}  // namespace

void Bitmap::rowToRgb(const uint8_t* s, QRgb* d) const
{
    switch (bpp) {
    case 1:
        for (int x = 0; x < width; ++x)
            d[x] = paletteAt(palette, (s[x >> 3] >> (7 - (x & 7))) & 1);
        break;
    case 4:
        for (int x = 0; x < width; ++x)
            d[x] = paletteAt(palette, (x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4));
        break;
    case 8:
        for (int x = 0; x < width; ++x)
            d[x] = paletteAt(palette, s[x]);
        break;
    case 16: {
        const Channel r(redMask), g(greenMask), b(blueMask);
        for (int x = 0; x < width; ++x) {
            const uint32_t p = s[2 * x] | (s[2 * x + 1] << 8);
            d[x] = qRgb(r(p), g(p), b(p));
        }
        break;
    }
    case 24:
        for (int x = 0; x < width; ++x)
            d[x] = qRgb(s[3 * x + 2], s[3 * x + 1], s[3 * x]);
        break;
    case 32:
        for (int x = 0; x < width; ++x)
            d[x] = hasAlpha ? qRgba(s[4 * x + 2], s[4 * x + 1], s[4 * x], s[4 * x + 3])
                            : qRgb(s[4 * x + 2], s[4 * x + 1], s[4 * x]);
        break;
    default:
        std::memset(d, 0, static_cast<size_t>(width) * 4);
    }
}

QImage Bitmap::toImage() const
{
    if (isNull())
        return QImage();
    QImage out(width, height, hasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return out;
    for (int y = 0; y < height; ++y)
        rowToRgb(row(y), reinterpret_cast<QRgb*>(out.scanLine(y)));
    return out;
}

Bitmap Bitmap::fromImage(const QImage& image)
{
    if (image.isNull())
        return Bitmap();
    const bool alpha = image.hasAlphaChannel();
    const QImage src = image.convertToFormat(alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    Bitmap b = blank(src.width(), src.height(), 32);
    b.hasAlpha = alpha;
    for (int y = 0; y < b.height; ++y)
        std::memcpy(b.row(y), src.constScanLine(y), static_cast<size_t>(b.width) * 4);
    return b;
}

namespace {

// Reads pixel x of a row as an integer of the row's depth.
inline uint32_t getPixel(const uint8_t* row, int x, int bpp)
{
    switch (bpp) {
    case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4: return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 8: return row[x];
    case 16: return row[2 * x] | (row[2 * x + 1] << 8);
    case 24: return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
    case 32: {
        uint32_t v;
        std::memcpy(&v, row + 4 * x, 4);
        return v;
    }
    }
    return 0;
}

// Writes pixel x, keeping the other pixels that share its byte.
inline void setPixel(uint8_t* row, int x, int bpp, uint32_t v)
{
    switch (bpp) {
    case 1: {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
        row[x >> 3] = static_cast<uint8_t>(v ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
        break;
    }
    case 4:
        if (x & 1)
            row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (v & 0x0F));
        else
            row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | ((v & 0x0F) << 4));
        break;
    case 8: row[x] = static_cast<uint8_t>(v); break;
    case 16:
        row[2 * x] = static_cast<uint8_t>(v);
        row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
        break;
    case 24:
        row[3 * x] = static_cast<uint8_t>(v);
        row[3 * x + 1] = static_cast<uint8_t>(v >> 8);
        row[3 * x + 2] = static_cast<uint8_t>(v >> 16);
        break;
    case 32: std::memcpy(row + 4 * x, &v, 4); break;
    }
}

}  // namespace

Bitmap RotateBitmap90(const Bitmap& s, int direction)
{
    const int ws = s.width, hs = s.height;
    Bitmap d = Bitmap::blank(hs, ws, s.bpp);
    d.palette = s.palette;
    d.redMask = s.redMask;
    d.greenMask = s.greenMask;
    d.blueMask = s.blueMask;
    d.hasAlpha = s.hasAlpha;
    const int b = d.bpp;
    if (s.isNull() || !(b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32))
        return d;
    if (b == 32) {
        // The common case, kept as plain word copies.
        for (int y = 0; y < ws; ++y) {
            uint32_t* drow = reinterpret_cast<uint32_t*>(d.row(y));
            if (direction == 2) {
                const int sx = ws - 1 - y;
                for (int x = 0; x < hs; ++x)
                    drow[x] = reinterpret_cast<const uint32_t*>(s.row(x))[sx];
            } else {
                for (int x = 0; x < hs; ++x)
                    drow[x] = reinterpret_cast<const uint32_t*>(s.row(hs - 1 - x))[y];
            }
        }
        return d;
    }
    for (int y = 0; y < ws; ++y) {
        uint8_t* drow = d.row(y);
        for (int x = 0; x < hs; ++x) {
            const uint32_t v = direction == 2 ? getPixel(s.row(x), ws - 1 - y, b) : getPixel(s.row(hs - 1 - x), y, b);
            setPixel(drow, x, b, v);
        }
    }
    return d;
}

}  // namespace imaging
