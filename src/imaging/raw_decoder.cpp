// Raw camera files (CR2, CR3, NEF, RW2, DNG): the largest JPEG picture the
// camera embedded is shown, through the JPEG reader with its DCT scaling;
// only a file without one big enough is developed by LibRaw, at half size.
// Neither turns the picture: the Exif orientation does, as for a JPEG.
#include <algorithm>
#include <memory>
#include <vector>

#include "imaging/decoded_rows.h"
#include "imaging/format_readers.h"
#include "imaging/large_image.h"
#include "imaging/library_formats.h"

namespace imaging {

namespace {

// A preview is used when its longer side has at least this many pixels;
// the thumbnails beside it (160 x 120) are not.
constexpr int kUsablePreviewSide = 1000;

metadata::Container containerOf(const QByteArray& data)
{
    if (data.startsWith(QByteArrayLiteral("II*\0")) || data.startsWith(QByteArrayLiteral("MM\0*")))
        return metadata::Container::Tiff;
    if (data.startsWith(QByteArrayLiteral("IIU\0")))
        return metadata::Container::Rw2;
    if (data.size() >= 12 && data.mid(4, 4) == "ftyp")
        return metadata::Container::Isobmff;
    return metadata::Container::None;
}

// The index of the biggest preview whose size sizeOfPreview tells (the
// last of equals, as the structure lists the biggest last); -1 for none.
template <typename SizeOf>
int biggestPreview(const std::vector<metadata::Extent>& previews, SizeOf sizeOfPreview, QSize* size)
{
    int best = -1;
    for (int i = static_cast<int>(previews.size()) - 1; i >= 0; --i) {
        const QSize s = sizeOfPreview(previews[static_cast<size_t>(i)]);
        if (s.isValid() && qint64(s.width()) * s.height() > qint64(size->width()) * size->height()) {
            best = i;
            *size = s;
        }
    }
    return best;
}

bool usable(QSize preview) { return std::max(preview.width(), preview.height()) >= kUsablePreviewSide; }

}  // namespace

DecodedPicture readRawPicture(const QByteArray& data, const DecodeRequest& request)
{
    DecodedPicture out;
    auto decodeJpegAt = [&](const uchar* jpeg, size_t size) {
        JpegInfo info;
        out.image = decodeJpeg(jpeg, size, request.drawnSize, &info);
        out.fullSize = info.size;
        out.scaleDenom = info.scaleDenom;
        out.reduced = out.image.size() != out.fullSize;
    };
    // The preview alone, as rawPreviewPart reads it from the file.
    if (data.startsWith(QByteArrayLiteral("\xFF\xD8"))) {
        decodeJpegAt(bytesOf(data), sizeOf(data));
        return out;
    }
    const metadata::Container container = containerOf(data);
    metadata::MemorySource source(bytesOf(data), sizeOf(data));
    const std::vector<metadata::Extent> previews = metadata::rawJpegPreviews(source, container);
    QSize bestSize;
    const int best = biggestPreview(previews, [&](const metadata::Extent& e) {
        return jpegPictureSize(bytesOf(data) + e.offset, static_cast<size_t>(e.size));
    }, &bestSize);
    // The biggest JPEG that decodes; a thumbnail is kept for a file whose
    // raw data does not develop.
    auto decodePreview = [&] {
        const metadata::Extent& e = previews[static_cast<size_t>(best)];
        decodeJpegAt(bytesOf(data) + e.offset, static_cast<size_t>(e.size));
    };
    if (best >= 0 && usable(bestSize)) {
        decodePreview();
        return out;
    }
    try {
        out.image = libraryFormats().developRaw(data, request, &out.fullSize, &out.reduced);
        return out;
    } catch (const DecodeError&) {
        if (best < 0)
            throw;
    }
    decodePreview();
    return out;
}

QByteArray rawPreviewPart(metadata::ByteSource& file, metadata::Container container)
{
    const std::vector<metadata::Extent> previews = metadata::rawJpegPreviews(file, container);
    // A JPEG's size is told by its first segments; a camera's preview keeps
    // them well within this.
    constexpr int64_t kHead = 128 * 1024;
    QByteArray head;
    QSize bestSize;
    const int best = biggestPreview(previews, [&](const metadata::Extent& e) {
        head.resize(static_cast<qsizetype>(std::min(e.size, kHead)));
        if (file.readAt(e.offset, head.data(), head.size()) != head.size())
            return QSize();
        return jpegPictureSize(bytesOf(head), sizeOf(head));
    }, &bestSize);
    if (best < 0 || !usable(bestSize))
        return {};
    const metadata::Extent& e = previews[static_cast<size_t>(best)];
    QByteArray jpeg = largeByteArray(static_cast<qsizetype>(e.size));
    if (file.readAt(e.offset, jpeg.data(), jpeg.size()) != jpeg.size())
        return {};
    return jpeg;
}

}  // namespace imaging
