// The metadata of the picture formats beyond JPEG: the Exif found by the
// container walks goes through the JPEG's Exif reader.
#include "metadata/picture_reader.h"

#include <algorithm>

#include "metadata/exif_walk.h"

namespace metadata {

namespace {

// An inflated Exif box is no bigger than a JPEG's APP1 allows many times over.
constexpr size_t kInflatedExifLimit = 4 * 1024 * 1024;

bool copyOut(ByteSource& source, Extent e, int64_t limit, std::string& out)
{
    const int64_t n = std::min(e.size, limit);
    if (n <= 0)
        return false;
    out.resize(static_cast<size_t>(n));
    const int64_t got = source.readAt(e.offset, out.data(), n);
    out.resize(static_cast<size_t>(std::max<int64_t>(got, 0)));
    return got > 0;
}

void reportAfterWalk(ReaderState& st)
{
    st.sink.setGpsTexts(st.latitudeText, st.longitudeText);
    // A maker-note heading alone says nothing.
    if (st.infoLines.size() > 1)
        for (const std::string& line : st.infoLines) {
            if (!st.takeLine(line.size()))
                break;
            st.sink.addLine(line);
        }
}

}  // namespace

ExifBlob loadExif(ByteSource& source, Container container, const BrotliInflate& inflate)
{
    ExifBlob blob;
    const ExifPlace place = locateExif(source, container);
    switch (place.form) {
    case ExifPlace::Form::None:
        break;
    case ExifPlace::Form::JpegStream:
        if (copyOut(source, place.where, kJpegMetadataHead, blob.bytes))
            blob.form = place.form;
        break;
    case ExifPlace::Form::Tiff:
        if (!place.brotli) {
            if (copyOut(source, place.where, kTiffMetadataHead, blob.bytes))
                blob.form = place.form;
        } else if (inflate) {
            std::string packed, box;
            if (place.where.size <= int64_t(kInflatedExifLimit) &&
                copyOut(source, place.where, place.where.size, packed) &&
                inflate(reinterpret_cast<const uint8_t*>(packed.data()), packed.size(), kInflatedExifLimit, box)) {
                // The inflated box begins with the offset of its TIFF header.
                MemorySource inner(reinterpret_cast<const uint8_t*>(box.data()), box.size());
                uint8_t b[4];
                if (box.size() >= 4 && inner.readAt(0, b, 4) == 4) {
                    const uint64_t skip = uint64_t(b[0]) << 24 | uint64_t(b[1]) << 16 | uint64_t(b[2]) << 8 | b[3];
                    if (skip <= box.size() - 4) {
                        blob.bytes = box.substr(static_cast<size_t>(4 + skip));
                        blob.form = place.form;
                    }
                }
            }
        }
        break;
    case ExifPlace::Form::Cr3:
        for (int i = 0; i < 4; ++i) {
            std::string part;
            if (place.cr3[i].empty() || !copyOut(source, place.cr3[i], kJpegMetadataHead, part))
                continue;
            blob.blocks[i] = static_cast<int64_t>(blob.bytes.size());
            if (i == 2)
                blob.makerNoteSize = static_cast<int64_t>(part.size());
            blob.bytes += part;
        }
        if (!blob.bytes.empty())
            blob.form = place.form;
        break;
    }
    return blob;
}

void ExifBlobRead(const ExifBlob& blob, MetadataSink& sink, const ReadOptions& options)
{
    const auto* data = reinterpret_cast<const uint8_t*>(blob.bytes.data());
    switch (blob.form) {
    case ExifPlace::Form::None:
        sink.setGpsTexts({}, {});
        return;
    case ExifPlace::Form::JpegStream:
        JpegRead(data, blob.bytes.size(), sink, options);
        return;
    case ExifPlace::Form::Tiff:
    case ExifPlace::Form::Cr3: {
        ByteStream s(data, blob.bytes.size());
        ReaderState st(s, sink, options);
        sink.setGpsTexts({}, {});
        if (blob.form == ExifPlace::Form::Tiff) {
            ExifRead(st);
        } else {
            TiffBlocks b;
            b.ifd0 = blob.blocks[0];
            b.exif = blob.blocks[1];
            b.makerNote = blob.blocks[2];
            b.makerNoteSize = blob.makerNoteSize;
            b.gps = blob.blocks[3];
            ExifReadBlocks(st, b);
        }
        reportAfterWalk(st);
        return;
    }
    }
}

void PictureRead(const uint8_t* data, size_t size, Container container, MetadataSink& sink,
                 const ReadOptions& options, const BrotliInflate& inflate)
{
    if (container == Container::Jpeg) {
        JpegRead(data, size, sink, options);
        return;
    }
    MemorySource source(data, size);
    ExifBlobRead(loadExif(source, container, inflate), sink, options);
}

}  // namespace metadata
