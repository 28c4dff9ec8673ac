#pragma once
// Reads the metadata of a JPEG file held in memory and reports it to a sink.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "metadata/metadata_sink.h"

namespace metadata {

// The front of a file the metadata is read from: the segments before the
// picture data end within the first 64 KB, the Exif block within another
// 64 KB; values beyond it are absent, in the viewer and in the tool alike.
inline constexpr size_t kMetadataHeadBytes = 256 * 1024;

struct ReadOptions {
    // The map choice: decides the sign written before positive positions.
    bool useGoogleMap = false;
};

// An error the viewer reports as a failed picture (for example a position
// that cannot be converted to a number).
class MetadataError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Walks the JPEG segments of data[0..size) and reports what it finds.
// Never reads outside the buffer. Throws MetadataError.
void JpegRead(const uint8_t* data, size_t size, MetadataSink& sink, const ReadOptions& options);

}  // namespace metadata
