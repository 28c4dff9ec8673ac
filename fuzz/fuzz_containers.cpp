// Arbitrary bytes as every container that carries Exif: the ISO box walk
// with its item tables (HEIF, AVIF, CR3), WebP's chunks, JPEG XL's boxes
// (compressed ones inflated), TIFF raw files and RW2, then the Exif reader
// over what was found, the walk to a raw file's JPEG previews, and to a
// JPEG's Exif thumbnail, the HEVC parameter sets of a HEIF file, and the
// nesting check of ISO boxes.
#include <cstddef>
#include <cstdint>

#include "imaging/brotli_inflate.h"
#include "metadata/containers.h"
#include "metadata/picture_reader.h"
#include "metadata/string_sink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using metadata::Container;
    for (Container c : {Container::Tiff, Container::Rw2, Container::Isobmff, Container::Webp, Container::Jxl}) {
        metadata::NullSink sink;
        try {
            metadata::PictureRead(data, size, c, sink, {}, imaging::inflateBrotli);
        } catch (const metadata::MetadataError&) {
        }
        metadata::MemorySource source(data, size);
        for (const metadata::Extent& e : metadata::rawJpegPreviews(source, c))
            if (e.offset < 0 || e.size < 0 || e.offset > static_cast<int64_t>(size) ||
                e.size > static_cast<int64_t>(size) - e.offset)
                __builtin_trap();  // a preview outside the data
    }
    metadata::MemorySource source(data, size);
    const metadata::Extent thumbnail = metadata::jpegExifThumbnail(source);
    if (!thumbnail.empty() && (thumbnail.offset < 0 || thumbnail.offset > static_cast<int64_t>(size) ||
                               thumbnail.size > static_cast<int64_t>(size) - thumbnail.offset))
        __builtin_trap();  // a thumbnail outside the data
    (void)metadata::heifLargestCodedPixels(source);
    (void)metadata::isoBoxesNested(source);
    return 0;
}
