// HEIF, HEIC and AVIF through libheif: the primary picture, turned and
// mirrored as its properties say (once: the Exif orientation is not applied
// again).
#include <QThread>

#include <libheif/heif.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <thread>

#include "imaging/decoded_rows.h"
#include "imaging/format_readers.h"
#include "imaging/library_formats.h"
#include "imaging/reduced_copy.h"

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

// The YCbCr-to-RGB conversion the picture asks for, as libheif does it: the
// matrix of its colour profile (BT.601 where it names none) and its range.
struct Conversion {
    double crToR, cbToG, crToG, cbToB;
    double yScale, yOffset, cScale;

    explicit Conversion(const heif_image* image)
    {
        double kr = 0.299, kb = 0.114;
        bool fullRange = true;
        heif_color_profile_nclx* nclx = nullptr;
        if (heif_image_get_nclx_color_profile(image, &nclx).code == heif_error_Ok && nclx) {
            switch (nclx->matrix_coefficients) {
            case heif_matrix_coefficients_ITU_R_BT_709_5:
                kr = 0.2126, kb = 0.0722;
                break;
            case heif_matrix_coefficients_ITU_R_BT_2020_2_non_constant_luminance:
            case heif_matrix_coefficients_ITU_R_BT_2020_2_constant_luminance:
                kr = 0.2627, kb = 0.0593;
                break;
            default:
                break;
            }
            fullRange = nclx->full_range_flag != 0;
            heif_nclx_color_profile_free(nclx);
        }
        const double kg = 1 - kr - kb;
        crToR = 2 - 2 * kr;
        cbToB = 2 - 2 * kb;
        cbToG = 2 * kb * (1 - kb) / kg;
        crToG = 2 * kr * (1 - kr) / kg;
        yScale = fullRange ? 1 : 255.0 / 219;
        yOffset = fullRange ? 0 : 16;
        cScale = fullRange ? 1 : 255.0 / 224;
    }

    QRgb rgb(double y, double cb, double cr) const
    {
        y = (y - yOffset) * yScale;
        cb = (cb - 128) * cScale;
        cr = (cr - 128) * cScale;
        auto clamp = [](double v) { return std::clamp(static_cast<int>(v + 0.5), 0, 255); };
        return qRgb(clamp(y + crToR * cr), clamp(y - cbToG * cb - crToG * cr), clamp(y + cbToB * cb));
    }
};

