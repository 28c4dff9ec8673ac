#pragma once
// Decoding of the picture formats the viewer shows, chosen by the file
// name's ending from one table (picture_formats.cpp): a format is one
// reader file and one row there. A picture may be decoded as a reduced copy
// for display; the reported size is always the picture's full pixel size.
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <functional>

#include "imaging/bitmap.h"
#include "imaging/decode_budget.h"
#include "metadata/containers.h"

namespace imaging {

enum class PictureKind { None, Jpeg, Ico, Gif, Png, Metafile, Bmp, Heif, Webp, Jxl, Raw };

struct DecodeRequest;
struct DecodedPicture;
using PictureReader = DecodedPicture (*)(const QByteArray& data, const DecodeRequest& request);

// One picture format: the name endings that select it and its reader.
struct PictureFormat {
    PictureKind kind;
    // Lower-case endings with their dot, separated by ';'.
    const char* endings;
    PictureReader read;
    // Decoded ahead on a worker thread (raster formats); metafiles and
    // icons draw through the user-interface thread's painting.
    bool decodedAhead;
    // Where its Exif lies; None for formats without.
    metadata::Container exif;
    // For files that hold far more than their shown picture (a raw file
    // and its JPEG preview): the bytes that show it, read from the file,
    // which `read` then takes in place of the whole file; empty when the
    // whole file is needed after all. Null for formats read whole.
    QByteArray (*shownPart)(metadata::ByteSource& file, metadata::Container container) = nullptr;
};

// The format a file name's ending selects (case ignored), or null.
const PictureFormat* formatFor(const QString& fileName);
// The kind of decoder a file name's ending selects (case ignored).
PictureKind pictureKindFor(const QString& fileName);
// The file list's mask of every format ("*.jpg;*.jpeg;..."), and of the
// formats that carry Exif (read for the shooting date and the search).
QString pictureMask();
QString exifPictureMask();

struct DecodeRequest {
    // Size the picture will be drawn at for its full size; an invalid size
    // (or none) asks for the full picture.
    std::function<QSize(QSize full)> drawnSize;
    // Fills the transparent parts of GIF pictures and flattened icons.
    QColor background = Qt::black;
    // An icon is flattened onto the background (the stretched view).
    bool flattenIcon = false;
    // JPEG: this DCT scale (1, 2, 4 or 8) instead of the one drawnSize
    // picks; the result is still fitted to the drawn size.
    int jpegScaleDenom = 0;
    // Set from another thread when the picture is no longer wanted: a JPEG
    // decode stops at its next row and throws DecodeError.
    const std::atomic<bool>* cancel = nullptr;
};

struct DecodedPicture {
    PictureKind kind = PictureKind::None;
    QImage image;       // what is drawn; may be a reduced copy
    Bitmap bitmap;      // a BMP at its stored depth (image is its 32-bit copy)
    QSize fullSize;     // the picture's own pixel size
    bool reduced = false;
    bool isIcon = false;  // an icon kept as such (drawn with transparency)
    int scaleDenom = 1;   // JPEG: the DCT scale used (1, 2, 4 or 8)
    // The decoder turned and mirrored the picture as the file says, so the
    // Exif orientation is not applied again.
    bool oriented = false;

    bool isNull() const { return image.isNull(); }
    qint64 byteCost() const { return image.sizeInBytes() + static_cast<qint64>(bitmap.bits.size()); }
};

// Decodes data (the whole file) by the ending of fileName. Throws
// DecodeError; a name with no known ending gives an empty picture.
DecodedPicture decodePicture(const QString& fileName, const QByteArray& data, const DecodeRequest& request);

// The single decoders.
struct JpegInfo {
    QSize size;
    int scaleDenom = 1;
};
// Picks the smallest power-of-two reduction (1/2, 1/4, 1/8) whose decoded
// size still covers `drawn`; 1 when drawn is invalid or not smaller.
int jpegScaleFor(QSize full, QSize drawn);
// The size of a JPEG picture the decoder can read (baseline or progressive,
// Huffman or arithmetic); invalid for any other data.
QSize jpegPictureSize(const uchar* data, size_t size);
// Decodes at 1/scaleDenom of the full size (0: chosen from drawnSize) and
// fits the result to the drawn size; stops with DecodeError once *cancel
// is set.
QImage decodeJpeg(const uchar* data, size_t size, const std::function<QSize(QSize)>& drawnSize, JpegInfo* info,
                  int scaleDenom = 0, const std::atomic<bool>* cancel = nullptr);
// PNG, BMP and GIF pictures at least twice the drawn size (drawnSize given)
// are decoded row by row into a copy of the drawn size; *full receives the
// picture's own size. A BMP decoded so comes back as an empty bitmap with
// the copy in *reduced.
using DrawnSizeFn = std::function<QSize(QSize)>;
QImage decodePng(const uchar* data, size_t size, const DrawnSizeFn& drawnSize = {}, QSize* full = nullptr);
Bitmap decodeBmp(const uchar* data, size_t size, const DrawnSizeFn& drawnSize = {}, QImage* reduced = nullptr,
                 QSize* full = nullptr);
QImage decodeGif(const uchar* data, size_t size, QColor background, const DrawnSizeFn& drawnSize = {},
                 QSize* full = nullptr);
QImage decodeIco(const QByteArray& data);
QImage decodeWmf(const uchar* data, size_t size);
QImage decodeEmf(const uchar* data, size_t size);
// The SVG daredazi-emf2svg makes of an EMF; empty when it refuses the data,
// cannot be found or does not finish.
QByteArray convertEmf(const uchar* data, size_t size);
// Draws an SVG document to a picture of its own size.
QImage renderSvg(const QByteArray& svg);

}  // namespace imaging
