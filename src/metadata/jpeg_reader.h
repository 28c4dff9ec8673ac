#pragma once
// Reads the metadata of a JPEG file held in memory and reports it to a sink.
#include <cstddef>
#include <cstdint>
#include <stdexcept>

#include "metadata/metadata_sink.h"

namespace metadata {

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
