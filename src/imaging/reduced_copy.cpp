#include "imaging/reduced_copy.h"

#include <QPainter>

#include <algorithm>
#include <cstring>

#include "imaging/decode_budget.h"

namespace imaging {

int reductionFactor(QSize full, QSize drawn)
{
    if (!drawn.isValid() || drawn.isEmpty() || full.isEmpty())
        return 1;
    const int k = std::min(full.width() / drawn.width(), full.height() / drawn.height());
    return k >= 2 ? k : 1;
}

qint64 ReducedCopy::costFor(QSize full, int factor)
{
    const qint64 w = (full.width() + factor - 1) / factor, h = (full.height() + factor - 1) / factor;
    return w * h * 4 + w * 32 + qint64(full.width()) * 4;
}

ReducedCopy::ReducedCopy(QSize full, int factor, bool alpha) : full_(full), k_(std::max(1, factor))
{
    const int w = (full.width() + k_ - 1) / k_, h = (full.height() + k_ - 1) / k_;
    image_ = QImage(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (image_.isNull())
        throw DecodeError("out of memory");
    image_.fill(0xFF000000u);
    sums_.assign(static_cast<size_t>(w) * 4, 0);
    filled_.assign(static_cast<size_t>(h), false);
}

namespace {

// Up to m positions spread evenly over [0, n), at the middles of m equal parts.
template <typename F>
void spread(int n, int m, F take)
{
    m = std::min(m, n);
    for (int j = 0; j < m; ++j)
        take(static_cast<int>((2 * int64_t(j) + 1) * n / (2 * int64_t(m))));
}

}  // namespace

ReducedCopy::ReducedCopy(QSize full, int factor, bool alpha, int samples) : ReducedCopy(full, factor, alpha)
{
    rowWanted_.assign(static_cast<size_t>(full.height()), false);
    for (int top = 0; top < full.height(); top += k_)
        spread(std::min(k_, full.height() - top), samples, [&](int t) { rowWanted_[static_cast<size_t>(top + t)] = true; });
    cellSamples_.assign(static_cast<size_t>(image_.width()), 0);
    for (int cx = 0, left = 0; left < full.width(); ++cx, left += k_)
        spread(std::min(k_, full.width() - left), samples, [&](int t) {
            columns_.push_back(left + t);
            ++cellSamples_[static_cast<size_t>(cx)];
        });
}

bool ReducedCopy::enterRow(int y)
{
    if (y < 0 || y >= full_.height())
        return false;
    // A row of a new band first hands on the band before it.
    const int band = y / k_;
    if (band != band_) {
        flush();
        band_ = band;
    }
    return true;
}

void ReducedCopy::addSampledRow(int y, const QRgb* samples)
{
    if (!enterRow(y))
        return;
    for (size_t i = 0; i < columns_.size(); ++i) {
        const QRgb p = samples[i];
        uint64_t* s = &sums_[static_cast<size_t>(columns_[i] / k_) * 4];
        s[0] += qBlue(p);
        s[1] += qGreen(p);
        s[2] += qRed(p);
        s[3] += qAlpha(p);
    }
    ++rowsInBand_;
}

void ReducedCopy::addRow(int y, const QRgb* row)
{
    if (!enterRow(y))
        return;
    // Bytes in memory order (blue, green, red, alpha); a cell's sums fit
    // 32 bits for any width.
    const auto* bytes = reinterpret_cast<const uint8_t*>(row);
    const int w = image_.width();
    for (int cx = 0; cx < w; ++cx) {
        const int x0 = cx * k_, x1 = std::min(full_.width(), x0 + k_);
        uint32_t c0 = 0, c1 = 0, c2 = 0, c3 = 0;
        for (const uint8_t* p = bytes + 4 * x0, *end = bytes + 4 * x1; p < end; p += 4) {
            c0 += p[0];
            c1 += p[1];
            c2 += p[2];
            c3 += p[3];
        }
        uint64_t* s = &sums_[static_cast<size_t>(cx) * 4];
        s[0] += c0;
        s[1] += c1;
        s[2] += c2;
        s[3] += c3;
    }
    ++rowsInBand_;
}

void ReducedCopy::flush()
{
    if (band_ < 0 || rowsInBand_ == 0)
        return;
    QRgb* out = reinterpret_cast<QRgb*>(image_.scanLine(band_));
    const int w = image_.width();
    for (int cx = 0; cx < w; ++cx) {
        const uint64_t cell = cellSamples_.empty() ? uint64_t(std::min(full_.width(), (cx + 1) * k_) - cx * k_)
                                                   : cellSamples_[static_cast<size_t>(cx)];
        const uint64_t n = std::max<uint64_t>(1, cell * rowsInBand_);
        uint64_t* s = &sums_[static_cast<size_t>(cx) * 4];
        auto avg = [n](uint64_t v) { return static_cast<int>((v + n / 2) / n); };
        out[cx] = qRgba(avg(s[2]), avg(s[1]), avg(s[0]), avg(s[3]));
        s[0] = s[1] = s[2] = s[3] = 0;
    }
    filled_[static_cast<size_t>(band_)] = true;
    rowsInBand_ = 0;
}

QImage ReducedCopy::finish(QSize drawn)
{
    flush();
    band_ = -1;
    for (int y = 1; y < image_.height(); ++y)
        if (!filled_[static_cast<size_t>(y)] && filled_[static_cast<size_t>(y) - 1]) {
            std::memcpy(image_.scanLine(y), image_.constScanLine(y - 1), static_cast<size_t>(image_.width()) * 4);
            filled_[static_cast<size_t>(y)] = true;
        }
    return fitToDrawn(image_, drawn);
}

QImage fitToDrawn(const QImage& image, QSize drawn)
{
    if (!drawn.isValid() || drawn.isEmpty() || drawn == image.size())
        return image;
    QImage fitted(drawn, image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (fitted.isNull())
        throw DecodeError("out of memory");
    fitted.fill(Qt::transparent);
    QPainter p(&fitted);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(QPoint(0, 0), drawn), image);
    p.end();
    return fitted;
}

}  // namespace imaging
