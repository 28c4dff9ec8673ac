#pragma once
// Where a picture file keeps its Exif: the JPEG segments, a TIFF structure
// (raw files, the Exif of a HEIF item or a WebP chunk), the boxes of an ISO
// base media file (HEIF, AVIF, CR3), WebP's RIFF chunks or JPEG XL's boxes.
// These walks find the Exif and the embedded JPEG previews of raw files;
// they read only the bytes they need, through a ByteSource, and never
// outside the file.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace metadata {

enum class Container {
    None,     // no Exif (PNG, GIF, BMP, ICO, metafiles)
    Jpeg,     // APP1 segments
    Tiff,     // a TIFF structure from the first byte (CR2, NEF, DNG)
    Rw2,      // TIFF with its own magic; the Exif lies in the embedded JPEG
    Isobmff,  // HEIF, HEIC, AVIF, CR3
    Webp,     // RIFF chunks
    Jxl,      // JPEG XL boxes
};

// The container a file name's ending (case ignored) names.
Container containerForName(std::string_view fileName);

// The bytes of a file at any position, read on demand.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Copies up to n bytes at absolute position at; returns how many (fewer
    // at the end of the data, none outside it).
    virtual int64_t readAt(int64_t at, void* dest, int64_t n) = 0;
    // The size of the data; -1 when it cannot be told.
    virtual int64_t size() = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const uint8_t* data, size_t size) : data_(data), size_(static_cast<int64_t>(size)) {}
    int64_t readAt(int64_t at, void* dest, int64_t n) override;
    int64_t size() override { return size_; }

private:
    const uint8_t* data_;
    int64_t size_;
};

// A byte range of the file.
struct Extent {
    int64_t offset = 0;
    int64_t size = 0;
    bool empty() const { return size <= 0; }
};

// Where the Exif of one picture file lies.
struct ExifPlace {
    enum class Form {
        None,
        JpegStream,  // a whole JPEG file's segments at `where` (RW2's embedded JPEG)
        Tiff,        // a TIFF header at `where` (its offsets count from there)
        Cr3,         // Canon's four TIFF blocks: IFD0, Exif, maker note, GPS
    };
    Form form = Form::None;
    Extent where;
    // JPEG XL: the Exif box is Brotli-compressed; `where` holds the
    // compressed box contents (after the 4-byte type) and the TIFF header
    // offset comes first once inflated.
    bool brotli = false;
    // CR3: CMT1 (IFD0), CMT2 (Exif IFD), CMT3 (maker note), CMT4 (GPS IFD);
    // a missing block is empty.
    Extent cr3[4];
};

// Finds the Exif of a file of the given container. Reads at most what the
// walk needs.
ExifPlace locateExif(ByteSource& source, Container container);

// The JPEG pictures a raw file carries besides its raw data, biggest last
// as far as the structure tells (the decoder checks each it tries).
std::vector<Extent> rawJpegPreviews(ByteSource& source, Container container);

// The thumbnail a JPEG file's Exif carries (IFD1's JPEG stream, inside
// its APP1 segment), or an empty extent.
Extent jpegExifThumbnail(ByteSource& source);

// Whether the primary picture of a HEIF file (HEIC, AVIF) is derived
// soundly: every part is a picture item, a grid's tiles and an overlay's
// layers are coded pictures, an identity stands over at most one of those,
// no picture is made of itself, and there are at most a few thousand parts.
// Decoders follow the references as they stand: a grid made of itself
// sends them round without end, and an identity over an item that is no
// picture makes libheif assert.
bool heifDerivationSound(ByteSource& source);
// The largest picture, in pixels, that the HEVC and AV1 configurations of
// a HEIF or AVIF file say their coded pictures have (the width and height
// of each sequence parameter set in an hvcC box, the largest frame of each
// sequence header in an av1C box), 0 when none tells; -1 when one cannot
// be read. A coded picture far larger than the picture it makes
// up has the decoder allocate and convert it before anyone can look.
int64_t heifLargestCodedPixels(ByteSource& source);

// Whether every box of an ISO file (CR3) lies inside its parent, from the
// file down through the boxes that hold others (movie, track, media and
// sample tables, Canon's metadata box), no deeper than a camera nests them.
// Raw decoders follow a box that claims more than its parent holds back
// over its parent's bytes, for minutes.
bool isoBoxesNested(ByteSource& source);

// Inflates a Brotli stream (JPEG XL's compressed boxes). Given by the
// program where it has a Brotli decoder; false when the data is bad or the
// result would pass the limit.
using BrotliInflate = std::function<bool(const uint8_t* data, size_t size, size_t limit, std::string& out)>;

}  // namespace metadata
