// Windows and OS/2 bitmaps, kept at their stored depth.
#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/format_readers.h"
#include "imaging/reduced_copy.h"

namespace imaging {

namespace {

class Reader {
public:
    Reader(const uchar* d, size_t n) : d_(d), n_(n) {}
    bool has(size_t pos, size_t len) const { return pos <= n_ && len <= n_ - pos; }
    uint32_t u16(size_t pos) const
    {
        need(pos, 2);
        return d_[pos] | (d_[pos + 1] << 8);
    }
    uint32_t u32(size_t pos) const
    {
        need(pos, 4);
        return d_[pos] | (d_[pos + 1] << 8) | (d_[pos + 2] << 16) | (uint32_t(d_[pos + 3]) << 24);
    }
    int32_t s32(size_t pos) const { return static_cast<int32_t>(u32(pos)); }
    void need(size_t pos, size_t len) const
    {
        if (!has(pos, len))
            throw DecodeError("truncated bitmap");
    }
    const uchar* at(size_t pos) const { return d_ + pos; }
    size_t size() const { return n_; }

private:
    const uchar* d_;
    size_t n_;
};

// Run-length data of 4- or 8-bit bitmaps, handed on row by row in file
// order (bottom-up unless stored top-down); rows the runs skip come as
// zeros. `sink(y, row)` takes the row in stored depth, y counted from the top.
template <typename Sink>
void decodeRle(const Reader& r, size_t pos, const Bitmap& geometry, bool bottomUp, Sink sink)
{
    const bool four = geometry.bpp == 4;
    const int width = geometry.width, height = geometry.height;
    std::vector<uint8_t> row(static_cast<size_t>(geometry.stride), 0);
    int x = 0, y = 0;
    auto put = [&](int v) {
        if (x < width) {
            if (four) {
                if (x & 1)
                    row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (v & 0x0F));
                else
                    row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | (v << 4));
            } else {
                row[x] = static_cast<uint8_t>(v);
            }
            ++x;
        }
    };
    // Hands on the current row and the skipped ones up to row `to`.
    auto advance = [&](int to) {
        to = std::min(to, height);
        while (y < to) {
            sink(bottomUp ? height - 1 - y : y, row.data());
            std::fill(row.begin(), row.end(), 0);
            ++y;
        }
    };
    for (;;) {
        r.need(pos, 2);
        const int count = r.at(pos)[0], code = r.at(pos)[1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(four ? ((i & 1) ? (code & 0x0F) : (code >> 4)) : code);
        } else if (code == 0) {  // end of line
            x = 0;
            advance(y + 1);
        } else if (code == 1) {  // end of bitmap
            advance(height);
            return;
        } else if (code == 2) {  // delta
            r.need(pos, 2);
            const int dx = r.at(pos)[0], dy = r.at(pos)[1];
            pos += 2;
            if (dy > 0)
                advance(y + dy);
            x = std::min(width, x + dx);
        } else {  // absolute run of `code` pixels, padded to a word
            const size_t bytes = four ? (code + 1) / 2 : code;
            r.need(pos, bytes);
            const uchar* p = r.at(pos);
            for (int i = 0; i < code; ++i)
                put(four ? ((i & 1) ? (p[i / 2] & 0x0F) : (p[i / 2] >> 4)) : p[i]);
            pos += (bytes + 1) & ~size_t(1);
        }
        if (y >= height)
            return;
    }
}

}  // namespace

