#pragma once
// Fitting a picture to its drawn size while its rows are decoded: each drawn
// row is blended from the two decoded rows about it as soon as both are in,
// so a DCT-reduced JPEG is never held whole at its decoded size (24 MB for
// a 24-megapixel picture at half size) before it is scaled again.
#include <QImage>
#include <QSize>

#include <cstdint>
#include <vector>

namespace imaging {

class RowFitter {
public:
    // `target` is an RGB32 picture of the drawn size; its pixels must
    // outlive the fitter, which takes them here and writes them without
    // the QImage after. Its rows `from` to `to` - 1 (by default all) are
    // written once the last source row they need is in, so two fitters made
    // on one thread can share a picture's rows between two threads.
    RowFitter(QSize source, QImage* target, int from = 0, int to = -1);

    // Source rows y to y + count - 1, `stride` pixels apart, each holding
    // `padded()` pixels (the last one unused). Rows come top-down, every row
    // once, from firstSourceRow() on; the ones after the last needed are
    // passed over.
    void addRows(int y, int count, const uint32_t* rows, int stride);

    // The first source row to give.
    int firstSourceRow() const { return lastSource_ + 1; }

    // Pixels a source row must hold: its width and one spare past its end,
    // which the horizontal blend may read with a weight of nought.
    int padded() const { return sourceWidth_ + 1; }
    bool done() const { return next_ >= end_; }

private:
    void emitRow(const uint32_t* above, const uint32_t* below, int weight);

    int sourceWidth_;
    int sourceHeight_;
    uchar* rows_;  // the target's pixels
    qsizetype rowBytes_;
    int targetWidth_;
    int targetHeight_;
    int next_ = 0;         // the next target row to write
    int end_ = 0;          // and the one after the last
    int lastSource_ = -1;  // the last source row given
    // For each target column and row: the source position before it and the
    // weight (of 256) of the one after.
    std::vector<int> xs_, xWeight_, ys_, yWeight_;
    std::vector<int16_t> columnWeights_;
    std::vector<uint32_t> previous_, blended_;
};

}  // namespace imaging
