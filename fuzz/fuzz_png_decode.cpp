// The libpng glue: the row-by-row reduced copy, and the full decode for
// small pictures.
#include "decoder_fuzz.h"
#include "imaging/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QSize claimed;
    try {
        QSize full;
        (void)imaging::decodePng(
            data, size,
            [&claimed](QSize s) {
                claimed = s;
                return fuzzsupport::thirdOf(s);
            },
            &full);
    } catch (const imaging::DecodeError&) {
    }
    if (fuzzsupport::small(claimed)) {
        try {
            QSize full;
            (void)imaging::decodePng(data, size, nullptr, &full);
        } catch (const imaging::DecodeError&) {
        }
    }
    return 0;
}
