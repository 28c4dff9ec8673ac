#include "imaging/metafile_repair.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "imaging/decode_budget.h"

namespace imaging {

namespace {

uint16_t rd16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t rd32(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
void wr16(unsigned char* p, uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
void wr32(unsigned char* p, uint32_t v)
{
    wr16(p, v);
    wr16(p + 2, v >> 16);
}
template <class Byte>
void put32(std::vector<Byte>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<Byte>(v >> (8 * i)));
}

// ---- WMF -------------------------------------------------------------

constexpr uint16_t kWmfCreateRegion = 0x06FF;
constexpr uint16_t kWmfSelectObject = 0x012D;
constexpr uint16_t kWmfDeleteObject = 0x01F0;

bool wmfCreatesObject(uint16_t function)
{
    switch (function) {
    case 0x02FA:  // pen
    case 0x02FC:  // brush
    case 0x02FB:  // font
    case 0x00F7:  // palette
    case 0x0142:  // DIB pattern brush
    case 0x01F9:  // pattern brush
    case kWmfCreateRegion:
        return true;
    default:
        return false;
    }
}

bool wmfUsesRegion(uint16_t function)
{
    switch (function) {
    case 0x0228:  // fill region
    case 0x0429:  // frame region
    case 0x012A:  // invert region
    case 0x012B:  // paint region
    case 0x012C:  // select clip region
        return true;
    default:
        return false;
    }
}

}  // namespace

namespace {

// Calls `visit(record, bytes, function)` for each record after the header
// (and placeable header), up to the end record or the first that runs past
// the data, until `visit` returns false. The library ends only at an end
// record of three words: it plays what follows a longer one.
template <class Visit>
void forEachWmfRecord(const unsigned char* data, size_t size, Visit visit)
{
    if (!data || size < 18)
        return;
    const size_t start = rd32(data) == 0x9AC6CDD7u ? 22 : 0;
    if (size < start + 18)
        return;
    size_t o = start + size_t{rd16(data + start + 2)} * 2;
    while (o + 6 <= size) {
        const size_t words = rd32(data + o);
        if (words < 3 || words > (size - o) / 2)
            return;
        const uint16_t function = rd16(data + o + 4);
        if (!visit(data + o, words * 2, function) || (function == 0 && words == 3))
            return;
        o += words * 2;
    }
}

}  // namespace

size_t wmfRecordCount(const unsigned char* data, size_t size, size_t limit)
{
    size_t n = 0;
    forEachWmfRecord(data, size, [&n, limit](const unsigned char*, size_t, uint16_t) { return ++n <= limit; });
    return n;
}

namespace {

// Where a record's bitmap starts, from the record's start; 0 for records
// without one.
size_t wmfBitmapOffset(uint16_t function, size_t words)
{
    switch (function) {
    case 0x0142:  // DIB pattern brush: style, colour use
        return 6 + 2 * 2;
    case 0x0940:  // DIB blit: raster operation, six co-ordinates (none in the short form)
        return words == 12 ? 0 : 6 + 2 * 8;
    case 0x0b41:  // DIB stretch blit: raster operation, eight co-ordinates
        return 6 + 2 * 10;
    case 0x0f43:  // stretch DIB: raster operation, colour use, eight co-ordinates
        return 6 + 2 * 11;
    case 0x0d33:  // DIB to device: colour use, scan lines, seven co-ordinates
        return 6 + 2 * 9;
    default:
        return 0;
    }
}

bool wmfBitmapFits(const unsigned char* dib, size_t bytes)
{
    // The library reads a header cut short as bytes of 0xFF: sizes of 2^32.
    if (bytes < 12)
        return false;
    const uint32_t headerSize = rd32(dib);
    // A header of any size but a core header's 12 bytes is read as one of
    // 40 and its excess skipped: a smaller one made that skip run for 2^32.
    if (headerSize == 12)
        return true;
    if (headerSize < 40 || headerSize > bytes)
        return false;
    const int64_t width = static_cast<int32_t>(rd32(dib + 4));
    const int64_t height = std::abs(int64_t{static_cast<int32_t>(rd32(dib + 8))});
    const uint32_t bits = rd16(dib + 14), compression = rd32(dib + 16), colours = rd32(dib + 32);
    const uint64_t left = bytes - headerSize;
    if (uint64_t{colours} * 4 > left)
        return false;
    if (width < 0 || height * width > kMaxPixels)
        return false;
    const uint64_t pixels = static_cast<uint64_t>(width * height);
    if (compression == 1 || compression == 2)  // run-length coded
        return pixels <= left * kRlePixelsPerByte;
    if (compression == 4 || compression == 5)  // JPEG or PNG inside: the library draws nothing
        return true;
    const uint64_t rowBytes = (static_cast<uint64_t>(width) * std::max<uint32_t>(bits, 1) + 31) / 32 * 4;
    return rowBytes * static_cast<uint64_t>(height) <= left;
}

}  // namespace

bool wmfBitmapsFit(const unsigned char* data, size_t size)
{
    bool fit = true;
    forEachWmfRecord(data, size, [&fit](const unsigned char* rec, size_t bytes, uint16_t function) {
        // A brush of the plain pattern style holds an old device bitmap
        // rather than a DIB; the library reads that without harm.
        const size_t at = function == 0x0142 && bytes >= 8 && rd16(rec + 6) == 3 ? 0 : wmfBitmapOffset(function, bytes / 2);
        fit = !at || wmfBitmapFits(rec + std::min(at, bytes), bytes - std::min(at, bytes));
        return fit;
    });
    return fit;
}

bool wmfPolyPolygonsFit(const unsigned char* data, size_t size)
{
    bool fit = true;
    forEachWmfRecord(data, size, [&fit](const unsigned char* rec, size_t bytes, uint16_t function) {
        if (function != 0x0538)
            return true;
        // The polygon count, each polygon's point count, then the points
        // (two words each), all within the record's parameters.
        const size_t words = bytes / 2 - 3;
        uint64_t needed = 1;
        if (words >= 1) {
            const size_t polygons = rd16(rec + 6);
            needed += polygons;
            for (size_t i = 0; i < polygons && needed <= words; ++i)
                needed += 2 * uint64_t{rd16(rec + 8 + 2 * i)};
        }
        fit = needed <= words;
        return fit;
    });
    return fit;
}

std::vector<unsigned char> wmfWithoutRegions(const unsigned char* data, size_t size)
{
    if (!data || size < 18)
        return {};
    size_t start = 0;
    if (rd32(data) == 0x9AC6CDD7u)
        start = 22;
    if (size < start + 18)
        return {};
    const size_t headerBytes = size_t{rd16(data + start + 2)} * 2;
    if (headerBytes < 18 || headerBytes > size - start)
        return {};
    const size_t objects = rd16(data + start + 10);

    std::vector<unsigned char> out(data, data + start + headerBytes);
    // Which object slots are taken, and which of them stand for a region.
    std::vector<char> taken(objects, 0), region(objects, 0);
    auto takeSlot = [&](bool isRegion) {
        for (size_t i = 0; i < objects; ++i)
            if (!taken[i]) {
                taken[i] = 1;
                region[i] = isRegion;
                return;
            }
    };
    bool changed = false;
    uint32_t maxRecord = 0;
    size_t o = start + headerBytes;
    while (o + 6 <= size) {
        const size_t words = rd32(data + o);
        const uint16_t function = rd16(data + o + 4);
        if (words < 3 || words > (size - o) / 2) {
            out.insert(out.end(), data + o, data + size);
            break;
        }
        const unsigned char* rec = data + o;
        const size_t bytes = words * 2;
        o += bytes;
        const uint16_t param0 = bytes >= 8 ? rd16(rec + 6) : 0xFFFF;
        if (function == kWmfCreateRegion) {
            takeSlot(true);
            // A null pen holds the region's place in the object table.
            const unsigned char pen[16] = {8, 0, 0, 0, 0xFA, 0x02, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0};
            out.insert(out.end(), pen, pen + sizeof pen);
            maxRecord = std::max<uint32_t>(maxRecord, 8);
            changed = true;
            continue;
        }
        if (wmfUsesRegion(function) || (function == kWmfSelectObject && param0 < objects && region[param0])) {
            changed = true;
            continue;
        }
        if (wmfCreatesObject(function))
            takeSlot(false);
        else if (function == kWmfDeleteObject && param0 < objects)
            taken[param0] = region[param0] = 0;
        out.insert(out.end(), rec, rec + bytes);
        maxRecord = std::max<uint32_t>(maxRecord, static_cast<uint32_t>(words));
        if (function == 0)
            break;
    }
    if (!changed)
        return {};
    unsigned char* header = out.data() + start;
    wr32(header + 6, static_cast<uint32_t>((out.size() - start) / 2));
    wr32(header + 12, maxRecord);
    return out;
}
}  // namespace imaging
