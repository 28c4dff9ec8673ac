// HEIF, HEIC and AVIF through libheif: the primary picture, turned and
// mirrored as its properties say (once: the Exif orientation is not applied
// again).
#include <QThread>

#include <libheif/heif.h>

#include <memory>

#include "imaging/decoded_rows.h"
#include "imaging/format_readers.h"

namespace imaging {

namespace {

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

void check(const heif_error& e)
{
    if (e.code != heif_error_Ok)
        throw DecodeError(e.message ? e.message : "bad HEIF data");
}

}  // namespace

DecodedPicture readHeifPicture(const QByteArray& data, const DecodeRequest& request)
{
    std::unique_ptr<heif_context, ContextFree> ctx(heif_context_alloc());
    if (!ctx)
        throw DecodeError("out of memory");
    // The library's own bound on a side, before it allocates anything.
    heif_context_set_maximum_image_size_limit(ctx.get(), 65535);
    // Grid pictures (every phone's) decode their tiles on every core.
    heif_context_set_max_decoding_threads(ctx.get(), std::max(1, QThread::idealThreadCount()));
    check(heif_context_read_from_memory_without_copy(ctx.get(), data.constData(), sizeOf(data), nullptr));
    heif_image_handle* raw = nullptr;
    check(heif_context_get_primary_image_handle(ctx.get(), &raw));
    std::unique_ptr<heif_image_handle, HandleFree> handle(raw);

    const QSize full(heif_image_handle_get_width(handle.get()), heif_image_handle_get_height(handle.get()));
    if (full.isEmpty())
        throw DecodeError("no picture");
    const bool alpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const qint64 pixels = qint64(full.width()) * full.height();
    // The decoder's planes (up to 4:4:4 at 16 bits) and the interleaved copy.
    checkDecodeBudget(pixels, encodablePixels(data.size(), kSkipCodedPixelsPerByte),
                      pixels * 6 + rowsPictureCost(full, alpha ? 4 : 3));

    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    check(heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get()));
    std::unique_ptr<heif_image, ImageFree> image(decoded);
    int stride = 0;
    const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const QSize got(heif_image_get_width(image.get(), heif_channel_interleaved),
                    heif_image_get_height(image.get(), heif_channel_interleaved));
    if (!plane || got.isEmpty() || stride < got.width() * (alpha ? 4 : 3))
        throw DecodeError("no picture");

    DecodedPicture out;
    out.image = pictureFromRows({plane, stride, got, alpha ? 4 : 3}, request.drawnSize, &out.reduced);
    out.fullSize = got;
    out.oriented = true;
    return out;
}

}  // namespace imaging
