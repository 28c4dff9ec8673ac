// Arbitrary bytes as a Nikon maker note inside a valid Exif block.
#include "makernote_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzmn::runDecoder(metadata::NikonNoteRead, data, size);
    return 0;
}
