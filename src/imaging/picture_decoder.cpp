#include "imaging/picture_decoder.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

namespace imaging {

PictureKind pictureKindFor(const QString& fileName)
{
    const QString n = fileName.toLower();
    if (n.endsWith(QLatin1String(".jpg")) || n.endsWith(QLatin1String(".jpeg")))
        return PictureKind::Jpeg;
    if (n.endsWith(QLatin1String(".ico")))
        return PictureKind::Ico;
    if (n.endsWith(QLatin1String(".gif")))
        return PictureKind::Gif;
    if (n.endsWith(QLatin1String(".png")))
        return PictureKind::Png;
    if (n.endsWith(QLatin1String(".wmf")) || n.endsWith(QLatin1String(".emf")))
        return PictureKind::Metafile;
    if (n.endsWith(QLatin1String(".bmp")))
        return PictureKind::Bmp;
    return PictureKind::None;
}

QImage decodeIco(const QByteArray& data)
{
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    const QSize s = reader.size();
    if (s.isValid())
        checkDecodeBudget(qint64(s.width()) * s.height(), encodablePixels(data.size(), kIconPixelsPerByte),
                          qint64(s.width()) * s.height() * 8);
    QImage image = reader.read();
    if (image.isNull())
        throw DecodeError("bad icon");
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

DecodedPicture decodePicture(const QString& fileName, const QByteArray& data, const DecodeRequest& request)
{
    DecodedPicture out;
    out.kind = pictureKindFor(fileName);
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const auto size = static_cast<size_t>(data.size());
    switch (out.kind) {
    case PictureKind::None:
        return out;
    case PictureKind::Jpeg: {
        JpegInfo info;
        out.image = decodeJpeg(bytes, size, request.drawnSize, &info);
        out.fullSize = info.size;
        out.scaleDenom = info.scaleDenom;
        out.reduced = out.image.size() != out.fullSize;
        break;
    }
    case PictureKind::Ico: {
        QImage icon = decodeIco(data);
        if (request.flattenIcon) {
            QImage flat(icon.size(), QImage::Format_RGB32);
            flat.fill(request.background);
            QPainter p(&flat);
            p.drawImage(0, 0, icon);
            p.end();
            out.image = flat;
        } else {
            out.image = icon;
            out.isIcon = true;
        }
        out.fullSize = out.image.size();
        break;
    }
    case PictureKind::Gif:
        out.image = decodeGif(bytes, size, request.background, request.drawnSize, &out.fullSize);
        out.reduced = out.image.size() != out.fullSize;
        break;
    case PictureKind::Png:
        out.image = decodePng(bytes, size, request.drawnSize, &out.fullSize);
        out.reduced = out.image.size() != out.fullSize;
        break;
    case PictureKind::Metafile:
        out.image = fileName.toLower().endsWith(QLatin1String(".wmf")) ? decodeWmf(bytes, size) : decodeEmf(bytes, size);
        out.fullSize = out.image.size();
        break;
    case PictureKind::Bmp:
        out.bitmap = decodeBmp(bytes, size, request.drawnSize, &out.image, &out.fullSize);
        if (!out.bitmap.isNull())
            out.image = out.bitmap.toImage();
        if (out.image.isNull())
            throw DecodeError("out of memory");
        out.reduced = out.image.size() != out.fullSize;
        break;
    }
    if (out.image.isNull())
        throw DecodeError("no picture");
    return out;
}

}  // namespace imaging
