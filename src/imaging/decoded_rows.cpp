#include "imaging/decoded_rows.h"

#include <vector>

#include "imaging/reduced_copy.h"

namespace imaging {

namespace {

void toArgb(const uchar* in, int width, int channels, QRgb* out)
{
    if (channels == 4) {
        for (int x = 0; x < width; ++x, in += 4)
            out[x] = qRgba(in[0], in[1], in[2], in[3]);
    } else {
        for (int x = 0; x < width; ++x, in += 3)
            out[x] = qRgb(in[0], in[1], in[2]);
    }
}

}  // namespace

QImage pictureFromRows(const SampleRows& rows, const DrawnSizeFn& drawnSize, bool* reduced)
{
    const QSize full = rows.size;
    if (full.isEmpty() || !rows.data || (rows.channels != 3 && rows.channels != 4))
        throw DecodeError("no picture");
    const bool alpha = rows.channels == 4;
    const QSize drawn = drawnSize ? drawnSize(full) : QSize();
    const int factor = reductionFactor(full, drawn);
    if (reduced)
        *reduced = factor > 1;
    if (factor > 1) {
        ReducedCopy copy(full, factor, alpha);
        std::vector<QRgb> row(static_cast<size_t>(full.width()));
        for (int y = 0; y < full.height(); ++y) {
            toArgb(rows.data + y * rows.stride, full.width(), rows.channels, row.data());
            copy.addRow(y, row.data());
        }
        return copy.finish(drawn);
    }
    QImage out(full, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull())
        throw DecodeError("out of memory");
    for (int y = 0; y < full.height(); ++y)
        toArgb(rows.data + y * rows.stride, full.width(), rows.channels, reinterpret_cast<QRgb*>(out.scanLine(y)));
    if (alpha)
        out = out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    return out;
}

qint64 rowsPictureCost(QSize full, int channels)
{
    const qint64 pixels = qint64(full.width()) * full.height();
    return pixels * channels + pixels * 4;
}

}  // namespace imaging
