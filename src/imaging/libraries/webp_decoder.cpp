// WebP through libwebp: lossy, lossless and extended files, scaled to the
// drawn size while decoding; of an animation, the first frame.
#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>

#include "imaging/decoded_rows.h"
#include "imaging/format_readers.h"
#include "imaging/library_formats.h"

namespace imaging {

namespace {

struct AnimFree {
    void operator()(WebPAnimDecoder* d) const { WebPAnimDecoderDelete(d); }
};

QImage firstFrame(const QByteArray& data, const DecodeRequest& request, QSize full, bool* reduced)
{
    WebPData bytes{bytesOf(data), sizeOf(data)};
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        throw DecodeError("bad WebP data");
    options.color_mode = MODE_RGBA;
    options.use_threads = 1;
    std::unique_ptr<WebPAnimDecoder, AnimFree> decoder(WebPAnimDecoderNew(&bytes, &options));
    WebPAnimInfo info;
    if (!decoder || !WebPAnimDecoderGetInfo(decoder.get(), &info))
        throw DecodeError("bad WebP data");
    const QSize canvas(static_cast<int>(info.canvas_width), static_cast<int>(info.canvas_height));
    if (canvas != full)
        throw DecodeError("bad WebP data");
    uint8_t* frame = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &frame, &timestamp) || !frame)
        throw DecodeError("bad WebP data");
    return pictureFromRows({frame, qsizetype(canvas.width()) * 4, canvas, 4}, request.drawnSize, reduced);
}

}  // namespace

DecodedPicture readWebpPicture(const QByteArray& data, const DecodeRequest& request)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        throw DecodeError("bad WebP data");
    if (WebPGetFeatures(bytesOf(data), sizeOf(data), &config.input) != VP8_STATUS_OK)
        throw DecodeError("bad WebP data");
    const QSize full(config.input.width, config.input.height);
    if (full.isEmpty())
        throw DecodeError("no picture");
    const bool alpha = config.input.has_alpha != 0;
    const qint64 pixels = qint64(full.width()) * full.height();
    // The decoder's YUV and alpha planes, and the picture.
    checkDecodeBudget(pixels, encodablePixels(data.size(), kSkipCodedPixelsPerByte), pixels * 6 + pixels * 4);

    DecodedPicture out;
    out.fullSize = full;
    if (config.input.has_animation) {
        out.image = firstFrame(data, request, full, &out.reduced);
        return out;
    }
    // libwebp scales while it decodes (area averaging), so the full-size
    // pixels are never held.
    QSize target = full;
    if (request.drawnSize) {
        const QSize drawn = request.drawnSize(full);
        if (drawn.isValid() && !drawn.isEmpty() && drawn.width() < full.width() && drawn.height() < full.height())
            target = drawn;
    }
    QImage image(target, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image.isNull())
        throw DecodeError("out of memory");
    if (target != full) {
        config.options.use_scaling = 1;
        config.options.scaled_width = target.width();
        config.options.scaled_height = target.height();
    }
    config.options.use_threads = 1;
    // Blue, green, red, alpha in memory is Qt's 32-bit pixel on a
    // little-endian machine; big-endian ones want alpha first.
    config.output.colorspace = QSysInfo::ByteOrder == QSysInfo::LittleEndian ? MODE_BGRA : MODE_ARGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = static_cast<int>(image.bytesPerLine());
    config.output.u.RGBA.size = static_cast<size_t>(image.sizeInBytes());
    const VP8StatusCode status = WebPDecode(bytesOf(data), sizeOf(data), &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK)
        throw DecodeError("bad WebP data");
    out.image = alpha ? image.convertToFormat(QImage::Format_ARGB32_Premultiplied) : image;
    out.reduced = target != full;
    return out;
}

}  // namespace imaging
