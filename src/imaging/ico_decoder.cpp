// Icons through Qt's ICO reader.
#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include "imaging/format_readers.h"

namespace imaging {

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

DecodedPicture readIcoPicture(const QByteArray& data, const DecodeRequest& request)
{
    DecodedPicture out;
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
    return out;
}

}  // namespace imaging
