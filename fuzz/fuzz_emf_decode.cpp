// Enhanced metafiles through libemf2svg and our SVG clean-up.
#include "decoder_fuzz.h"
#include "imaging/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzsupport::ensureApplication();
    try {
        (void)imaging::decodeEmf(data, size);
    } catch (const imaging::DecodeError&) {
    }
    return 0;
}
