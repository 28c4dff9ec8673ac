#include "imaging/decode_budget.h"

#include <limits>

#include "imaging/picture_decoder.h"

namespace imaging {

namespace {

constexpr qint64 kMB = 1024 * 1024;

struct FileCap {
    PictureKind kind;
    qint64 bytes;
};

// Camera JPEGs: 24 MP about 12 MB, 61 MP about 35 MB, 100 MP medium format
// 60-110 MB at their finest setting (the sample pictures' largest: 2.2 MB).
// PNG and BMP hold uncompressed scans and panoramas (an A4 page at 600 dpi
// is 105 MB as a 24-bit BMP). Icons are a few 256 x 256 entries; metafiles
// rarely pass 10 MB. HEIF, WebP and JPEG XL compress better than JPEG (WebP
// stops at 16383 x 16383 pixels). Raw files reach about 150 MB (a 150 MP
// back, a 100 MP camera uncompressed).
constexpr FileCap kFileCaps[] = {
    {PictureKind::Jpeg, 256 * kMB},
    {PictureKind::Png, 512 * kMB},
    {PictureKind::Bmp, 512 * kMB},
    {PictureKind::Gif, 128 * kMB},
    {PictureKind::Ico, 16 * kMB},
    {PictureKind::Metafile, 128 * kMB},
    {PictureKind::Heif, 256 * kMB},
    {PictureKind::Webp, 128 * kMB},
    {PictureKind::Jxl, 256 * kMB},
    {PictureKind::Raw, 512 * kMB},
};

}  // namespace

qint64 maxFileBytes(const QString& fileName)
{
    const PictureKind kind = pictureKindFor(fileName);
    for (const FileCap& cap : kFileCaps)
        if (cap.kind == kind)
            return cap.bytes;
    return 0;
}

qint64 encodablePixels(qint64 bytes, qint64 perByte)
{
    if (bytes <= 0)
        return kAlwaysEncodablePixels;
    constexpr qint64 most = std::numeric_limits<qint64>::max();
    if (bytes > (most - kAlwaysEncodablePixels) / perByte)
        return most;
    return bytes * perByte + kAlwaysEncodablePixels;
}

void checkDecodeBudget(qint64 pixels, qint64 encodable, qint64 memoryBytes)
{
    if (pixels <= 0)
        throw DecodeError("empty picture");
    if (pixels > kMaxPixels)
        throw DecodeError("absurd picture size");
    if (pixels > encodable)
        throw DecodeError("picture larger than its data");
    if (memoryBytes > kDecodeMemoryBudget)
        throw DecodeError("picture too large to decode");
}

}  // namespace imaging
