// Arbitrary bytes through the whole metadata reading of a JPEG file: the
// segment walk, the Exif walk, every tag rule and the maker notes.
#include <cstddef>
#include <cstdint>

#include "metadata/jpeg_reader.h"
#include "metadata/string_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    metadata::NullSink sink;
    for (bool google : {false, true}) {
        metadata::ReadOptions options;
        options.useGoogleMap = google;
        try {
            metadata::JpegRead(data, size, sink, options);
        } catch (const metadata::MetadataError&) {
            // The viewer shows its error message for these.
        }
    }
    return 0;
}
