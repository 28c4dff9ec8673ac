#include "imaging/metafile_repair.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QRawFont>
#include <QThread>

#include <unicode/ucnv.h>
#include <uemf_safe.h>

#include "imaging/decode_budget.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

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

// ---- EMF -------------------------------------------------------------

constexpr uint32_t kEmrHeader = 1;
constexpr uint32_t kEmrEof = 14;
constexpr uint32_t kEmrSetViewportExtEx = 11;
constexpr uint32_t kEmrSaveDc = 33;
constexpr uint32_t kEmrRestoreDc = 34;
constexpr uint32_t kEmrSelectObject = 37;
constexpr uint32_t kEmrDeleteObject = 40;
constexpr uint32_t kEmrComment = 70;
constexpr uint32_t kEmrExtCreateFontIndirectW = 82;
constexpr uint32_t kEmrExtTextOutA = 83;
constexpr uint32_t kEmrExtTextOutW = 84;
constexpr uint32_t kEtoGlyphIndex = 0x10;
constexpr uint32_t kEtoPdy = 0x2000;
// Offsets inside an EMR_EXTTEXTOUT record (EMRTEXT starts at 36).
constexpr size_t kTextChars = 44, kTextOffString = 48, kTextOptions = 52, kTextOffDx = 72, kTextFixed = 76;

bool emfCreatesObject(uint32_t type)
{
    switch (type) {
    case 38:  // pen
    case 39:  // brush
    case 49:  // palette
    case 93:  // mono brush
    case 94:  // DIB pattern brush
    case 95:  // extended pen
    case 99:  // colour space
    case kEmrExtCreateFontIndirectW:
        return true;
    default:
        return false;
    }
}

struct EmfFont {
    int charset = 1;  // DEFAULT_CHARSET: the system's code page
    QString face;
};

const char* codePageOf(int charset)
{
    switch (charset) {
    case 0: return "windows-1252";
    case 2: return "ISO-8859-1";  // symbol fonts: the bytes are the glyphs
    case 77: return "macintosh";
    case 129: return "windows-949";
    case 134: return "windows-936";
    case 136: return "windows-950";
    case 161: return "windows-1253";
    case 162: return "windows-1254";
    case 163: return "windows-1258";
    case 177: return "windows-1255";
    case 178: return "windows-1256";
    case 186: return "windows-1257";
    case 204: return "windows-1251";
    case 222: return "windows-874";
    case 238: return "windows-1250";
    default: return "windows-31j";  // default, OEM and Shift-JIS: code page 932
    }
}

struct ConverterClose {
    void operator()(UConverter* c) const { ucnv_close(c); }
};

// Decodes bytes one character at a time; `lengths` gets the bytes each
// UTF-16 unit came from (0 for the second half of a pair).
std::u16string decodeBytes(const char* bytes, size_t n, int charset, std::vector<int>& lengths)
{
    std::u16string out;
    UErrorCode err = U_ZERO_ERROR;
    std::unique_ptr<UConverter, ConverterClose> conv(ucnv_open(codePageOf(charset), &err));
    const char* p = bytes;
    const char* end = bytes + n;
    while (p < end) {
        const char* before = p;
        UChar32 c = 0xFFFD;
        if (conv) {
            err = U_ZERO_ERROR;
            c = ucnv_getNextUChar(conv.get(), &p, end, &err);
            if (U_FAILURE(err) || c < 0)
                c = 0xFFFD;
        }
        if (p <= before)
            p = before + 1;
        const int used = static_cast<int>(p - before);
        if (c > 0xFFFF) {
            out.push_back(static_cast<char16_t>(0xD7C0 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 | (c & 0x3FF)));
            lengths.push_back(used);
            lengths.push_back(0);
        } else {
            out.push_back(static_cast<char16_t>(c));
            lengths.push_back(used);
        }
    }
    return out;
}

