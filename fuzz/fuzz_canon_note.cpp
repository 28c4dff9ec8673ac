// Arbitrary bytes as a Canon maker note inside a valid Exif block.
#include "makernote_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzmn::runDecoder(metadata::CanonNoteRead, data, size);
    return 0;
}
