// The giflib glue: the first frame on its screen, reduced, and full size
// for small screens.
#include "decoder_fuzz.h"
#include "imaging/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QSize screen;
    try {
        QSize full;
        (void)imaging::decodeGif(
            data, size, Qt::darkGray,
            [&screen](QSize s) {
                screen = s;
                return fuzzsupport::thirdOf(s);
            },
            &full);
    } catch (const imaging::DecodeError&) {
    }
    if (fuzzsupport::small(screen)) {
        try {
            QSize full;
            (void)imaging::decodeGif(data, size, Qt::darkGray, nullptr, &full);
        } catch (const imaging::DecodeError&) {
        }
    }
    return 0;
}
