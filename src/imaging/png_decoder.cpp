// PNG through libpng, read from memory. Decoding ourselves keeps large
// pictures clear of Qt's image-reader allocation limit; our own bound is the
// absurd-size rule.
#include <QImage>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <memory>
#include <vector>

#include <png.h>

#include "imaging/format_readers.h"
#include "imaging/reduced_copy.h"

namespace imaging {

namespace {

struct MemoryReader {
    const uchar* data;
    size_t size;
    size_t pos;
};

void readData(png_structp png, png_bytep out, png_size_t length)
{
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (length > r->size - r->pos)
        png_error(png, "read past end");
    std::memcpy(out, r->data + r->pos, length);
    r->pos += length;
}

[[noreturn]] void pngError(png_structp png, png_const_charp)
{
    longjmp(png_jmpbuf(png), 1);
}

void pngWarning(png_structp, png_const_charp) {}

// Pixels of an untransformed row, one at a time, for the sampled reduced
// copy: libpng's transforms would convert every pixel of every row.
struct RawFormat {
    int colour = 0;
    int depth = 8;
    int channels = 1;
    const png_color* palette = nullptr;
    int paletteSize = 0;
    const png_byte* trans = nullptr;  // palette alpha
    int transSize = 0;
    const png_color_16* transColour = nullptr;  // grey or RGB key
    bool hasTrans = false;

