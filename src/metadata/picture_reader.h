#pragma once
// The metadata of any picture file that carries Exif, read as for a JPEG:
// the same rules give the same lines for the same camera.
#include <cstddef>
#include <cstdint>
#include <string>

#include "metadata/containers.h"
#include "metadata/jpeg_reader.h"

namespace metadata {

// The bytes the metadata reader walks, copied out of a picture file.
struct ExifBlob {
    ExifPlace::Form form = ExifPlace::Form::None;
    std::string bytes;  // JpegStream: the JPEG's head; Tiff: the TIFF block
    // Cr3: the blocks one after another, and where each begins (-1: none).
    int64_t blocks[4] = {-1, -1, -1, -1};
    int64_t makerNoteSize = 0;
    bool empty() const { return form == ExifPlace::Form::None; }
    size_t byteCost() const { return bytes.size(); }
};

// A JPEG's metadata lies in its first segments; a TIFF block's IFDs and
// values are read within its first megabyte.
inline constexpr int64_t kJpegMetadataHead = 256 * 1024;
inline constexpr int64_t kTiffMetadataHead = 1024 * 1024;

// Copies what the reader walks from the file. A compressed Exif box is
// inflated by `inflate` where given (else it is absent).
ExifBlob loadExif(ByteSource& source, Container container, const BrotliInflate& inflate = {});

// Reports the metadata of the blob; throws MetadataError as JpegRead does.
void ExifBlobRead(const ExifBlob& blob, MetadataSink& sink, const ReadOptions& options);

// Both steps over a whole file held in memory.
void PictureRead(const uint8_t* data, size_t size, Container container, MetadataSink& sink,
                 const ReadOptions& options, const BrotliInflate& inflate = {});

}  // namespace metadata
