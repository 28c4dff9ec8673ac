// The walks over the containers of today's picture files, to their Exif and
// their embedded JPEG previews.
#include "metadata/containers.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace metadata {

namespace {

// Box and chunk walks stop after this many entries, so a file of millions
// of tiny boxes costs no more than a real one.
constexpr int kMaxEntries = 4096;
// The metadata box of a HEIF file is read whole; real ones are a few
// kilobytes (a 48-tile grid about 2 KB of item locations).
constexpr int64_t kMaxMetaBox = 4 * 1024 * 1024;
// TIFF walks: IFDs visited and entries looked at, each far above a real
// raw file's (a dozen IFDs of a few hundred entries).
constexpr int kMaxIfds = 64;
constexpr int kMaxIfdEntries = 1024;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool endsWith(std::string_view name, std::string_view ending)
{
    if (name.size() < ending.size())
        return false;
    const std::string_view tail = name.substr(name.size() - ending.size());
    for (size_t i = 0; i < ending.size(); ++i)
        if (lower(tail[i]) != ending[i])
            return false;
    return true;
}

// Reads numbers from a source, each wholly inside it or absent.
class Reader {
public:
    explicit Reader(ByteSource& s) : src_(s) {}

    bool bytes(int64_t at, void* dest, int64_t n) { return at >= 0 && n >= 0 && src_.readAt(at, dest, n) == n; }
    bool u8(int64_t at, uint8_t& v) { return bytes(at, &v, 1); }
    bool u16(int64_t at, uint16_t& v, bool le)
    {
        uint8_t b[2];
        if (!bytes(at, b, 2))
            return false;
        v = le ? static_cast<uint16_t>(b[0] | b[1] << 8) : static_cast<uint16_t>(b[0] << 8 | b[1]);
        return true;
    }
    bool u32(int64_t at, uint32_t& v, bool le)
    {
        uint8_t b[4];
        if (!bytes(at, b, 4))
            return false;
        v = le ? (uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24)
               : (uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | uint32_t(b[3]));
        return true;
    }
    bool u64(int64_t at, uint64_t& v)
    {
        uint32_t hi = 0, lo = 0;
        if (!u32(at, hi, false) || !u32(at + 4, lo, false))
            return false;
        v = uint64_t(hi) << 32 | lo;
        return true;
    }
    int64_t size()
    {
        if (size_ == -2)
            size_ = src_.size();
        return size_;
    }
    // Whether [at, at + n) lies inside the data (when its size is known).
    bool holds(int64_t at, int64_t n)
    {
        if (at < 0 || n < 0)
            return false;
        const int64_t s = size();
        return s < 0 || (at <= s && n <= s - at);
    }

private:
    ByteSource& src_;
    int64_t size_ = -2;
};

// --- ISO base media file format ---------------------------------------------

struct Box {
    char type[4] = {};
    int64_t start = 0;    // of the header
    int64_t payload = 0;  // first byte after the header
    int64_t end = 0;      // one past the box
    bool is(const char* t) const { return std::memcmp(type, t, 4) == 0; }
};

// The box at `at` inside a parent ending at `limit`; false when none fits.
bool readBox(Reader& r, int64_t at, int64_t limit, Box& box)
{
    uint32_t size32 = 0;
    if (at + 8 > limit || !r.u32(at, size32, false) || !r.bytes(at + 4, box.type, 4))
        return false;
    box.start = at;
    int64_t size = size32;
    int64_t header = 8;
    if (size32 == 1) {
        uint64_t large = 0;
        if (!r.u64(at + 8, large) || large > uint64_t(INT64_MAX))
            return false;
        size = static_cast<int64_t>(large);
        header = 16;
    } else if (size32 == 0) {
        size = limit - at;  // to the end of the parent
    }
    if (size < header || size > limit - at)
        return false;
    box.payload = at + header;
    box.end = at + size;
    return true;
}

// Calls fn(box) for every child box in [from, limit) until fn returns false.
template <class Fn>
void forEachBox(Reader& r, int64_t from, int64_t limit, Fn fn)
{
    Box box;
    for (int n = 0; n < kMaxEntries && readBox(r, from, limit, box); ++n) {
        if (!fn(box))
            return;
        from = box.end;
    }
}

// A view of a box held in memory, for the item tables of a HEIF meta box.
class Bytes {
public:
    Bytes(const uint8_t* data, int64_t size) : d_(data), n_(size) {}
    bool has(int64_t at, int64_t k) const { return at >= 0 && k >= 0 && at <= n_ && k <= n_ - at; }
    // A big-endian number of k bytes (0, 1, 2, 4 or 8); false past the end.
    bool num(int64_t at, int k, uint64_t& v) const
    {
        if (!has(at, k))
            return false;
        v = 0;
        for (int i = 0; i < k; ++i)
            v = v << 8 | d_[at + i];
        return true;
    }

private:
    const uint8_t* d_;
    int64_t n_;
};

struct ItemLocation {
    int method = 0;
    uint64_t baseOffset = 0;
    Extent extent;  // relative to the base
    bool single = false;
};

// Walks the meta box of a HEIF file (read whole into memory) to the Exif
// item's bytes in the file.
Extent heifExifItem(Reader& r, const Box& meta)
{
    const int64_t n = meta.end - meta.payload;
    if (n <= 4 || n > kMaxMetaBox)
        return {};
    std::vector<uint8_t> buf(static_cast<size_t>(n));
    if (!r.bytes(meta.payload, buf.data(), n))
        return {};
    MemorySource inner(buf.data(), buf.size());
    Reader m(inner);
    const Bytes b(buf.data(), n);

    uint32_t exifItem = 0;
    bool haveExif = false;
    Extent ilocBox, idatBox;
    forEachBox(m, 4, n, [&](const Box& box) {
        if (box.is("iinf")) {
            uint64_t version = 0, count = 0;
            if (!b.num(box.payload, 1, version))
                return true;
            const int countSize = version == 0 ? 2 : 4;
            if (!b.num(box.payload + 4, countSize, count))
                return true;
            forEachBox(m, box.payload + 4 + countSize, box.end, [&](const Box& infe) {
                uint64_t v = 0, id = 0;
                if (!infe.is("infe") || !b.num(infe.payload, 1, v) || v < 2)
                    return true;
                const int idSize = v == 2 ? 2 : 4;
                const int64_t typeAt = infe.payload + 4 + idSize + 2;
                if (!b.num(infe.payload + 4, idSize, id) || !b.has(typeAt, 4) || typeAt + 4 > infe.end)
                    return true;
                if (std::memcmp(buf.data() + typeAt, "Exif", 4) == 0 && !haveExif) {
                    exifItem = static_cast<uint32_t>(id);
                    haveExif = true;
                }
                return true;
            });
        } else if (box.is("iloc")) {
            ilocBox = {box.payload, box.end - box.payload};
        } else if (box.is("idat")) {
            idatBox = {box.payload, box.end - box.payload};
        }
        return true;
    });
    if (!haveExif || ilocBox.empty())
        return {};

    // The item's location.
    int64_t at = ilocBox.offset;
    const int64_t end = ilocBox.offset + ilocBox.size;
    uint64_t version = 0, sizes = 0, sizes2 = 0, count = 0;
    if (!b.num(at, 1, version) || version > 2 || !b.num(at + 4, 1, sizes) || !b.num(at + 5, 1, sizes2))
        return {};
    const int offsetSize = static_cast<int>(sizes >> 4), lengthSize = static_cast<int>(sizes & 15);
    const int baseSize = static_cast<int>(sizes2 >> 4), indexSize = version >= 1 ? static_cast<int>(sizes2 & 15) : 0;
    for (int k : {offsetSize, lengthSize, baseSize, indexSize})
        if (k != 0 && k != 4 && k != 8)
            return {};
    at += 6;
    const int countSize = version < 2 ? 2 : 4;
    if (!b.num(at, countSize, count))
        return {};
    at += countSize;
    for (uint64_t i = 0; i < count && i < kMaxEntries && at < end; ++i) {
        uint64_t id = 0, method = 0, base = 0, extents = 0;
        if (!b.num(at, countSize, id))
            return {};
        at += countSize;
        if (version >= 1) {
            if (!b.num(at, 2, method))
                return {};
            method &= 15;
            at += 2;
        }
        at += 2;  // data reference index
        if (!b.num(at, baseSize, base) || !b.num(at + baseSize, 2, extents))
            return {};
        at += baseSize + 2;
        ItemLocation loc;
        loc.method = static_cast<int>(method);
        loc.baseOffset = base;
        const int64_t extentSize = indexSize + offsetSize + lengthSize;
        if (extents == 1) {
            uint64_t offset = 0, length = 0;
            if (!b.num(at + indexSize, offsetSize, offset) || !b.num(at + indexSize + offsetSize, lengthSize, length))
                return {};
            if (offset > uint64_t(INT64_MAX / 2) || length > uint64_t(INT64_MAX / 2))
                return {};
            loc.extent = {static_cast<int64_t>(offset), static_cast<int64_t>(length)};
            loc.single = true;
        }
        if (!b.has(at, static_cast<int64_t>(extents) * extentSize))
            return {};
        at += static_cast<int64_t>(extents) * extentSize;
        if (id != exifItem)
            continue;
        // An Exif item in pieces is left out: cameras and phones write it
        // in one.
        if (!loc.single || loc.baseOffset > uint64_t(INT64_MAX / 2))
            return {};
        int64_t start = static_cast<int64_t>(loc.baseOffset) + loc.extent.offset;
        int64_t length = loc.extent.size;
        if (loc.method == 0) {
            if (length == 0 && r.size() >= 0)
                length = r.size() - start;  // to the end of the file
        } else if (loc.method == 1) {
            if (idatBox.empty() || start > idatBox.size)
                return {};
            if (length == 0)
                length = idatBox.size - start;
            if (length > idatBox.size - start)
                return {};
            start += meta.payload + idatBox.offset;
        } else {
            return {};
        }
        if (length <= 0 || !r.holds(start, length))
            return {};
        return {start, length};
    }
    return {};
}

// An Exif item or box starts with the offset of its TIFF header.
ExifPlace tiffAfterOffset(Reader& r, Extent item)
{
    uint32_t skip = 0;
    if (item.size < 4 || !r.u32(item.offset, skip, false) || skip > item.size - 4)
        return {};
    ExifPlace place;
    place.form = ExifPlace::Form::Tiff;
    place.where = {item.offset + 4 + skip, item.size - 4 - skip};
    return place;
}

const uint8_t kCanonUuid[16] = {0x85, 0xc0, 0xb6, 0x87, 0x82, 0x0f, 0x11, 0xe0,
                                0x81, 0x11, 0xf4, 0xce, 0x46, 0x2b, 0x6a, 0x48};
const uint8_t kCanonPreviewUuid[16] = {0xea, 0xf4, 0x2b, 0x5e, 0x1c, 0x98, 0x4b, 0x88,
                                       0xb9, 0xfb, 0xb7, 0xdc, 0x40, 0x6e, 0x4d, 0x16};

bool uuidIs(Reader& r, const Box& box, const uint8_t* id)
{
    uint8_t got[16];
    return box.is("uuid") && box.end - box.payload >= 16 && r.bytes(box.payload, got, 16) &&
           std::memcmp(got, id, 16) == 0;
}

// The pictures a derived picture (grid, overlay, identity) is made of, by
// item: the meta box's item types, primary item and "dimg" references.
struct Derivations {
    uint64_t primary = 0;
    std::map<uint64_t, std::string> types;
    std::map<uint64_t, std::vector<uint64_t>> parts;
};

bool readDerivations(Reader& r, const Box& meta, Derivations& out)
{
    const int64_t n = meta.end - meta.payload;
    if (n <= 4 || n > kMaxMetaBox)
        return false;
    std::vector<uint8_t> buf(static_cast<size_t>(n));
    if (!r.bytes(meta.payload, buf.data(), n))
        return false;
    MemorySource inner(buf.data(), buf.size());
    Reader m(inner);
    const Bytes b(buf.data(), n);
    bool sound = true;
    forEachBox(m, 4, n, [&](const Box& box) {
        uint64_t version = 0;
        if (!b.num(box.payload, 1, version))
            return sound = false;
        if (box.is("pitm")) {
            sound = b.num(box.payload + 4, version == 0 ? 2 : 4, out.primary);
        } else if (box.is("iinf")) {
            const int countSize = version == 0 ? 2 : 4;
            forEachBox(m, box.payload + 4 + countSize, box.end, [&](const Box& infe) {
                uint64_t v = 0, id = 0;
                if (!infe.is("infe") || !b.num(infe.payload, 1, v) || v < 2)
                    return true;
                const int idSize = v == 2 ? 2 : 4;
                const int64_t typeAt = infe.payload + 4 + idSize + 2;
                if (b.num(infe.payload + 4, idSize, id) && b.has(typeAt, 4) && typeAt + 4 <= infe.end)
                    out.types[id].assign(reinterpret_cast<const char*>(buf.data() + typeAt), 4);
                return true;
            });
        } else if (box.is("iref")) {
            const int idSize = version == 0 ? 2 : 4;
            forEachBox(m, box.payload + 4, box.end, [&](const Box& ref) {
                uint64_t from = 0, count = 0;
                if (!b.num(ref.payload, idSize, from) || !b.num(ref.payload + idSize, 2, count))
                    return sound = false;
                if (!ref.is("dimg"))
                    return true;
                std::vector<uint64_t>& to = out.parts[from];
                for (uint64_t i = 0; i < count; ++i) {
                    uint64_t id = 0;
                    const int64_t at = ref.payload + idSize + 2 + static_cast<int64_t>(i) * idSize;
                    if (at + idSize > ref.end || !b.num(at, idSize, id) || to.size() >= size_t(kMaxEntries))
                        return sound = false;
                    to.push_back(id);
                }
                return true;
            });
        }
        return sound;
    });
    return sound;
}

bool isDerived(const std::string& type) { return type == "grid" || type == "iovl" || type == "iden"; }
// The items a HEIF decoder makes pictures of.
bool isPictureItem(const std::string& type)
{
    return isDerived(type) || type == "hvc1" || type == "av01" || type == "vvc1";
}

ExifPlace isobmffExif(Reader& r)
{
    ExifPlace place;
    const int64_t limit = r.size() < 0 ? INT64_MAX : r.size();
    forEachBox(r, 0, limit, [&](const Box& top) {
        if (top.is("meta")) {
            const Extent item = heifExifItem(r, top);
            if (!item.empty())
                place = tiffAfterOffset(r, item);
            return false;
        }
        if (top.is("moov")) {
            forEachBox(r, top.payload, top.end, [&](const Box& box) {
                if (!uuidIs(r, box, kCanonUuid))
                    return true;
                forEachBox(r, box.payload + 16, box.end, [&](const Box& cmt) {
                    static const char* const kNames[4] = {"CMT1", "CMT2", "CMT3", "CMT4"};
                    for (int i = 0; i < 4; ++i)
                        if (cmt.is(kNames[i]) && place.cr3[i].empty())
                            place.cr3[i] = {cmt.payload, cmt.end - cmt.payload};
                    return true;
                });
                return false;
            });
            if (!place.cr3[0].empty() || !place.cr3[1].empty())
                place.form = ExifPlace::Form::Cr3;
            return false;
        }
        return true;
    });
    return place;
}

// --- WebP ----------------------------------------------------------------------

ExifPlace webpExif(Reader& r)
{
    char head[12];
    if (!r.bytes(0, head, 12) || std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WEBP", 4) != 0)
        return {};
    uint32_t riffSize = 0;
    r.u32(4, riffSize, true);
    int64_t end = int64_t(riffSize) + 8;
    if (r.size() >= 0)
        end = std::min(end, r.size());
    int64_t at = 12;
    for (int n = 0; n < kMaxEntries && at + 8 <= end; ++n) {
        char fourcc[4];
        uint32_t size = 0;
        if (!r.bytes(at, fourcc, 4) || !r.u32(at + 4, size, true))
            return {};
        const int64_t data = at + 8;
        if (size > end - data)
            return {};
        if (std::memcmp(fourcc, "EXIF", 4) == 0) {
            ExifPlace place;
            place.form = ExifPlace::Form::Tiff;
            place.where = {data, size};
            // Some writers keep the JPEG segment's "Exif\0\0" before the
            // TIFF header.
            char id[6];
            if (size >= 6 && r.bytes(data, id, 6) && std::memcmp(id, "Exif\0\0", 6) == 0)
                place.where = {data + 6, int64_t(size) - 6};
            return place;
        }
        at = data + size + (size & 1);
    }
    return {};
}

// --- JPEG XL -------------------------------------------------------------------

const uint8_t kJxlSignature[12] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};

ExifPlace jxlExif(Reader& r)
{
    uint8_t head[12];
    if (!r.bytes(0, head, 12) || std::memcmp(head, kJxlSignature, 12) != 0)
        return {};  // a bare code stream carries no Exif
    ExifPlace place;
    const int64_t limit = r.size() < 0 ? INT64_MAX : r.size();
    forEachBox(r, 0, limit, [&](const Box& box) {
        if (box.is("Exif")) {
            place = tiffAfterOffset(r, {box.payload, box.end - box.payload});
            return false;
        }
        char inner[4];
        if (box.is("brob") && box.end - box.payload > 4 && r.bytes(box.payload, inner, 4) &&
            std::memcmp(inner, "Exif", 4) == 0) {
            place.form = ExifPlace::Form::Tiff;
            place.brotli = true;
            place.where = {box.payload + 4, box.end - box.payload - 4};
            return false;
        }
        return true;
    });
    return place;
}

// --- TIFF-based raw files ------------------------------------------------------

struct TiffHeader {
    bool le = false;
    uint32_t ifd0 = 0;
};

bool readTiffHeader(Reader& r, int64_t base, uint16_t magic, TiffHeader& h)
{
    uint8_t order[2];
    uint16_t m = 0;
    if (!r.bytes(base, order, 2))
        return false;
    if (order[0] == 'I' && order[1] == 'I')
        h.le = true;
    else if (order[0] == 'M' && order[1] == 'M')
        h.le = false;
    else
        return false;
    return r.u16(base + 2, m, h.le) && m == magic && r.u32(base + 4, h.ifd0, h.le);
}

// One IFD entry's number of values and where they are (in the entry, or at
// the offset it holds).
struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    int64_t valueAt = 0;
    int64_t byteSize() const
    {
        static const int kSizes[] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
        return type < std::size(kSizes) ? int64_t(kSizes[type]) * count : 0;
    }
};

