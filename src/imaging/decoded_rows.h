#pragma once
// Pictures that a library hands over whole, as rows of 8-bit RGB or RGBA
// samples, made into the picture drawn: averaged down straight into a
// reduced copy when it is drawn at half its size or less, else converted.
#include <QImage>
#include <QSize>

#include "imaging/picture_decoder.h"

namespace imaging {

struct SampleRows {
    const uchar* data = nullptr;
    qsizetype stride = 0;  // bytes from one row to the next
    QSize size;
    int channels = 4;  // 3: R G B; 4: R G B A
};

// The picture for drawnSize (none: full size); *reduced tells whether it is
// a reduced copy.
QImage pictureFromRows(const SampleRows& rows, const DrawnSizeFn& drawnSize, bool* reduced = nullptr);

// What a decode to 8-bit samples holds besides the library's own buffers:
// the samples and the copy made of them.
qint64 rowsPictureCost(QSize full, int channels);

// Codecs whose skip modes code a large flat area in a few bits (HEVC, AV1,
// VP8L, JPEG XL): only the pixel and memory limits hold them.
constexpr qint64 kSkipCodedPixelsPerByte = 1 << 20;

}  // namespace imaging