    // Channel c of pixel x at full precision.
    uint32_t value(const uchar* row, int x, int c) const
    {
        const size_t i = size_t(x) * channels + c;
        if (depth == 16)
            return (uint32_t(row[2 * i]) << 8) | row[2 * i + 1];
        if (depth == 8)
            return row[i];
        const size_t bit = i * depth;
        return (row[bit >> 3] >> (8 - depth - (bit & 7))) & ((1u << depth) - 1);
    }
    int scaled(uint32_t v) const
    {
        if (depth == 16)
            return int(v >> 8);
        if (depth < 8)
            return int(v * 255 / ((1u << depth) - 1));
        return int(v);
    }
    QRgb pixel(const uchar* row, int x) const
    {
        switch (colour) {
        case PNG_COLOR_TYPE_PALETTE: {
            const uint32_t i = value(row, x, 0);
            const int a = int(i) < transSize ? trans[i] : 255;
            if (int(i) >= paletteSize)
                return qRgba(0, 0, 0, a);
            return qRgba(palette[i].red, palette[i].green, palette[i].blue, a);
        }
        case PNG_COLOR_TYPE_GRAY: {
            const uint32_t v = value(row, x, 0);
            const int g = scaled(v);
            return qRgba(g, g, g, hasTrans && transColour && v == transColour->gray ? 0 : 255);
        }
        case PNG_COLOR_TYPE_GRAY_ALPHA: {
            const int g = scaled(value(row, x, 0));
            return qRgba(g, g, g, scaled(value(row, x, 1)));
        }
        case PNG_COLOR_TYPE_RGB: {
            const uint32_t r = value(row, x, 0), g = value(row, x, 1), b = value(row, x, 2);
            const bool key = hasTrans && transColour && r == transColour->red && g == transColour->green &&
                             b == transColour->blue;
            return qRgba(scaled(r), scaled(g), scaled(b), key ? 0 : 255);
        }
        default:  // RGB with alpha
            return qRgba(scaled(value(row, x, 0)), scaled(value(row, x, 1)), scaled(value(row, x, 2)),
                         scaled(value(row, x, 3)));
        }
    }
};

// Rows and columns a sampled reduced copy takes per band and cell.
constexpr int kReducedSamples = 4;

// Finishes a reduced copy built outside the library's jump buffer, and frees
// it whatever finish throws.
QImage finishReduced(ReducedCopy* copy, QSize drawn)
{
    const std::unique_ptr<ReducedCopy> owned(copy);
    return owned->finish(drawn);
}

}  // namespace

QImage decodePng(const uchar* data, size_t size, const DrawnSizeFn& drawnSize, QSize* full)
{
    if (!data || size < 8 || png_sig_cmp(data, 0, 8) != 0)
        throw DecodeError("not a PNG");
    // Every chunk must lie within the file: libpng sizes some buffers from a
    // chunk's length before it reads the chunk.
    for (size_t pos = 8; pos < size;) {
        if (size - pos < 12)
            throw DecodeError("truncated PNG");
        const uint32_t length = (uint32_t(data[pos]) << 24) | (data[pos + 1] << 16) | (data[pos + 2] << 8) | data[pos + 3];
        if (length > size - pos - 12)
            throw DecodeError("truncated PNG");
        if (std::memcmp(data + pos + 4, "IEND", 4) == 0)
            break;
        pos += 12 + size_t(length);
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (!png)
        throw DecodeError("out of memory");
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        throw DecodeError("out of memory");
    }
    MemoryReader reader{data, size, 0};
    QImage* volatile result = nullptr;
    ReducedCopy* volatile copy = nullptr;
    png_bytep* volatile rows = nullptr;
    uchar* volatile row = nullptr;
    QRgb* volatile picked = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        delete result;
        delete copy;
        delete[] rows;
        delete[] row;
        delete[] picked;
        throw DecodeError("bad PNG data");
    }
    png_set_read_fn(png, &reader, readData);
    // Text and other ancillary chunks are not shown; keep their memory small.
    png_set_chunk_malloc_max(png, 8 * 1024 * 1024);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, colour = 0, interlace = 0;
    png_get_IHDR(png, info, &w, &h, &depth, &colour, &interlace, nullptr, nullptr);
    // Before any product of the sizes: within 2^27 each, the byte counts
    // below stay far inside 64 bits (libpng itself allows up to 2^31 - 1).
    if (w > 0x7FFFFFF || h > 0x7FFFFFF) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw DecodeError("absurd PNG size");
    }
    const QSize fullSize(static_cast<int>(w), static_cast<int>(h));
    const qint64 pixels = qint64(w) * h;
    const int k = drawnSize && pixels > 0 ? reductionFactor(fullSize, drawnSize(fullSize)) : 1;
    // The filtered rows, a filter byte each, come out of deflate.
    const qint64 raw = qint64(h) * ((qint64(w) * depth * png_get_channels(png, info) + 7) / 8 + 1);
    // libpng keeps two rows of the widest form (ours: 4 bytes a pixel).
    const qint64 libraryRows = qint64(w) * 8 * 2;
    const qint64 memory =
        (k > 1 ? ReducedCopy::costFor(fullSize, k) + qint64(w) * 4 : pixels * 4 + qint64(h) * 8) + libraryRows;
    try {
        checkDecodeBudget(pixels, raw <= encodablePixels(qint64(size), kDeflateBytesPerByte) ? pixels : 0, memory);
    } catch (const DecodeError&) {
        png_destroy_read_struct(&png, &info, nullptr);
        throw;
    }
    if (full)
        *full = fullSize;
    if (k > 1 && interlace == PNG_INTERLACE_NONE) {
        // Every row must be inflated, but only the sampled ones converted.
        png_read_update_info(png, info);
        RawFormat f;
        f.colour = colour;
        f.depth = depth;
        f.channels = png_get_channels(png, info);
        png_colorp palette = nullptr;
        png_get_PLTE(png, info, &palette, &f.paletteSize);
        f.palette = palette;
        png_bytep trans = nullptr;
        png_color_16p transColour = nullptr;
        f.hasTrans = png_get_tRNS(png, info, &trans, &f.transSize, &transColour) != 0;
        f.trans = trans;
        f.transColour = transColour;
        if (!f.palette)
            f.paletteSize = 0;
        if (!f.trans)
            f.transSize = 0;
        const size_t rowBytes = png_get_rowbytes(png, info);
        if (rowBytes < (size_t(w) * f.channels * depth + 7) / 8)
            png_error(png, "unexpected row layout");
        copy = new ReducedCopy(fullSize, k, (colour & PNG_COLOR_MASK_ALPHA) || f.hasTrans, kReducedSamples);
        const std::vector<int>& columns = copy->sampleColumns();
        row = new uchar[rowBytes];
        picked = new QRgb[columns.size() + 1];
        for (png_uint_32 y = 0; y < h; ++y) {
            png_read_row(png, row, nullptr);
            if (!copy->wantsRow(static_cast<int>(y)))
                continue;
            for (size_t i = 0; i < columns.size(); ++i)
                picked[i] = f.pixel(row, columns[i]);
            copy->addSampledRow(static_cast<int>(y), picked);
        }
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        delete[] row;
        delete[] picked;
        return finishReduced(copy, drawnSize(fullSize));
    }
    if (depth == 16)
        png_set_strip_16(png);
    if (colour == PNG_COLOR_TYPE_PALETTE)
        png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8)
        png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS))
        png_set_tRNS_to_alpha(png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    // A reduced copy of an interlaced picture reads the passes as they are
    // stored and keeps the last one, the odd rows at full width.
    const bool interlaced = interlace != PNG_INTERLACE_NONE;
    if (k == 1)
        png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const bool alpha = (colour & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
    if (png_get_rowbytes(png, info) != size_t(w) * 4)
        png_error(png, "unexpected row layout");
    if (k > 1) {
        copy = new ReducedCopy(fullSize, k, alpha);
        row = new uchar[size_t(w) * 4];
        if (interlaced) {
            for (int pass = 0; pass < 7; ++pass) {
                const png_uint_32 passRows = PNG_PASS_COLS(w, pass) ? PNG_PASS_ROWS(h, pass) : 0;
                for (png_uint_32 i = 0; i < passRows; ++i) {
                    png_read_row(png, row, nullptr);
                    if (pass == 6)
                        copy->addRow(static_cast<int>(PNG_PASS_START_ROW(6) + i * PNG_PASS_ROW_OFFSET(6)),
                                     reinterpret_cast<const QRgb*>(row));
                }
            }
        } else {
            for (png_uint_32 y = 0; y < h; ++y) {
                png_read_row(png, row, nullptr);
                copy->addRow(static_cast<int>(y), reinterpret_cast<const QRgb*>(row));
            }
        }
        png_read_end(png, nullptr);
        png_destroy_read_struct(&png, &info, nullptr);
        delete[] row;
        return finishReduced(copy, drawnSize(fullSize));
    }
    result = new QImage(static_cast<int>(w), static_cast<int>(h), alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (result->isNull())
        png_error(png, "out of memory");
    rows = new png_bytep[h];
    for (png_uint_32 y = 0; y < h; ++y)
        rows[y] = result->scanLine(static_cast<int>(y));
    png_read_image(png, rows);
    // Reading to the end catches a file cut off after its pixel data.
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    delete[] rows;
    QImage out = std::move(*result);
    delete result;
    return out;
}

DecodedPicture readPngPicture(const QByteArray& data, const DecodeRequest& request)
{
    DecodedPicture out;
    out.image = decodePng(bytesOf(data), sizeOf(data), request.drawnSize, &out.fullSize);
    out.reduced = out.image.size() != out.fullSize;
    return out;
}

}  // namespace imaging