bool readEntry(Reader& r, int64_t at, bool le, Entry& e)
{
    uint32_t v = 0;
    if (!r.u16(at, e.tag, le) || !r.u16(at + 2, e.type, le) || !r.u32(at + 4, e.count, le))
        return false;
    e.valueAt = at + 8;
    if (e.byteSize() > 4) {
        if (!r.u32(at + 8, v, le))
            return false;
        e.valueAt = -1 - int64_t(v);  // marks an offset still to be based
    }
    return true;
}

bool valueNumber(Reader& r, const Entry& e, int64_t base, bool le, uint32_t index, uint32_t& out)
{
    const int64_t at = e.valueAt < 0 ? base + (-1 - e.valueAt) : e.valueAt;
    if (e.type == 3) {
        uint16_t v = 0;
        if (!r.u16(at + 2 * int64_t(index), v, le))
            return false;
        out = v;
        return true;
    }
    if (e.type == 4 || e.type == 13)
        return r.u32(at + 4 * int64_t(index), out, le);
    return false;
}

// Collects the JPEG streams a TIFF structure points at: JPEGInterchange-
// Format with its length, single-strip JPEG-compressed pictures, and RW2's
// embedded JPEG; in every IFD of the chain and their sub-IFDs.
void tiffPreviews(Reader& r, int64_t base, const TiffHeader& h, std::vector<Extent>& out)
{
    std::vector<int64_t> ifds{base + h.ifd0};
    for (size_t k = 0; k < ifds.size() && k < kMaxIfds; ++k) {
        const int64_t ifd = ifds[k];
        uint16_t n = 0;
        if (!r.u16(ifd, n, h.le))
            continue;
        uint32_t jpegAt = 0, jpegLength = 0, compression = 0, stripAt = 0, stripLength = 0;
        bool oneStrip = false;
        for (int i = 0; i < n && i < kMaxIfdEntries; ++i) {
            Entry e;
            if (!readEntry(r, ifd + 2 + 12 * int64_t(i), h.le, e))
                break;
            uint32_t v = 0;
            switch (e.tag) {
            case 0x002E:  // RW2's embedded JPEG
                if (e.type == 7 && e.valueAt < 0)
                    out.push_back({base + (-1 - e.valueAt), e.count});
                break;
            case 0x0201:
                valueNumber(r, e, base, h.le, 0, jpegAt);
                break;
            case 0x0202:
                valueNumber(r, e, base, h.le, 0, jpegLength);
                break;
            case 0x0103:
                valueNumber(r, e, base, h.le, 0, compression);
                break;
            case 0x0111:
                oneStrip = e.count == 1 && valueNumber(r, e, base, h.le, 0, stripAt);
                break;
            case 0x0117:
                if (e.count == 1)
                    valueNumber(r, e, base, h.le, 0, stripLength);
                break;
            case 0x014A:  // sub-IFDs
                for (uint32_t j = 0; j < e.count && j < 16; ++j)
                    if (valueNumber(r, e, base, h.le, j, v) && v != 0 &&
                        std::find(ifds.begin(), ifds.end(), base + v) == ifds.end())
                        ifds.push_back(base + v);
                break;
            default:
                break;
            }
        }
        if (jpegAt != 0 && jpegLength != 0)
            out.push_back({base + jpegAt, jpegLength});
        if ((compression == 6 || compression == 7) && oneStrip && stripAt != 0 && stripLength != 0)
            out.push_back({base + stripAt, stripLength});
        uint32_t next = 0;
        if (r.u32(ifd + 2 + 12 * int64_t(n), next, h.le) && next != 0 &&
            std::find(ifds.begin(), ifds.end(), base + next) == ifds.end())
            ifds.push_back(base + next);
    }
}

