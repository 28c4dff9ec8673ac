// The giflib glue: the first frame on its screen, full and reduced.
#include "decoder_fuzz.h"
#include "platform/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (bool reduced : {false, true}) {
        try {
            QSize full;
            (void)platform::decodeGif(data, size, Qt::darkGray,
                                      reduced ? platform::DrawnSizeFn(fuzzsupport::thirdOf) : nullptr, &full);
        } catch (const platform::DecodeError&) {
        }
    }
    return 0;
}
