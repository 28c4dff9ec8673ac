// Arbitrary bytes through the whole metadata reading of a JPEG file: the
// segment walk, the Exif walk, every tag rule and the maker notes.
#include <cstddef>
#include <cstdint>

#include "metadata/jpeg_reader.h"
#include "metadata/string_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    metadata::NullSink sink;
    metadata::ReadOptions options;
    // The map choice only decides a sign; let the input pick it.
    options.useGoogleMap = size > 0 && (data[size - 1] & 1) != 0;
    try {
        metadata::JpegRead(data, size, sink, options);
    } catch (const metadata::MetadataError&) {
        // The viewer shows its error message for these.
    }
    return 0;
}