// A byte text record rebuilt as a UTF-16 one; empty when its fields do not
// fit inside it.
std::vector<unsigned char> widenText(const unsigned char* rec, size_t size, int charset)
{
    if (size < kTextFixed)
        return {};
    const uint32_t n = rd32(rec + kTextChars), offString = rd32(rec + kTextOffString);
    const uint32_t options = rd32(rec + kTextOptions), offDx = rd32(rec + kTextOffDx);
    if (offString > size || n > size - offString)
        return {};
    // Bytes that claim to be glyph indices name no characters; the widened
    // record must not pass them on as indices either (the converter reads
    // its glyph table at any index it is given).
    if (options & kEtoGlyphIndex)
        return {};
    std::vector<int> lengths;
    const std::u16string text = decodeBytes(reinterpret_cast<const char*>(rec + offString), n, charset, lengths);
    const size_t per = options & kEtoPdy ? 2 : 1;
    const bool hasDx = offDx >= kTextFixed && offDx <= size && n <= (size - offDx) / (4 * per);

    std::vector<unsigned char> out(rec, rec + kTextFixed);
    wr32(out.data(), kEmrExtTextOutW);
    wr32(out.data() + kTextChars, static_cast<uint32_t>(text.size()));
    wr32(out.data() + kTextOffString, static_cast<uint32_t>(kTextFixed));
    for (char16_t u : text) {
        out.push_back(static_cast<unsigned char>(u));
        out.push_back(static_cast<unsigned char>(u >> 8));
    }
    while (out.size() % 4)
        out.push_back(0);
    wr32(out.data() + kTextOffDx, hasDx ? static_cast<uint32_t>(out.size()) : 0);
    if (hasDx) {
        // Each character advances by the advances of the bytes it took.
        size_t byte = 0;
        for (int used : lengths) {
            for (size_t k = 0; k < per; ++k) {
                uint32_t sum = 0;
                for (int b = 0; b < used; ++b)
                    sum += rd32(rec + offDx + 4 * ((byte + b) * per + k));
                put32(out, sum);
            }
            byte += static_cast<size_t>(used);
        }
    }
    wr32(out.data() + 4, static_cast<uint32_t>(out.size()));
    return out;
}

// A glyph-index text record with its characters in place of the glyphs;
// empty when the characters are unknown.
std::vector<unsigned char> glyphsToText(const unsigned char* rec, size_t size, const EmfFont& font,
                                        const GlyphTextLookup& lookup)
{
    if (size < kTextFixed || !lookup)
        return {};
    const uint32_t n = rd32(rec + kTextChars), offString = rd32(rec + kTextOffString);
    if (offString > size || n > (size - offString) / 2)
        return {};
    std::vector<uint16_t> glyphs(n);
    for (uint32_t i = 0; i < n; ++i)
        glyphs[i] = rd16(rec + offString + 2 * i);
    const std::u16string text = lookup(font.face, glyphs);
    if (text.size() != n)
        return {};
    std::vector<unsigned char> out(rec, rec + size);
    for (uint32_t i = 0; i < n; ++i)
        wr16(out.data() + offString + 2 * i, text[i]);
    wr32(out.data() + kTextOptions, rd32(rec + kTextOptions) & ~kEtoGlyphIndex);
    return out;
}

// Whether the converter must not see an EMF comment record: an EMF+
// comment whose records would lead it past the record, or that holds an
// EMF+ object record with no object data. The converter gathers object
// data in one buffer it keeps for the whole process and grows with
// realloc; a piece of nothing grows an empty buffer to nothing, which
// frees it while the pointer is kept, and the next object record frees it
// again. (Every EMF+ object starts with its version, so such a record is
// broken anyway.) The walk is the converter's: from offset 16 while inside
// the comment's stated size, each record by its stated size, stopping at
// a type it does not know.
bool emfPlusCommentUnsafe(const unsigned char* rec, size_t bytes)
{
    constexpr uint32_t kEmfPlusIdent = 0x2B464D45;  // "EMF+"
    constexpr uint16_t kObject = 8, kContinued = 0x8000;
    if (bytes < 16 || rd32(rec + 12) != kEmfPlusIdent)
        return false;
    const uint64_t end = uint64_t{rd32(rec + 8)} + 12;
    if (end > bytes)
        return true;
    for (uint64_t o = 16; o < end;) {
        if (o + 12 > bytes)
            return true;
        const unsigned type = rd16(rec + o) & 0x3F;
        if (type < 1 || type > 58)
            break;
        const uint32_t size = rd32(rec + o + 4), dataSize = rd32(rec + o + 8);
        if (type == kObject && size >= 12 && dataSize <= ((rd16(rec + o + 2) & kContinued) ? 4u : 0u))
            return true;
        if (size == 0 || size > 0x7FFFFFFFu)
            break;
        o += size;
    }
    return false;
}

