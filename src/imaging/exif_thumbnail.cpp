#include "imaging/exif_thumbnail.h"

#include <QRect>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace imaging {

namespace {

// The shapes agree within 2% (160 x 107 against 3:2).
constexpr double kSameShape = 0.02;
// A bar's pixels may stray this far from its colour (JPEG noise).
constexpr int kBarTolerance = 24;

bool near(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) <= kBarTolerance && std::abs(qGreen(a) - qGreen(b)) <= kBarTolerance &&
           std::abs(qBlue(a) - qBlue(b)) <= kBarTolerance;
}

// Every pixel of the rectangle near the colour.
bool plain(const QImage& image, const QRect& r, QRgb colour)
{
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = r.left(); x <= r.right(); ++x)
            if (!near(row[x], colour))
                return false;
    }
    return true;
}

}  // namespace

QImage thumbnailAtAspect(const QImage& thumbnail, QSize full)
{
    if (thumbnail.isNull() || full.isEmpty() || thumbnail.width() < 8 || thumbnail.height() < 8)
        return {};
    const QImage t = thumbnail.convertToFormat(QImage::Format_RGB32);
    const int w = t.width(), h = t.height();
    const double shape = double(full.width()) / full.height(), own = double(w) / h;
    if (std::abs(own / shape - 1) <= kSameShape)
        return t;
    // The band the picture fills, centred; the bars lie outside it. The
    // row or column next to the band is left out of both: the encoder
    // blends it.
    QRect band, bar1, bar2;
    if (shape > own) {
        const int bandHeight = static_cast<int>(std::lround(w / shape));
        const int top = (h - bandHeight) / 2;
        band = QRect(0, top + 1, w, bandHeight - 2);
        bar1 = QRect(0, 0, w, top - 1);
        bar2 = QRect(0, top + bandHeight + 1, w, h - top - bandHeight - 1);
    } else {
        const int bandWidth = static_cast<int>(std::lround(h * shape));
        const int left = (w - bandWidth) / 2;
        band = QRect(left + 1, 0, bandWidth - 2, h);
        bar1 = QRect(0, 0, left - 1, h);
        bar2 = QRect(left + bandWidth + 1, 0, w - left - bandWidth - 1, h);
    }
    // Bars too thin to tell, or a band too small to show anything.
    if (bar1.width() < 1 || bar1.height() < 1 || bar2.width() < 1 || bar2.height() < 1 || band.width() < 4 ||
        band.height() < 4)
        return {};
    const QRgb colour = t.pixel(0, 0);
    if (!plain(t, bar1, colour) || !plain(t, bar2, colour))
        return {};
    // A band as plain as the bars is no picture that can be told from them.
    if (plain(t, band, colour))
        return {};
    return t.copy(band);
}

}  // namespace imaging
