// The libjpeg glue at every DCT scale (1, 1/2, 1/4, 1/8) and the fit to the
// drawn size.
#include "decoder_fuzz.h"
#include "platform/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int denom : {1, 2, 4, 8}) {
        try {
            platform::JpegInfo info;
            const auto drawn = [denom](QSize full) {
                return denom == 1 ? QSize() : QSize(std::max(1, full.width() / denom), std::max(1, full.height() / denom));
            };
            (void)platform::decodeJpeg(data, size, drawn, &info);
        } catch (const platform::DecodeError&) {
        }
    }
    return 0;
}
