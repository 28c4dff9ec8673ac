// Enhanced metafiles through libemf2svg and our SVG clean-up.
#include "decoder_fuzz.h"
#include "platform/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzsupport::ensureApplication();
    try {
        (void)platform::decodeEmf(data, size);
    } catch (const platform::DecodeError&) {
    }
    return 0;
}