// A picture drawn at 1/factor of its size or less, averaged down from the
// decoder's own 8-bit planes: RGB, grey, or YCbCr in 4:2:0, 4:2:2 or 4:4:4
// converted after the averaging. A factor's square fewer pixels are
// converted and no full-size interleaved copy is made. The rows are shared
// out over two threads. A null image when the planes are of another kind.
QImage reducedFromPlanes(const heif_image* image, QSize full, int factor)
{
    struct Plane {
        const uint8_t* data = nullptr;
        int stride = 0;
        int sx = 0, sy = 0;  // subsampling, as a shift
    } planes[3];
    const heif_colorspace space = heif_image_get_colorspace(image);
    const heif_chroma chroma = heif_image_get_chroma_format(image);
    heif_channel channels[3] = {heif_channel_R, heif_channel_G, heif_channel_B};
    int sx = 0, sy = 0;
    if (space == heif_colorspace_YCbCr) {
        channels[0] = heif_channel_Y, channels[1] = heif_channel_Cb, channels[2] = heif_channel_Cr;
        if (chroma == heif_chroma_420)
            sx = sy = 1;
        else if (chroma == heif_chroma_422)
            sx = 1;
        else if (chroma != heif_chroma_444)
            return {};
    } else if (space == heif_colorspace_monochrome && chroma == heif_chroma_monochrome) {
        channels[0] = channels[1] = channels[2] = heif_channel_Y;  // grey
    } else if (space != heif_colorspace_RGB || chroma != heif_chroma_444) {
        return {};
    }
    for (int i = 0; i < 3; ++i) {
        Plane& p = planes[i];
        if (i > 0)
            p.sx = sx, p.sy = sy;
        if (heif_image_get_bits_per_pixel_range(image, channels[i]) != 8)
            return {};
        p.data = heif_image_get_plane_readonly(image, channels[i], &p.stride);
        const int w = (full.width() + (1 << p.sx) - 1) >> p.sx, h = (full.height() + (1 << p.sy) - 1) >> p.sy;
        if (!p.data || p.stride < w || heif_image_get_width(image, channels[i]) < w ||
            heif_image_get_height(image, channels[i]) < h)
            throw DecodeError("bad HEIF planes");
    }
    if (heif_image_get_width(image, channels[0]) != full.width() ||
        heif_image_get_height(image, channels[0]) != full.height())
        throw DecodeError("bad HEIF planes");

    const int k = factor;
    QImage out((full.width() + k - 1) / k, (full.height() + k - 1) / k, QImage::Format_RGB32);
    if (out.isNull())
        throw DecodeError("out of memory");
    const bool ycbcr = space == heif_colorspace_YCbCr;
    const std::optional<Conversion> conv = ycbcr ? std::optional<Conversion>(image) : std::nullopt;
    // Each plane's columns for every reduced column, and their count.
    struct Columns {
        std::vector<int> from, to;
        std::vector<float> share;
        int width = 0;
    } columns[3];
    for (int i = 0; i < 3; ++i) {
        Columns& c = columns[i];
        const int s = planes[i].sx;
        c.width = (full.width() + (1 << s) - 1) >> s;
        for (int ox = 0; ox < out.width(); ++ox) {
            const int x0 = ox * k, x1 = std::min(x0 + k, full.width());
            const int px0 = x0 >> s, px1 = std::max(px0 + 1, (x1 + (1 << s) - 1) >> s);
            c.from.push_back(px0), c.to.push_back(px1), c.share.push_back(1.0f / float(px1 - px0));
        }
    }
    // A band of rows is first summed column by column (a loop the compiler
    // makes wide), then cell by cell.
    auto rows = [&](int from, int to) {
        std::vector<uint32_t> sums[3];
        for (int i = 0; i < 3; ++i)
            sums[i].resize(size_t(columns[i].width));
        for (int oy = from; oy < to; ++oy) {
            const int y0 = oy * k, y1 = std::min(y0 + k, full.height());
            float rowShare[3];
            for (int i = 0; i < 3; ++i) {
                const Plane& p = planes[i];
                const int py0 = y0 >> p.sy, py1 = std::max(py0 + 1, (y1 + (1 << p.sy) - 1) >> p.sy);
                rowShare[i] = 1.0f / float(py1 - py0);
                uint32_t* sum = sums[i].data();
                const int w = columns[i].width;
                const uint8_t* row = p.data + qsizetype(py0) * p.stride;
                for (int x = 0; x < w; ++x)
                    sum[x] = row[x];
                for (int y = py0 + 1; y < py1; ++y) {
                    row = p.data + qsizetype(y) * p.stride;
                    for (int x = 0; x < w; ++x)
                        sum[x] += row[x];
                }
            }
            QRgb* line = reinterpret_cast<QRgb*>(out.scanLine(oy));
            for (int ox = 0; ox < out.width(); ++ox) {
                float mean[3];
                for (int i = 0; i < 3; ++i) {
                    const Columns& c = columns[i];
                    const uint32_t* sum = sums[i].data();
                    uint64_t cell = 0;  // k columns of k rows: beyond 32 bits for a huge factor
                    for (int x = c.from[size_t(ox)], end = c.to[size_t(ox)]; x < end; ++x)
                        cell += sum[x];
                    mean[i] = float(cell) * c.share[size_t(ox)] * rowShare[i];
                }
                line[ox] = conv ? conv->rgb(mean[0], mean[1], mean[2])
                                : qRgb(int(mean[0] + 0.5f), int(mean[1] + 0.5f), int(mean[2] + 0.5f));
            }
        }
    };
    const int half = out.height() / 2;
    std::thread other([&] { rows(half, out.height()); });
    rows(0, half);
    other.join();
    return out;
}

}  // namespace

DecodedPicture readHeifPicture(const QByteArray& data, const DecodeRequest& request)
{
    // A grid made of itself (or of other grids) sends the library round
    // without end, a thread and a decoder at every turn.
    metadata::MemorySource source(bytesOf(data), sizeOf(data));
    if (!metadata::heifDerivationSound(source))
        throw DecodeError("bad picture structure");
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

    // What the decoder will allocate is the coded pictures' size, which a
    // few bytes of configuration set apart from the picture's: beyond the
    // codec's alignment and a crop, a coded picture is no larger than the
    // picture it makes up.
    const int64_t coded = metadata::heifLargestCodedPixels(source);
    if (coded < 0 || coded > std::max<int64_t>(4 * pixels, 64 * 64))
        throw DecodeError("bad picture structure");
    // So is the canvas of a grid or an overlay, which the library checks
    // only against its bound on a side: from here on that bound is the
    // picture's own longer side.
    heif_context_set_maximum_image_size_limit(ctx.get(), std::max(full.width(), full.height()) + 64);

    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;

    // Drawn at half its size or less, an 8-bit picture without alpha (a
    // phone's or camera's) is reduced from the planes the decoder makes
    // anyway: asked for any other layout, it would convert them whole.
    const QSize drawn = request.drawnSize ? request.drawnSize(full) : QSize();
    const int factor = reductionFactor(full, drawn);
    if (factor > 1 && !alpha && heif_image_handle_get_luma_bits_per_pixel(handle.get()) == 8) {
        check(heif_decode_image(handle.get(), &decoded, heif_colorspace_undefined, heif_chroma_undefined,
                                options.get()));
        std::unique_ptr<heif_image, ImageFree> planes(decoded);
        decoded = nullptr;
        const QImage reduced = reducedFromPlanes(planes.get(), full, factor);
        if (!reduced.isNull()) {
            DecodedPicture out;
            out.image = fitToDrawn(reduced, drawn);
            out.fullSize = full;
            out.reduced = true;
            out.oriented = true;
            return out;
        }
    }
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
