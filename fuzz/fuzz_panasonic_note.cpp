// Arbitrary bytes as a Panasonic maker note inside a valid Exif block.
#include "makernote_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzmn::runDecoder(metadata::PanasonicNoteRead, data, size);
    return 0;
}
