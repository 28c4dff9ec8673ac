#include "imaging/emf/emf_converter.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QRawFont>
#include <QThread>

#include <emf2svg.h>
#include <unicode/ucnv.h>
#include <uemf_safe.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

#include "imaging/metafile_repair.h"

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

QByteArray emfToSvg(const unsigned char* data, size_t size, const GlyphTextLookup& glyphs)
{
    // The header record: type 1, and the " EMF" signature at offset 40.
    if (!data || size < 88 || data[0] != 1 || data[1] || data[2] || data[3] || std::memcmp(data + 40, " EMF", 4) != 0)
        return {};
    generatorOptions options{};
    // Without a prefix: the converter closes some prefixed elements unprefixed.
    options.nameSpace = const_cast<char*>("");
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    // The converter reads its input in place: it gets a private copy, with
    // the records it would draw wrongly rewritten.
    std::vector<char> copy = emfForConverter(data, size, glyphs);
    if (copy.empty())
        return {};
    // The converter reads the header's description (UTF-16 characters at an
    // offset) without checking that it lies in the header: one that does
    // not is dropped, it is never drawn.
    auto u32 = [&copy](size_t at) {
        const auto* b = reinterpret_cast<const unsigned char*>(copy.data() + at);
        return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    };
    const uint64_t headerSize = std::min<uint64_t>(u32(4), copy.size());
    const uint64_t chars = u32(60), offset = u32(64);
    // (An empty one with an offset is read up to a NUL that may not come.)
    if ((chars || offset) && (chars == 0 || offset < 88 || offset + 2 * chars > headerSize))
        std::memset(copy.data() + 60, 0, 8);
    // The converter reads fixed fields of a record without looking at its
    // size: zeros after the data keep such reads inside the buffer.
    const size_t length = copy.size();
    copy.resize(length + 4096, 0);
    char* out = nullptr;
    size_t outLength = 0;
    const int ok = emf2svg(copy.data(), length, &out, &outLength, &options);
    QByteArray svg;
    if (out) {
        svg = QByteArray(out, static_cast<qsizetype>(outLength));
        std::free(out);
    }
    if (!ok)
        return {};
    return svg;
}

}  // namespace imaging