// RW2's IFD0 holds the embedded JPEG (tag 0x2E), whose Exif has the
// camera's standard tags and maker note.
Extent rw2EmbeddedJpeg(Reader& r)
{
    TiffHeader h;
    if (!readTiffHeader(r, 0, 0x55, h) || !h.le)
        return {};
    uint16_t n = 0;
    if (!r.u16(h.ifd0, n, h.le))
        return {};
    for (int i = 0; i < n && i < kMaxIfdEntries; ++i) {
        Entry e;
        if (!readEntry(r, h.ifd0 + 2 + 12 * int64_t(i), h.le, e))
            return {};
        if (e.tag == 0x002E && e.type == 7 && e.valueAt < 0) {
            const Extent x{-1 - e.valueAt, e.count};
            return r.holds(x.offset, x.size) ? x : Extent{};
        }
    }
    return {};
}

// CR3's previews: the picture of the first track (a full-size JPEG) and the
// PRVW and THMB boxes.
void cr3Previews(Reader& r, std::vector<Extent>& out)
{
    const int64_t limit = r.size() < 0 ? INT64_MAX : r.size();
    // A JPEG stream begins within the first bytes of a preview box.
    auto jpegIn = [&](int64_t from, int64_t end) {
        uint8_t head[64];
        const int64_t n = std::min<int64_t>(64, end - from);
        if (n < 4 || !r.bytes(from, head, n))
            return;
        for (int64_t i = 0; i + 2 < n; ++i)
            if (head[i] == 0xFF && head[i + 1] == 0xD8 && head[i + 2] == 0xFF) {
                out.push_back({from + i, end - from - i});
                return;
            }
    };
    bool firstTrack = true;
    forEachBox(r, 0, limit, [&](const Box& top) {
        if (top.is("moov")) {
            forEachBox(r, top.payload, top.end, [&](const Box& box) {
                if (uuidIs(r, box, kCanonUuid)) {
                    forEachBox(r, box.payload + 16, box.end, [&](const Box& b) {
                        if (b.is("THMB"))
                            jpegIn(b.payload, b.end);
                        return true;
                    });
                } else if (box.is("trak") && firstTrack) {
                    firstTrack = false;
                    // trak/mdia/minf/stbl: the first chunk's offset and the
                    // first sample's size.
                    int64_t offset = -1, length = -1;
                    std::function<void(int64_t, int64_t, int)> walk = [&](int64_t from, int64_t end, int depth) {
                        forEachBox(r, from, end, [&](const Box& c) {
                            if (depth < 4 && (c.is("mdia") || c.is("minf") || c.is("stbl")))
                                walk(c.payload, c.end, depth + 1);
                            uint32_t v = 0;
                            uint64_t v64 = 0;
                            if (c.is("co64") && r.u32(c.payload + 4, v, false) && v > 0 && r.u64(c.payload + 8, v64) &&
                                v64 < uint64_t(INT64_MAX))
                                offset = static_cast<int64_t>(v64);
                            if (c.is("stco") && r.u32(c.payload + 4, v, false) && v > 0 && r.u32(c.payload + 8, v, false))
                                offset = v;
                            if (c.is("stsz") && r.u32(c.payload + 4, v, false)) {
                                if (v != 0)
                                    length = v;
                                else if (r.u32(c.payload + 8, v, false) && v > 0 && r.u32(c.payload + 12, v, false))
                                    length = v;
                            }
                            return true;
                        });
                    };
                    walk(box.payload, box.end, 0);
                    if (offset > 0 && length > 0)
                        out.push_back({offset, length});
                }
                return true;
            });
        } else if (uuidIs(r, top, kCanonPreviewUuid)) {
            forEachBox(r, top.payload + 16 + 8, top.end, [&](const Box& b) {
                if (b.is("PRVW"))
                    jpegIn(b.payload, b.end);
                return true;
            });
        }
        return true;
    });
}

}  // namespace