// Whether the converter may read a record as it is written: its fixed
// fields, counts and offsets within the record. The converter reads each
// record's fields as far as its type says without looking at the record's
// size (a short stretch-blit record had it read past the data); libuemf's
// record check, made for that, says which records hold what they claim.
// Types the check has no rule for are left to the converter. The check
// itself reads some fields before it has made sure they are there (a
// region's count): `rec` must be followed by kCheckSlack readable bytes.
constexpr size_t kCheckSlack = 1024;
bool emfRecordSafe(const unsigned char* rec, uint32_t type)
{
    switch (type) {
    case 69: case 96: case 97: case 102: case 103: case 105: case 106: case 107:
    case 109: case 110: case 111: case 112: case 113: case 117: case 119: case 120: case 121:
        return true;  // the check would only complain on stderr
    default:
        return type < 1 || type > 122 || U_emf_record_safe(reinterpret_cast<const char*>(rec)) != 0;
    }
}

QString faceOf(const unsigned char* logfont)
{
    // LOGFONTW: the face name is 32 UTF-16 units at offset 28.
    QString face;
    for (int i = 0; i < 32; ++i) {
        const uint16_t u = rd16(logfont + 28 + 2 * i);
        if (!u)
            break;
        face += QChar(u);
    }
    return face;
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

std::u16string installedGlyphText(const QString& face, const std::vector<uint16_t>& glyphs)
{
    // The font database belongs to the GUI application's thread.
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread() || face.isEmpty())
        return {};
    // Glyph order is the font's own: only the very face named can say which
    // character a glyph is, never a substitute.
    if (!QFontDatabase::families().contains(face, Qt::CaseInsensitive))
        return {};
    static QHash<QString, QHash<quint32, char16_t>> characters;
    auto it = characters.find(face.toLower());
    if (it == characters.end()) {
        QFont font(face);
        font.setStyleStrategy(QFont::NoFontMerging);
        const QRawFont raw = QRawFont::fromFont(font);
        QHash<quint32, char16_t> map;
        if (raw.isValid()) {
            QString chunk;
            for (char32_t base = 0x20; base < 0x10000; base += 0x1000) {
                chunk.clear();
                for (char32_t c = base; c < base + 0x1000 && c < 0x10000; ++c)
                    chunk += (c >= 0xD800 && c < 0xE000) ? QChar(u' ') : QChar(static_cast<char16_t>(c));
                const QList<quint32> ids = raw.glyphIndexesForString(chunk);
                for (qsizetype i = 0; i < ids.size() && i < chunk.size(); ++i) {
                    const char32_t c = base + static_cast<char32_t>(i);
                    if (ids[i] && (c < 0xD800 || c >= 0xE000) && !map.contains(ids[i]))
                        map.insert(ids[i], static_cast<char16_t>(c));
                }
            }
        }
        it = characters.insert(face.toLower(), map);
    }
    std::u16string text;
    for (uint16_t g : glyphs) {
        const auto c = it->constFind(g);
        if (c == it->constEnd())
            return {};
        text.push_back(*c);
    }
    return text;
}

