#include "platform/bitmap.h"

#include <cstring>

namespace platform {

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

int maskBits(uint32_t mask)
{
    mask >>= maskShift(mask);
    int n = 0;
    while (mask & 1) {
        mask >>= 1;
        ++n;
    }
    return n;
}

uint8_t expand(uint32_t pixel, uint32_t mask)
{
    if (!mask)
        return 0;
    const int bits = maskBits(mask);
    const uint32_t v = (pixel & mask) >> maskShift(mask);
    const uint32_t max = (1u << bits) - 1;
    return static_cast<uint8_t>((v * 255 + max / 2) / max);
}

QRgb paletteAt(const QVector<QRgb>& palette, int index)
{
    return index < palette.size() ? palette[index] : qRgb(0, 0, 0);
}

}  // namespace

QImage Bitmap::toImage() const
{
    if (isNull())
        return QImage();
    QImage out(width, height, hasAlpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        return out;
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = row(y);
        QRgb* d = reinterpret_cast<QRgb*>(out.scanLine(y));
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
        case 16:
            for (int x = 0; x < width; ++x) {
                const uint32_t p = s[2 * x] | (s[2 * x + 1] << 8);
                d[x] = qRgb(expand(p, redMask), expand(p, greenMask), expand(p, blueMask));
            }
            break;
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

}  // namespace platform