int64_t MemorySource::readAt(int64_t at, void* dest, int64_t n)
{
    if (at < 0 || n <= 0 || at >= size_)
        return 0;
    const int64_t got = std::min(n, size_ - at);
    std::memcpy(dest, data_ + at, static_cast<size_t>(got));
    return got;
}

Container containerForName(std::string_view name)
{
    if (endsWith(name, ".jpg") || endsWith(name, ".jpeg"))
        return Container::Jpeg;
    if (endsWith(name, ".heic") || endsWith(name, ".heif") || endsWith(name, ".avif") || endsWith(name, ".cr3"))
        return Container::Isobmff;
    if (endsWith(name, ".webp"))
        return Container::Webp;
    if (endsWith(name, ".jxl"))
        return Container::Jxl;
    if (endsWith(name, ".cr2") || endsWith(name, ".nef") || endsWith(name, ".dng"))
        return Container::Tiff;
    if (endsWith(name, ".rw2"))
        return Container::Rw2;
    return Container::None;
}

ExifPlace locateExif(ByteSource& source, Container container)
{
    Reader r(source);
    ExifPlace place;
    switch (container) {
    case Container::None:
        break;
    case Container::Jpeg:
        place.form = ExifPlace::Form::JpegStream;
        place.where = {0, r.size()};
        break;
    case Container::Tiff: {
        TiffHeader h;
        if (readTiffHeader(r, 0, 42, h)) {
            place.form = ExifPlace::Form::Tiff;
            place.where = {0, r.size()};
        }
        break;
    }
    case Container::Rw2: {
        const Extent jpeg = rw2EmbeddedJpeg(r);
        if (!jpeg.empty()) {
            place.form = ExifPlace::Form::JpegStream;
            place.where = jpeg;
        }
        break;
    }
    case Container::Isobmff:
        place = isobmffExif(r);
        break;
    case Container::Webp:
        place = webpExif(r);
        break;
    case Container::Jxl:
        place = jxlExif(r);
        break;
    }
    return place;
}

