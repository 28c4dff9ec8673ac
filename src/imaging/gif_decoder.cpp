// GIF through giflib: the first picture of the file on its logical screen,
// transparent pixels in the background colour.
#include <QImage>

#include <algorithm>
#include <cstring>
#include <vector>

#include <gif_lib.h>

#include "imaging/format_readers.h"
#include "imaging/reduced_copy.h"

namespace imaging {

namespace {

struct MemoryReader {
    const uchar* data;
    size_t size;
    size_t pos;
};

int readData(GifFileType* gif, GifByteType* out, int length)
{
    auto* r = static_cast<MemoryReader*>(gif->UserData);
    if (length < 0)
        return 0;
    const size_t n = std::min(static_cast<size_t>(length), r->size - r->pos);
    std::memcpy(out, r->data + r->pos, n);
    r->pos += n;
    return static_cast<int>(n);
}

struct GifCloser {
    GifFileType* gif;
    ~GifCloser()
    {
        int err = 0;
        if (gif)
            DGifCloseFile(gif, &err);
    }
};

}  // namespace

QImage decodeGif(const uchar* data, size_t size, QColor background, const DrawnSizeFn& drawnSize, QSize* full)
{
    MemoryReader reader{data, size, 0};
    int err = 0;
    GifFileType* gif = DGifOpen(&reader, readData, &err);
    if (!gif)
        throw DecodeError("not a GIF");
    GifCloser closer{gif};
    int transparent = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR)
            throw DecodeError("bad GIF data");
        if (type == TERMINATE_RECORD_TYPE)
            throw DecodeError("GIF without a picture");
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* ext = nullptr;
            if (DGifGetExtension(gif, &code, &ext) == GIF_ERROR)
                throw DecodeError("bad GIF extension");
            // giflib reads a control block of exactly 4 bytes and leaves
            // the block unset for any other length.
            if (code == GRAPHICS_EXT_FUNC_CODE && ext) {
                GraphicsControlBlock gcb{};
                transparent = DGifExtensionToGCB(ext[0], ext + 1, &gcb) == GIF_OK ? gcb.TransparentColor : -1;
            }
            while (ext) {
                if (DGifGetExtensionNext(gif, &ext) == GIF_ERROR)
                    throw DecodeError("bad GIF extension");
            }
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE)
            continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR)
            throw DecodeError("bad GIF image");
        const GifImageDesc& d = gif->Image;
        int sw = gif->SWidth, sh = gif->SHeight;
        if (sw <= 0 || sh <= 0) {
            sw = d.Width;
            sh = d.Height;
        }
        // The frame is LZW data; the screen around it is only the
        // background, yet a screen the whole file could not fill is as much
        // a lie as such a frame.
        if (sw <= 0 || sh <= 0 || d.Width <= 0 || d.Height <= 0)
            throw DecodeError("absurd GIF size");
        const QSize screen(sw, sh);
        const qint64 encodable = encodablePixels(qint64(size), kGifPixelsPerByte);
        const qint64 framePixels = qint64(d.Width) * d.Height;
        const int k = drawnSize ? reductionFactor(screen, drawnSize(screen)) : 1;
        const qint64 memory =
            (k > 1 ? ReducedCopy::costFor(screen, k) + qint64(sw) * 4 : qint64(sw) * sh * 4) + qint64(d.Width);
        checkDecodeBudget(std::max(qint64(sw) * sh, framePixels), framePixels > encodable ? 0 : encodable, memory);
        if (full)
            *full = screen;
        const ColorMapObject* map = d.ColorMap ? d.ColorMap : gif->SColorMap;
        const QRgb fill = background.rgb();
        std::vector<GifPixelType> line(static_cast<size_t>(d.Width));
        auto drawLine = [&](QRgb* dst) {
            for (int i = 0; i < d.Width; ++i) {
                const int x = d.Left + i, c = line[i];
                if (x < 0 || x >= sw || c == transparent)
                    continue;
                if (map && c < map->ColorCount)
                    dst[x] = qRgb(map->Colors[c].Red, map->Colors[c].Green, map->Colors[c].Blue);
                else
                    dst[x] = qRgb(0, 0, 0);
            }
        };
        auto readLine = [&] {
            if (DGifGetLine(gif, line.data(), d.Width) == GIF_ERROR)
                throw DecodeError("bad GIF data");
        };
        QImage out;
        if (k > 1) {
            // Screen rows in order: the background above the frame, the
            // frame's rows (of an interlaced frame its last pass, the odd
            // rows), the background below.
            ReducedCopy copy(screen, k, false);
            std::vector<QRgb> row(static_cast<size_t>(sw), fill);
            auto addScreenRow = [&](int y, bool withLine) {
                std::fill(row.begin(), row.end(), fill);
                if (withLine)
                    drawLine(row.data());
                copy.addRow(y, row.data());
            };
            const int top = std::min(d.Top, sh);
            for (int y = 0; y < top; ++y)
                addScreenRow(y, false);
            if (d.Interlace) {
                static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
                for (int pass = 0; pass < 4; ++pass)
                    for (int r = start[pass]; r < d.Height; r += step[pass]) {
                        readLine();
                        if (pass == 3 && d.Top + r < sh)
                            addScreenRow(d.Top + r, true);
                    }
            } else {
                for (int r = 0; r < d.Height; ++r) {
                    readLine();
                    if (d.Top + r < sh)
                        addScreenRow(d.Top + r, true);
                }
            }
            for (int y = std::max(top, d.Top + d.Height); y < sh; ++y)
                addScreenRow(y, false);
            out = copy.finish(drawnSize(screen));
        } else {
            out = QImage(sw, sh, QImage::Format_RGB32);
            if (out.isNull())
                throw DecodeError("out of memory");
            out.fill(background);
            auto drawRow = [&](int r) {
                const int y = d.Top + r;
                if (y >= 0 && y < sh)
                    drawLine(reinterpret_cast<QRgb*>(out.scanLine(y)));
            };
            if (d.Interlace) {
                static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
                for (int pass = 0; pass < 4; ++pass)
                    for (int r = start[pass]; r < d.Height; r += step[pass]) {
                        readLine();
                        drawRow(r);
                    }
            } else {
                for (int r = 0; r < d.Height; ++r) {
                    readLine();
                    drawRow(r);
                }
            }
        }
        // The later frames are not shown, but a file cut off inside them is
        // as broken as one cut in the first.
        for (;;) {
            if (reader.pos >= reader.size)
                return out;  // no trailer byte: tolerated
            if (DGifGetRecordType(gif, &type) == GIF_ERROR)
                throw DecodeError("bad GIF data");
            if (type == TERMINATE_RECORD_TYPE)
                return out;
            GifByteType* block = nullptr;
            if (type == EXTENSION_RECORD_TYPE) {
                int code = 0;
                if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
                    throw DecodeError("bad GIF extension");
                while (block)
                    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                        throw DecodeError("bad GIF extension");
            } else if (type == IMAGE_DESC_RECORD_TYPE) {
                int codeSize = 0;
                if (DGifGetImageDesc(gif) == GIF_ERROR || DGifGetCode(gif, &codeSize, &block) == GIF_ERROR)
                    throw DecodeError("bad GIF image");
                while (block)
                    if (DGifGetCodeNext(gif, &block) == GIF_ERROR)
                        throw DecodeError("bad GIF image");
            }
        }
    }
}

DecodedPicture readGifPicture(const QByteArray& data, const DecodeRequest& request)
{
    DecodedPicture out;
    out.image = decodeGif(bytesOf(data), sizeOf(data), request.background, request.drawnSize, &out.fullSize);
    out.reduced = out.image.size() != out.fullSize;
    return out;
}

}  // namespace imaging
