// The libjpeg glue at every DCT scale (1, 1/2, 1/4, 1/8) and the fit to the
// drawn size: 1/8 for every input, the larger scales for small pictures.
#include "decoder_fuzz.h"
#include "imaging/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QSize claimed;
    for (int denom : {8, 4, 2, 1}) {
        if (denom != 8 && !fuzzsupport::small(claimed))
            break;
        try {
            imaging::JpegInfo info;
            const auto drawn = [denom, &claimed](QSize full) {
                claimed = full;
                return denom == 1 ? QSize() : QSize(std::max(1, full.width() / denom), std::max(1, full.height() / denom));
            };
            (void)imaging::decodeJpeg(data, size, drawn, &info);
        } catch (const imaging::DecodeError&) {
        }
    }
    return 0;
}
