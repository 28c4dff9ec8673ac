#pragma once
// Made-up photographs for tests: each seed gives its own pattern, so one
// picture is never mistaken for another; and how close two pictures are
// (PSNR in dB, mean difference); JPEGs with the Exif thumbnail a camera writes.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace testsupport {

inline QImage photo(QSize size, int seed)
{
    QImage img(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int band = ((x / (40 + seed * 13)) + (y / (30 + seed * 7))) % 2;
            row[x] = qRgb((x * 255 / size.width() + seed * 50) % 256, band ? 220 : 30, (y * 255 / size.height()) % 256);
        }
    }
    return img;
}

// b is scaled to a's size first; 99 for equal pictures.
inline double psnr(const QImage& a0, const QImage& b0)
{
    const QImage a = a0.convertToFormat(QImage::Format_RGB32);
    const QImage b = b0.convertToFormat(QImage::Format_RGB32).scaled(a.size(), Qt::IgnoreAspectRatio,
                                                                      Qt::SmoothTransformation);
    double se = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int dr = qRed(p) - qRed(q), dg = qGreen(p) - qGreen(q), db = qBlue(p) - qBlue(q);
            se += dr * dr + dg * dg + db * db;
        }
    const double mse = se / (3.0 * a.width() * a.height());
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Mean difference per channel between two pictures of one size.
inline double meanDifference(const QImage& a0, const QImage& b0)
{
    const QImage a = a0.convertToFormat(QImage::Format_RGB32), b = b0.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

inline QByteArray jpegBytes(const QImage& img, int quality = 90)
{
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "JPEG", quality);
    return out;
}

// The JPEG with Exif as a camera writes it: IFD0 with the orientation,
// and IFD1 pointing at a thumbnail (at `thumbnailAt` past the TIFF header
// when given, else where it lies).
inline QByteArray withThumbnail(const QByteArray& jpeg, const QByteArray& thumbnail, int orientation = 1,
                                int thumbnailAt = -1)
{
    auto le16 = [](QByteArray& s, uint32_t v) { s.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    auto le32 = [&](QByteArray& s, uint32_t v) { le16(s, v & 0xFFFF), le16(s, v >> 16); };
    QByteArray tiff("II\x2a\x00\x08\x00\x00\x00", 8);
    le16(tiff, 1);                     // IFD0 at 8: one entry
    le16(tiff, 0x0112), le16(tiff, 3), le32(tiff, 1), le16(tiff, uint32_t(orientation)), le16(tiff, 0);
    le32(tiff, 26);                    // IFD1 next, at 8 + 2 + 12 + 4
    le16(tiff, 2);
    const uint32_t data = 26 + 2 + 24 + 4;
    le16(tiff, 0x0201), le16(tiff, 4), le32(tiff, 1), le32(tiff, thumbnailAt < 0 ? data : uint32_t(thumbnailAt));
    le16(tiff, 0x0202), le16(tiff, 4), le32(tiff, 1), le32(tiff, uint32_t(thumbnail.size()));
    le32(tiff, 0);
    tiff += thumbnail;
    const QByteArray body = QByteArray("Exif\x00\x00", 6) + tiff;
    QByteArray app1("\xff\xe1", 2);
    app1 += char((body.size() + 2) >> 8);
    app1 += char((body.size() + 2) & 0xff);
    return jpeg.left(2) + app1 + body + jpeg.mid(2);
}

// A camera's 160 x 120 thumbnail of the picture: fitted inside and padded
// with black bars.
inline QByteArray paddedThumbnail(const QImage& picture)
{
    QImage t(160, 120, QImage::Format_RGB32);
    t.fill(Qt::black);
    const QImage fitted = picture.scaled(160, 120, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPainter(&t).drawImage((160 - fitted.width()) / 2, (120 - fitted.height()) / 2, fitted);
    return jpegBytes(t);
}

}  // namespace testsupport