std::vector<Extent> rawJpegPreviews(ByteSource& source, Container container)
{
    Reader r(source);
    std::vector<Extent> out;
    TiffHeader h;
    if (container == Container::Tiff && readTiffHeader(r, 0, 42, h))
        tiffPreviews(r, 0, h, out);
    else if (container == Container::Rw2 && readTiffHeader(r, 0, 0x55, h))
        tiffPreviews(r, 0, h, out);
    else if (container == Container::Isobmff)
        cr3Previews(r, out);
    // Only what lies inside the file, each stream once, biggest last.
    std::vector<Extent> kept;
    for (const Extent& e : out)
        if (e.size >= 4 && r.holds(e.offset, e.size) &&
            std::none_of(kept.begin(), kept.end(), [&](const Extent& k) { return k.offset == e.offset; }))
            kept.push_back(e);
    std::stable_sort(kept.begin(), kept.end(), [](const Extent& a, const Extent& b) { return a.size < b.size; });
    return kept;
}

Extent jpegExifThumbnail(ByteSource& source)
{
    Reader r(source);
    uint8_t m[4];
    if (!r.bytes(0, m, 2) || m[0] != 0xFF || m[1] != 0xD8)
        return {};
    // The segments before the picture's data; Exif comes among the first.
    int64_t at = 2;
    for (int k = 0; k < 32; ++k) {
        if (!r.bytes(at, m, 4) || m[0] != 0xFF)
            return {};
        const uint8_t marker = m[1];
        const int64_t length = int64_t(m[2]) << 8 | m[3];
        if (marker == 0xDA || marker == 0xD9 || length < 2)
            return {};
        uint8_t id[6];
        if (marker == 0xE1 && length >= 2 + 6 + 8 && r.bytes(at + 4, id, 6) && std::memcmp(id, "Exif\0\0", 6) == 0) {
            const int64_t tiff = at + 10, end = at + 2 + length;
            TiffHeader h;
            if (!readTiffHeader(r, tiff, 42, h))
                return {};
            std::vector<Extent> streams;
            tiffPreviews(r, tiff, h, streams);
            // The smallest stream inside the segment that begins as a JPEG.
            Extent best;
            for (const Extent& e : streams) {
                if (e.size < 4 || e.offset < tiff || e.offset + e.size > end || !r.bytes(e.offset, id, 3) ||
                    id[0] != 0xFF || id[1] != 0xD8 || id[2] != 0xFF)
                    continue;
                if (best.empty() || e.size < best.size)
                    best = e;
            }
            return best;
        }
        at += 2 + length;
    }
    return {};
}

