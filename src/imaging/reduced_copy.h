#pragma once
// Decoding straight into a reduced copy: a picture much larger than it is
// drawn is averaged down band by band while its rows are decoded, so the
// full-size pixels are never held at once.
#include <QImage>
#include <QSize>

#include <cstdint>
#include <vector>

namespace imaging {

// The whole factor by which `full` exceeds `drawn` in both directions; 1
// (decode at full size) when drawn is invalid or not at least twice smaller.
int reductionFactor(QSize full, QSize drawn);

class ReducedCopy {
public:
    ReducedCopy(QSize full, int factor, bool alpha);
    // Sampling instead of averaging every pixel: each band takes up to
    // `samples` of its rows and each cell up to `samples` of its columns,
    // spread evenly (for decoders whose conversion, not reading, dominates).
    ReducedCopy(QSize full, int factor, bool alpha, int samples);

    // Whether row y is one a sampling copy takes (every row otherwise).
    bool wantsRow(int y) const { return rowWanted_.empty() || rowWanted_[static_cast<size_t>(y)]; }
    // The columns a sampling copy takes, ascending.
    const std::vector<int>& sampleColumns() const { return columns_; }
    // Row y given as the pixels of sampleColumns() only.
    void addSampledRow(int y, const QRgb* samples);

    // Row y of the full picture, full width. The rows of one band of
    // `factor` rows arrive one after another (top-down or bottom-up); a band
    // averages the rows it was given, so an interlaced picture may give only
    // the rows of one full-width pass. A band given none repeats the one
    // above it.
    void addRow(int y, const QRgb* row);
    // The reduced copy fitted to `drawn` (an invalid size keeps the
    // reduced size).
    QImage finish(QSize drawn);

    QSize reducedSize() const { return image_.size(); }
    // Bytes this copy holds while decoding.
    static qint64 costFor(QSize full, int factor);

private:
    void flush();
    // False for a row outside the picture.
    bool enterRow(int y);

    QSize full_;
    int k_;
    std::vector<bool> filled_;
    std::vector<bool> rowWanted_;
    std::vector<int> columns_;
    std::vector<uint32_t> cellSamples_;
    QImage image_;
    std::vector<uint64_t> sums_;  // one band: four channels per reduced pixel
    int band_ = -1;
    int rowsInBand_ = 0;
};

// Fits a picture to exactly `drawn` with bilinear filtering (the reduced
// copies are less than twice the drawn size, which it does well).
QImage fitToDrawn(const QImage& image, QSize drawn);

}  // namespace imaging