std::vector<char> emfForConverter(const unsigned char* data, size_t size, const GlyphTextLookup& glyphs)
{
    if (!data || size < 88 || rd32(data) != kEmrHeader || std::memcmp(data + 40, " EMF", 4) != 0)
        return {};
    // The records as the check reads them: followed by zeros.
    std::vector<unsigned char> padded(size + kCheckSlack, 0);
    std::memcpy(padded.data(), data, size);
    const size_t headerBytes = rd32(data + 4);
    if (headerBytes < 88 || headerBytes > size || headerBytes % 4 || !emfRecordSafe(padded.data(), kEmrHeader))
        return {};
    std::vector<char> out(data, data + headerBytes);
    put32(out, kEmrSetViewportExtEx);
    put32(out, 16);
    put32(out, 1);
    put32(out, 1);
    uint32_t records = 2;

    std::map<uint32_t, EmfFont> fonts;
    EmfFont current;
    std::vector<EmfFont> saved;
    size_t o = headerBytes;
    bool ended = false;
    while (o + 8 <= size) {
        const uint32_t type = rd32(data + o);
        const size_t bytes = rd32(data + o + 4);
        if (bytes < 8 || bytes % 4 || bytes > size - o)
            break;
        const unsigned char* rec = data + o;
        if (!emfRecordSafe(padded.data() + o, type)) {
            o += bytes;
            continue;  // a record whose fields run past it is left out
        }
        o += bytes;
        std::vector<unsigned char> rewritten;
        bool keep = true;
        const uint32_t object = bytes >= 12 ? rd32(rec + 8) : 0xFFFFFFFFu;
        if (type == kEmrExtCreateFontIndirectW && bytes >= 12 + 92) {
            EmfFont f;
            f.charset = rec[12 + 23];
            f.face = faceOf(rec + 12);
            fonts[object] = f;
        } else if (emfCreatesObject(type) || type == kEmrDeleteObject) {
            fonts.erase(object);
        } else if (type == kEmrSelectObject) {
            if (object & 0x80000000u) {
                if ((object & 0x7FFFFFFFu) >= 10 && (object & 0x7FFFFFFFu) <= 17)
                    current = EmfFont{};  // a stock font
            } else if (auto f = fonts.find(object); f != fonts.end()) {
                current = f->second;
            }
        } else if (type == kEmrSaveDc) {
            if (saved.size() < 1024)
                saved.push_back(current);
        } else if (type == kEmrRestoreDc && !saved.empty()) {
            // A relative restore (-n) pops n levels.
            const int32_t level = static_cast<int32_t>(object);
            size_t pops = level < 0 ? static_cast<size_t>(-static_cast<int64_t>(level)) : 1;
            while (pops-- > 1 && saved.size() > 1)
                saved.pop_back();
            current = saved.back();
            saved.pop_back();
        } else if (type == kEmrExtTextOutA) {
            rewritten = widenText(rec, bytes, current.charset);
            keep = false;
        } else if (type == kEmrExtTextOutW && bytes >= kTextFixed && (rd32(rec + kTextOptions) & kEtoGlyphIndex)) {
            rewritten = glyphsToText(rec, bytes, current, glyphs);
            keep = false;
        } else if (type == kEmrComment && emfPlusCommentUnsafe(rec, bytes)) {
            keep = false;
        }
        if (keep) {
            out.insert(out.end(), rec, rec + bytes);
        } else if (!rewritten.empty()) {
            out.insert(out.end(), rewritten.begin(), rewritten.end());
        } else {
            continue;  // a text that cannot be drawn as written, a broken EMF+ comment
        }
        if (++records > kMaxMetafileRecords)
            return {};
        if (type == kEmrEof) {
            ended = true;
            break;
        }
    }
    // The converter refuses a file whose records do not end in an
    // end-of-file record, but only after reading the record header past
    // the last byte: such a file is refused here instead.
    if (!ended)
        return {};
    auto* header = reinterpret_cast<unsigned char*>(out.data());
    wr32(header + 48, static_cast<uint32_t>(out.size()));
    wr32(header + 52, records);
    return out;
}

}  // namespace imaging