namespace {

// The bits of an HEVC parameter set, its emulation prevention bytes
// (00 00 03) taken out; or of an AV1 unit as they stand.
class RbspBits {
public:
    RbspBits(const uint8_t* nal, size_t size, bool emulationPrevention = true)
    {
        int zeros = 0;
        for (size_t i = 0; i < size; ++i) {
            if (emulationPrevention && zeros >= 2 && nal[i] == 3) {
                zeros = 0;
                continue;
            }
            zeros = nal[i] == 0 ? zeros + 1 : 0;
            bytes_.push_back(nal[i]);
        }
    }
    bool bits(int n, uint64_t& v)
    {
        v = 0;
        for (int i = 0; i < n; ++i) {
            if (at_ >= bytes_.size() * 8)
                return false;
            v = v << 1 | ((bytes_[at_ / 8] >> (7 - at_ % 8)) & 1);
            ++at_;
        }
        return true;
    }
    bool skip(int n)
    {
        uint64_t v;
        for (; n > 32; n -= 32)
            if (!bits(32, v))
                return false;
        return bits(n, v);
    }
    // Exp-Golomb, as long as it fits 32 bits.
    bool ue(uint64_t& v)
    {
        int zeros = 0;
        uint64_t b = 0;
        while (bits(1, b) && b == 0)
            if (++zeros > 31)
                return false;
        if (b != 1)
            return false;
        uint64_t rest = 0;
        if (!bits(zeros, rest))
            return false;
        v = (uint64_t(1) << zeros) - 1 + rest;
        return true;
    }

private:
    std::vector<uint8_t> bytes_;
    size_t at_ = 0;
};

// pic_width_in_luma_samples x pic_height_in_luma_samples of a sequence
// parameter set NAL unit (its two-byte header included); -1 when unread.
int64_t spsPixels(const uint8_t* nal, size_t size)
{
    if (size < 3)
        return -1;
    RbspBits r(nal + 2, size - 2);
    uint64_t maxSubLayers = 0, v = 0;
    if (!r.skip(4) || !r.bits(3, maxSubLayers) || !r.skip(1))
        return -1;
    // profile_tier_level: the general profile and level, then each sub-
    // layer's flags and what they say is present.
    if (!r.skip(96))
        return -1;
    uint64_t present[8] = {};
    for (uint64_t i = 0; i < maxSubLayers; ++i)
        if (!r.bits(2, present[i]))
            return -1;
    if (maxSubLayers > 0 && !r.skip(2 * int(8 - maxSubLayers)))
        return -1;
    for (uint64_t i = 0; i < maxSubLayers; ++i)
        if (((present[i] & 2) && !r.skip(88)) || ((present[i] & 1) && !r.skip(8)))
            return -1;
    uint64_t chroma = 0, width = 0, height = 0;
    if (!r.ue(v) || !r.ue(chroma))
        return -1;
    if (chroma == 3 && !r.skip(1))
        return -1;
    if (!r.ue(width) || !r.ue(height))
        return -1;
    return int64_t(width) * int64_t(height);
}

// The largest picture the SPS units of one hvcC box's payload tell.
int64_t hvccPixels(const uint8_t* c, int64_t n)
{
    const Bytes b(c, n);
    uint64_t arrays = 0;
    if (!b.num(22, 1, arrays))
        return -1;
    int64_t at = 23, largest = 0;
    for (uint64_t a = 0; a < arrays; ++a) {
        uint64_t type = 0, count = 0;
        if (!b.num(at, 1, type) || !b.num(at + 1, 2, count))
            return -1;
        at += 3;
        for (uint64_t k = 0; k < count; ++k) {
            uint64_t length = 0;
            if (!b.num(at, 2, length) || !b.has(at + 2, int64_t(length)))
                return -1;
            if ((type & 0x3F) == 33) {
                const int64_t pixels = spsPixels(c + at + 2, size_t(length));
                if (pixels < 0)
                    return -1;
                largest = std::max(largest, pixels);
            }
            at += 2 + int64_t(length);
        }
    }
    return largest;
}

// max_frame_width x max_frame_height of an AV1 sequence header's payload;
// -1 when unread.
int64_t av1SequencePixels(const uint8_t* obu, size_t size)
{
    RbspBits r(obu, size, false);
    uint64_t reduced = 0;
    if (!r.skip(4) || !r.bits(1, reduced))  // seq_profile, still_picture
        return -1;
    if (reduced) {
        if (!r.skip(5))  // seq_level_idx
            return -1;
    } else {
        uint64_t timing = 0, model = 0, delayPresent = 0, points = 0, delayLength = 0;
        if (!r.bits(1, timing))
            return -1;
        if (timing) {
            uint64_t equal = 0;
            if (!r.skip(64) || !r.bits(1, equal))
                return -1;
            if (equal) {  // num_ticks_per_picture_minus_1, uvlc
                int zeros = 0;
                uint64_t b = 0;
                while (r.bits(1, b) && b == 0)
                    if (++zeros > 32)
                        return -1;
                if (b != 1 || (zeros < 32 && !r.skip(zeros)))
                    return -1;
            }
            if (!r.bits(1, model))
                return -1;
            if (model && (!r.bits(5, delayLength) || !r.skip(32 + 5 + 5)))
                return -1;
        }
        if (!r.bits(1, delayPresent) || !r.bits(5, points))
            return -1;
        for (uint64_t i = 0; i <= points; ++i) {
            uint64_t level = 0, present = 0;
            if (!r.skip(12) || !r.bits(5, level) || (level > 7 && !r.skip(1)))
                return -1;
            if (model && (!r.bits(1, present) || (present && !r.skip(2 * int(delayLength + 1) + 1))))
                return -1;
            if (delayPresent && (!r.bits(1, present) || (present && !r.skip(4))))
                return -1;
        }
    }
    uint64_t widthBits = 0, heightBits = 0, width = 0, height = 0;
    if (!r.bits(4, widthBits) || !r.bits(4, heightBits) || !r.bits(int(widthBits) + 1, width) ||
        !r.bits(int(heightBits) + 1, height))
        return -1;
    return int64_t(width + 1) * int64_t(height + 1);
}

// The largest picture the sequence headers among one av1C box's
// configuration units tell (0 when it carries none).
int64_t av1cPixels(const uint8_t* c, int64_t n)
{
    int64_t at = 4, largest = 0;
    while (at < n) {
        const uint8_t header = c[at];
        const int type = (header >> 3) & 0xF;
        at += (header & 4) ? 2 : 1;
        if (!(header & 2))
            return -1;  // in a configuration each unit has its size
        uint64_t length = 0;
        for (int k = 0;; ++k) {
            if (at >= n || k == 8)
                return -1;
            length |= uint64_t(c[at] & 0x7F) << (7 * k);
            if (!(c[at++] & 0x80))
                break;
        }
        if (length > uint64_t(n - at))
            return -1;
        if (type == 1) {  // OBU_SEQUENCE_HEADER
            const int64_t pixels = av1SequencePixels(c + at, size_t(length));
            if (pixels < 0)
                return -1;
            largest = std::max(largest, pixels);
        }
        at += int64_t(length);
    }
    return largest;
}

}  // namespace