Bitmap decodeBmp(const uchar* data, size_t size, const DrawnSizeFn& drawnSize, QImage* reduced, QSize* full)
{
    Reader r(data, size);
    r.need(0, 18);
    if (data[0] != 'B' || data[1] != 'M')
        throw DecodeError("not a bitmap");
    const uint32_t offBits = r.u32(10);
    const uint32_t headerSize = r.u32(14);
    int32_t width = 0, height = 0;
    uint32_t bpp = 0, compression = 0, colours = 0;
    size_t paletteEntry = 4;
    if (headerSize == 12) {  // OS/2 core header
        width = static_cast<int32_t>(r.u16(18));
        height = static_cast<int32_t>(r.u16(20));
        bpp = r.u16(24);
        paletteEntry = 3;
    } else if (headerSize >= 40 && headerSize <= 4096) {
        width = r.s32(18);
        height = r.s32(22);
        bpp = r.u16(28);
        compression = r.u32(30);
        colours = r.u32(46);
    } else {
        throw DecodeError("unknown bitmap header");
    }
    const bool bottomUp = height > 0;
    if (height == INT32_MIN)
        throw DecodeError("bad bitmap size");
    height = height < 0 ? -height : height;
    if (width <= 0 || height <= 0 || qint64(width) * height > kMaxPixels)
        throw DecodeError("absurd bitmap size");

    uint32_t masks[4] = {0, 0, 0, 0};
    bool useMasks = false;
    if (compression == 3 || compression == 6) {  // bit fields
        if (bpp != 16 && bpp != 32)
            throw DecodeError("bad bit fields");
        const size_t maskPos = headerSize >= 52 ? 54 : 14 + headerSize;
        const int n = compression == 6 || headerSize >= 56 ? 4 : 3;
        for (int i = 0; i < n; ++i)
            masks[i] = r.u32(maskPos + 4 * i);
        useMasks = true;
    } else if (compression == 1 && bpp != 8) {
        throw DecodeError("bad RLE8");
    } else if (compression == 2 && bpp != 4) {
        throw DecodeError("bad RLE4");
    } else if (compression > 3 && compression != 6) {
        throw DecodeError("unsupported compression");
    }
    if (!(bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32))
        throw DecodeError("bad bit count");

    const int storedStride = Bitmap::strideFor(width, static_cast<int>(bpp));
    const bool rle = compression == 1 || compression == 2;
    const qint64 need = qint64(storedStride) * height;
    if (offBits >= size)
        throw DecodeError("truncated bitmap");
    const qint64 available = qint64(size) - offBits;
    // Uncompressed rows must all be in the file; runs paint at most 255
    // pixels per two bytes.
    const qint64 pixels = qint64(width) * height;
    if (!rle && need > available)
        throw DecodeError("truncated bitmap");
    const int outBpp = bpp == 2 ? 8 : static_cast<int>(bpp);
    const QSize fullSize(width, height);
    const int k = drawnSize && reduced ? reductionFactor(fullSize, drawnSize(fullSize)) : 1;
    const qint64 outStride = Bitmap::strideFor(width, outBpp);
    // Full size: the stored-depth bitmap and its 32-bit copy; reduced: the
    // copy and a row or two.
    const qint64 memory = k > 1 ? ReducedCopy::costFor(fullSize, k) + outStride + qint64(width) * 4
                                : outStride * height + pixels * 4;
    checkDecodeBudget(pixels, rle ? encodablePixels(available, kRlePixelsPerByte) : pixels, memory);
    if (full)
        *full = fullSize;

    // The geometry, palette and masks of the rows as kept.
    Bitmap g;
    g.width = width;
    g.height = height;
    g.bpp = outBpp;
    g.stride = static_cast<int>(outStride);
    if (bpp <= 8) {
        const uint32_t maxColours = 1u << bpp;
        const uint32_t n = colours == 0 || colours > maxColours ? maxColours : colours;
        const size_t palPos = 14 + headerSize + (useMasks && headerSize == 40 ? 12 : 0);
        for (uint32_t i = 0; i < n; ++i) {
            const size_t p = palPos + i * paletteEntry;
            if (p + paletteEntry > offBits || !r.has(p, paletteEntry))
                break;
            const uchar* e = r.at(p);
            g.palette.push_back(qRgb(e[2], e[1], e[0]));
        }
        while (g.palette.size() < static_cast<int>(maxColours))
            g.palette.push_back(qRgb(0, 0, 0));
    }
    if (bpp == 16 && useMasks) {
        g.redMask = masks[0];
        g.greenMask = masks[1];
        g.blueMask = masks[2];
    }
    if (bpp == 32 && useMasks && masks[3])
        g.hasAlpha = true;

    // Stored row -> row as kept.
    const bool unusualOrder =
        useMasks && bpp == 32 && !(masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF);
    auto keepRow = [&](const uchar* src, uint8_t* dst) {
        if (bpp == 2) {
            for (int x = 0; x < width; ++x)
                dst[x] = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
        } else if (unusualOrder) {
            // Unusual channel order: store as plain blue-green-red-x words.
            for (int x = 0; x < width; ++x) {
                const uint32_t p = src[4 * x] | (src[4 * x + 1] << 8) | (src[4 * x + 2] << 16) | (uint32_t(src[4 * x + 3]) << 24);
                auto chan = [p](uint32_t m) -> uint8_t {
                    if (!m)
                        return 0;
                    int s = 0;
                    while (!((m >> s) & 1))
                        ++s;
                    const uint64_t v = (p & m) >> s, max = m >> s;
                    return static_cast<uint8_t>(v * 255 / max);
                };
                dst[4 * x] = chan(masks[2]);
                dst[4 * x + 1] = chan(masks[1]);
                dst[4 * x + 2] = chan(masks[0]);
                dst[4 * x + 3] = masks[3] ? chan(masks[3]) : 0xFF;
            }
        } else {
            std::memcpy(dst, src, static_cast<size_t>(storedStride));
        }
    };
    auto storedRow = [&](int y) { return r.at(offBits + size_t(bottomUp ? height - 1 - y : y) * storedStride); };

    if (k > 1) {
        ReducedCopy copy(fullSize, k, g.hasAlpha);
        std::vector<uint8_t> kept(static_cast<size_t>(outStride));
        std::vector<QRgb> rgb(static_cast<size_t>(width));
        auto add = [&](int y, const uint8_t* row) {
            g.rowToRgb(row, rgb.data());
            copy.addRow(y, rgb.data());
        };
        if (rle) {
            decodeRle(r, offBits, g, bottomUp, add);
        } else {
            // In file order, so that a band's rows come together either way.
            for (int i = 0; i < height; ++i) {
                const int y = bottomUp ? height - 1 - i : i;
                keepRow(storedRow(y), kept.data());
                add(y, kept.data());
            }
        }
        *reduced = copy.finish(drawnSize(fullSize));
        return Bitmap();
    }

    Bitmap b = Bitmap::blank(width, height, outBpp);
    if (b.bits.empty())
        throw DecodeError("out of memory");
    b.palette = g.palette;
    b.redMask = g.redMask;
    b.greenMask = g.greenMask;
    b.blueMask = g.blueMask;
    b.hasAlpha = g.hasAlpha;
    if (rle) {
        decodeRle(r, offBits, g, bottomUp, [&b](int y, const uint8_t* row) {
            std::memcpy(b.row(y), row, static_cast<size_t>(b.stride));
        });
        return b;
    }
    for (int y = 0; y < height; ++y)
        keepRow(storedRow(y), b.row(y));
    return b;
}

DecodedPicture readBmpPicture(const QByteArray& data, const DecodeRequest& request)
{
    DecodedPicture out;
    out.bitmap = decodeBmp(bytesOf(data), sizeOf(data), request.drawnSize, &out.image, &out.fullSize);
    if (!out.bitmap.isNull())
        out.image = out.bitmap.toImage();
    if (out.image.isNull())
        throw DecodeError("out of memory");
    out.reduced = out.image.size() != out.fullSize;
    return out;
}

}  // namespace imaging
