// JPEG XL through libjxl on every core: the first frame, turned as the
// picture says (the Exif orientation is not applied again).
#include <QThread>

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <memory>
#include <vector>

#include "imaging/decoded_rows.h"
#include "imaging/format_readers.h"
#include "imaging/library_formats.h"

namespace imaging {

namespace {

struct DecoderFree {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
constexpr qint64 kGroupPixels = 256 * 256;

struct RunnerFree {
    void operator()(void* r) const { JxlThreadParallelRunnerDestroy(r); }
};

}  // namespace

DecodedPicture readJxlPicture(const QByteArray& data, const DecodeRequest& request)
{
    std::unique_ptr<JxlDecoder, DecoderFree> dec(JxlDecoderCreate(nullptr));
    if (!dec)
        throw DecodeError("out of memory");
    // libjxl shares a picture among threads by its groups of 256 x 256
    // pixels: a picture no larger than one group's worth is decoded on this
    // thread, without starting threads that would have nothing to share.
    // Once the size shows a larger one, the decode starts again with them.
    std::unique_ptr<void, RunnerFree> runner;
    const auto start = [&] {
        if (JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
            (runner && JxlDecoderSetParallelRunner(dec.get(), JxlThreadParallelRunner, runner.get()) !=
                           JXL_DEC_SUCCESS) ||
            JxlDecoderSetInput(dec.get(), bytesOf(data), sizeOf(data)) != JXL_DEC_SUCCESS)
            throw DecodeError("bad JPEG XL data");
        JxlDecoderCloseInput(dec.get());
    };
    start();

    JxlBasicInfo info{};
    JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    std::vector<uint8_t> pixels;
    QSize full;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(dec.get());
        if (status == JXL_DEC_BASIC_INFO) {
            if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS)
                throw DecodeError("bad JPEG XL data");
            // Sides beyond what a QSize holds are refused by the pixel bound
            // anyway.
            if (info.xsize == 0 || info.ysize == 0 || info.xsize > 0xFFFFF || info.ysize > 0xFFFFF)
                throw DecodeError("bad JPEG XL size");
            full = QSize(static_cast<int>(info.xsize), static_cast<int>(info.ysize));
            // Turned a quarter, the picture comes out with its sides swapped.
            if (info.orientation >= JXL_ORIENT_TRANSPOSE)
                full.transpose();
            format.num_channels = info.alpha_bits ? 4 : 3;
            const qint64 n = qint64(info.xsize) * info.ysize;
            // The decoder keeps its planes in 32-bit floats, three or four
            // of them, besides the 8-bit copy.
            checkDecodeBudget(n, encodablePixels(data.size(), kSkipCodedPixelsPerByte), n * 16 + rowsPictureCost(full, 4));
            const int threads = QThread::idealThreadCount();
            if (!runner && n > kGroupPixels && threads > 1) {
                runner.reset(JxlThreadParallelRunnerCreate(nullptr, static_cast<size_t>(threads)));
                if (!runner)
                    throw DecodeError("out of memory");
                JxlDecoderReset(dec.get());
                start();
            }
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            size_t size = 0;
            if (full.isEmpty() || JxlDecoderImageOutBufferSize(dec.get(), &format, &size) != JXL_DEC_SUCCESS ||
                size != size_t(full.width()) * size_t(full.height()) * format.num_channels)
                throw DecodeError("bad JPEG XL data");
            pixels.resize(size);
            if (JxlDecoderSetImageOutBuffer(dec.get(), &format, pixels.data(), size) != JXL_DEC_SUCCESS)
                throw DecodeError("bad JPEG XL data");
        } else if (status == JXL_DEC_FULL_IMAGE) {
            break;  // the first frame is the picture
        } else {
            // Errors, input that ends early, and a stream that ends
            // without a picture.
            throw DecodeError("bad JPEG XL data");
        }
    }
    DecodedPicture out;
    const int channels = static_cast<int>(format.num_channels);
    out.image = pictureFromRows({pixels.data(), qsizetype(full.width()) * channels, full, channels}, request.drawnSize,
                                &out.reduced);
    out.fullSize = full;
    out.oriented = true;
    return out;
}

}  // namespace imaging