bool isoBoxesNested(ByteSource& source)
{
    Reader r(source);
    const int64_t limit = r.size();
    if (limit < 0)
        return false;
    int boxes = 0;
    // Each box header in turn must fit the space left in its parent.
    std::function<bool(int64_t, int64_t, int)> fits = [&](int64_t from, int64_t end, int depth) {
        if (depth > 8)
            return false;
        while (from < end) {
            if (++boxes > kMaxEntries)
                return false;
            Box box;
            if (!readBox(r, from, end, box))
                return end - from < 8;  // a few bytes of padding at most
            int64_t children = -1;
            if (box.is("moov") || box.is("trak") || box.is("mdia") || box.is("minf") || box.is("stbl") ||
                box.is("dinf"))
                children = box.payload;
            else if (uuidIs(r, box, kCanonUuid))
                children = box.payload + 16;
            else if (box.is("stsd"))
                children = box.payload + 8;
            if (children >= 0 && children <= box.end && !fits(children, box.end, depth + 1))
                return false;
            from = box.end;
        }
        return true;
    };
    return fits(0, limit, 0);
}

int64_t heifLargestCodedPixels(ByteSource& source)
{
    Reader r(source);
    const int64_t limit = r.size() < 0 ? INT64_MAX : r.size();
    int64_t largest = 0;
    forEachBox(r, 0, limit, [&](const Box& top) {
        if (!top.is("meta"))
            return true;
        forEachBox(r, top.payload + 4, top.end, [&](const Box& iprp) {
            if (!iprp.is("iprp"))
                return true;
            forEachBox(r, iprp.payload, iprp.end, [&](const Box& ipco) {
                if (!ipco.is("ipco"))
                    return true;
                forEachBox(r, ipco.payload, ipco.end, [&](const Box& box) {
                    const int64_t n = box.end - box.payload;
                    if (!(box.is("hvcC") || box.is("av1C")) || largest < 0)
                        return largest >= 0;
                    std::vector<uint8_t> config(static_cast<size_t>(std::clamp<int64_t>(n, 0, 1 << 16)));
                    if (n > (1 << 16) || !r.bytes(box.payload, config.data(), n)) {
                        largest = -1;
                        return false;
                    }
                    const int64_t pixels =
                        box.is("hvcC") ? hvccPixels(config.data(), n) : av1cPixels(config.data(), n);
                    largest = pixels < 0 ? -1 : std::max(largest, pixels);
                    return largest >= 0;
                });
                return false;
            });
            return false;
        });
        return false;
    });
    return largest;
}

