#pragma once
// Photograph-like JPEGs for the benchmarks, plain or with the Exif block a
// camera writes ahead of its picture.
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace bench {

// Smooth gradients with noise of the given strength (0 to 1).
inline QImage makePhoto(int w, int h, double detail, quint32 seed)
{
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < h; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double fx = double(x) / w, fy = double(y) / h;
            const int n = detail > 0 ? int((rng.bounded(256) - 128) * detail) : 0;
            const int r = int(120 + 80 * std::sin(fx * 9 + fy * 3)) + n;
            const int g = int(110 + 70 * std::cos(fy * 7 - fx * 2)) + n;
            const int b = int(100 + 60 * std::sin((fx + fy) * 5)) + n / 2;
            row[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
    return img;
}

inline QByteArray encodeJpeg(const QImage& img, int quality)
{
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "JPG", quality);
    return out;
}

inline void le16(QByteArray& s, uint32_t v) { s.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); }
inline void le32(QByteArray& s, uint32_t v) { le16(s, v & 0xFFFF), le16(s, v >> 16); }

// The JPEG with the Exif block a camera writes ahead of its picture: IFD0,
// and IFD1 with a 160 x 120 thumbnail of the picture padded with black.
inline QByteArray withCameraThumbnail(const QByteArray& jpeg, const QImage& picture)
{
    QImage t(160, 120, QImage::Format_RGB32);
    t.fill(Qt::black);
    const QImage fitted = picture.scaled(160, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter(&t).drawImage((160 - fitted.width()) / 2, (120 - fitted.height()) / 2, fitted);
    const QByteArray thumbnail = encodeJpeg(t, 85);
    QByteArray tiff("II\x2a\x00\x08\x00\x00\x00", 8);
    le16(tiff, 1);
    le16(tiff, 0x0112), le16(tiff, 3), le32(tiff, 1), le32(tiff, 1);  // orientation 1
    le32(tiff, 26);  // IFD1
    le16(tiff, 2);
    le16(tiff, 0x0201), le16(tiff, 4), le32(tiff, 1), le32(tiff, 26 + 2 + 24 + 4);
    le16(tiff, 0x0202), le16(tiff, 4), le32(tiff, 1), le32(tiff, uint32_t(thumbnail.size()));
    le32(tiff, 0);
    const QByteArray body = QByteArray("Exif\x00\x00", 6) + tiff + thumbnail;
    QByteArray app1("\xff\xe1", 2);
    app1 += char((body.size() + 2) >> 8);
    app1 += char((body.size() + 2) & 0xff);
    return jpeg.left(2) + app1 + body + jpeg.mid(2);
}

}  // namespace bench
