// The libjpeg glue at every DCT scale (1, 1/2, 1/4, 1/8) and the fit to the
// drawn size: 1/8 for every input, the larger scales for small pictures;
// and the first look from the blocks' DC coefficients, which must come out
// at the size of libjpeg's 1/8 decode whenever both take the file.
#include <cstdlib>

#include "decoder_fuzz.h"
#include "imaging/jpeg_dc_look.h"
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
    const QImage look = imaging::jpegDcLook(data, size);
    if (!look.isNull() && fuzzsupport::small(claimed)) {
        try {
            imaging::JpegInfo info;
            const QImage eighth = imaging::decodeJpeg(data, size, {}, &info, 8);
            if (eighth.size() != look.size())
                std::abort();
        } catch (const imaging::DecodeError&) {
        }
    }
    return 0;
}