bool heifDerivationSound(ByteSource& source)
{
    Reader r(source);
    const int64_t limit = r.size() < 0 ? INT64_MAX : r.size();
    Derivations d;
    bool found = false, sound = true;
    forEachBox(r, 0, limit, [&](const Box& top) {
        if (!top.is("meta"))
            return true;
        found = true;
        sound = readDerivations(r, top, d);
        return false;
    });
    if (!found)
        return true;  // no item tables: the decoder refuses the file itself
    if (!sound)
        return false;
    // From the primary picture down: an identity may stand over a grid or an
    // overlay, whose parts must be coded pictures. Nothing is met twice on
    // the way (a picture made of itself), and the parts are bounded.
    std::set<uint64_t> met;
    size_t parts = 0;
    std::function<bool(uint64_t, int)> walk = [&](uint64_t item, int depth) {
        if (!met.insert(item).second || depth > 2)
            return false;
        const auto type = d.types.find(item);
        if (type == d.types.end() || !isDerived(type->second))
            return true;  // a coded picture (or one the decoder will refuse)
        const auto to = d.parts.find(item);
        if (to == d.parts.end() || to->second.empty())
            return false;
        for (uint64_t part : to->second) {
            const auto t = d.types.find(part);
            if (t == d.types.end() || !isPictureItem(t->second))
                return false;
            const bool derived = isDerived(t->second);
            if (derived && type->second != "iden")
                return false;  // a grid's tiles and an overlay's layers are coded
            if (!derived) {
                if (++parts > size_t(kMaxEntries))
                    return false;
                continue;  // a grid may use one tile many times
            }
            if (!walk(part, depth + 1))
                return false;
        }
        return true;
    };
    return walk(d.primary, 0);
}

}  // namespace metadata
