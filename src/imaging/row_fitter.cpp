#include "imaging/row_fitter.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imaging {

namespace {

// Sample centres of `to` cells spread over `from`, as bilinear filtering
// takes them: the source position before each and the weight of the next.
void axis(int from, int to, std::vector<int>& at, std::vector<int>& weight)
{
    at.resize(static_cast<size_t>(to));
    weight.resize(static_cast<size_t>(to));
    const double k = double(from) / to;
    for (int i = 0; i < to; ++i) {
        const double p = std::clamp((i + 0.5) * k - 0.5, 0.0, double(from - 1));
        int p0 = static_cast<int>(p);
        int w = static_cast<int>((p - p0) * 256 + 0.5);
        if (w == 256)
            ++p0, w = 0;
        if (p0 >= from - 1)
            p0 = from - 1, w = 0;
        at[static_cast<size_t>(i)] = p0;
        weight[static_cast<size_t>(i)] = w;
    }
}

inline uint32_t blend(uint32_t a, uint32_t b, uint32_t w)
{
    const uint32_t iw = 256 - w;
    const uint32_t rb = (((a & 0xff00ffu) * iw + (b & 0xff00ffu) * w) >> 8) & 0xff00ffu;
    const uint32_t ag = (((a >> 8) & 0xff00ffu) * iw + ((b >> 8) & 0xff00ffu) * w) & 0xff00ff00u;
    return rb | ag;
}

}  // namespace

RowFitter::RowFitter(QSize source, QImage* target, int from, int to)
    : sourceWidth_(std::max(1, source.width())),
      sourceHeight_(std::max(1, source.height())),
      rows_(target->bits()),
      rowBytes_(target->bytesPerLine()),
      targetWidth_(target->width()),
      targetHeight_(target->height())
{
    axis(sourceWidth_, targetWidth_, xs_, xWeight_);
    axis(sourceHeight_, targetHeight_, ys_, yWeight_);
    // Per target column, eight 16-bit weights: the four channels of the
    // pixel before the sample point, then the four of the one after.
    columnWeights_.resize(static_cast<size_t>(targetWidth_) * 8);
    for (int x = 0; x < targetWidth_; ++x)
        for (int i = 0; i < 8; ++i)
            columnWeights_[static_cast<size_t>(x) * 8 + static_cast<size_t>(i)] =
                static_cast<int16_t>(i < 4 ? 256 - xWeight_[static_cast<size_t>(x)] : xWeight_[static_cast<size_t>(x)]);
    previous_.assign(static_cast<size_t>(padded()), 0);
    blended_.assign(static_cast<size_t>(padded()), 0);
    end_ = to < 0 ? targetHeight_ : std::clamp(to, 0, targetHeight_);
    next_ = std::clamp(from, 0, end_);
    // From the top every row is taken (those before the first needed are
    // passed over); from further down, from the first the rows need.
    if (next_ > 0 && next_ < end_)
        lastSource_ = ys_[static_cast<size_t>(next_)] - 1;
}

void RowFitter::addRows(int y, int count, const uint32_t* rows, int stride)
{
    for (int i = 0; i < count; ++i) {
        const int sy = y + i;
        if (sy != lastSource_ + 1 || sy >= sourceHeight_ || next_ >= end_)
            return;  // out of order, or not needed: leave the rest as it is
        const uint32_t* row = rows + static_cast<size_t>(i) * static_cast<size_t>(stride);
        while (next_ < end_) {
            const int y0 = ys_[static_cast<size_t>(next_)];
            const int w = yWeight_[static_cast<size_t>(next_)];
            if ((w ? y0 + 1 : y0) != sy)
                break;
            emitRow(w ? (i > 0 ? row - stride : previous_.data()) : row, row, w);
        }
        lastSource_ = sy;
        if (i == count - 1)
            std::memcpy(previous_.data(), row, static_cast<size_t>(sourceWidth_) * 4);
    }
}

void RowFitter::emitRow(const uint32_t* above, const uint32_t* below, int weight)
{
    // Down first, over the source width, then across to the target width:
    // the vertical blend runs over whole rows at once.
    const uint32_t* src = below;
    if (weight) {
        int x = 0;
#if defined(__SSE2__)
        const __m128i wb = _mm_set1_epi16(static_cast<short>(weight));
        const __m128i wa = _mm_set1_epi16(static_cast<short>(256 - weight));
        const __m128i zero = _mm_setzero_si128();
        for (; x + 4 <= sourceWidth_; x += 4) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(below + x));
            const __m128i lo = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(a, zero), wa),
                                                            _mm_mullo_epi16(_mm_unpacklo_epi8(b, zero), wb)),
                                              8);
            const __m128i hi = _mm_srli_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(a, zero), wa),
                                                            _mm_mullo_epi16(_mm_unpackhi_epi8(b, zero), wb)),
                                              8);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(blended_.data() + x), _mm_packus_epi16(lo, hi));
        }
#endif
        for (; x < sourceWidth_; ++x)
            blended_[static_cast<size_t>(x)] = blend(above[x], below[x], static_cast<uint32_t>(weight));
        src = blended_.data();
    }
    auto* out = reinterpret_cast<uint32_t*>(rows_ + static_cast<qsizetype>(next_) * rowBytes_);
    int x = 0;
#if defined(__SSE2__)
    // Two target pixels at a time: each takes its source pixel pair in
    // sixteen bits a channel, weighted, and the pair's halves summed.
    const __m128i zero = _mm_setzero_si128();
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xff000000u));
    for (; x + 2 <= targetWidth_; x += 2) {
        const int16_t* w = columnWeights_.data() + static_cast<size_t>(x) * 8;
        const __m128i p0 = _mm_mullo_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + xs_[static_cast<size_t>(x)])), zero),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(w)));
        const __m128i p1 = _mm_mullo_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + xs_[static_cast<size_t>(x) + 1])),
                              zero),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 8)));
        const __m128i sum = _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(p0, p1), _mm_unpackhi_epi64(p0, p1)), 8);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_or_si128(_mm_packus_epi16(sum, zero), opaque));
    }
#endif
    for (; x < targetWidth_; ++x) {
        const int x0 = xs_[static_cast<size_t>(x)];
        const uint32_t w = static_cast<uint32_t>(xWeight_[static_cast<size_t>(x)]);
        out[x] = blend(src[x0], src[x0 + 1], w) | 0xff000000u;
    }
    ++next_;
}

}  // namespace imaging
