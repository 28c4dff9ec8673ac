#pragma once
// Made-up photographs for tests: each seed gives its own pattern, so one
// picture is never mistaken for another; and how close two pictures are
// (PSNR in dB).
#include <QImage>

#include <cmath>

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

}  // namespace testsupport
