#include "imaging/decode_budget.h"

#include <limits>

namespace imaging {

qint64 encodablePixels(qint64 bytes, qint64 perByte)
{
    if (bytes <= 0)
        return kAlwaysEncodablePixels;
    constexpr qint64 most = std::numeric_limits<qint64>::max();
    if (bytes > (most - kAlwaysEncodablePixels) / perByte)
        return most;
    return bytes * perByte + kAlwaysEncodablePixels;
}

void checkDecodeBudget(qint64 pixels, qint64 encodable, qint64 memoryBytes)
{
    if (pixels <= 0)
        throw DecodeError("empty picture");
    if (pixels > kMaxPixels)
        throw DecodeError("absurd picture size");
    if (pixels > encodable)
        throw DecodeError("picture larger than its data");
    if (memoryBytes > kDecodeMemoryBudget)
        throw DecodeError("picture too large to decode");
}

}  // namespace imaging
