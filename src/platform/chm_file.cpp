#include "platform/chm_file.h"

#include <QFile>

#include <algorithm>
#include <cctype>
#include <cstring>

#include <lzx.h>

#include "platform/text_codec.h"

namespace platform {

namespace {

// ---------------------------------------------------------------------------
// Bounded little-endian reads: a value outside the bytes is absent.

std::optional<uint64_t> le(std::string_view b, uint64_t at, int width)
{
    if (at > b.size() || uint64_t(width) > b.size() - at)
        return std::nullopt;
    uint64_t v = 0;
    for (int i = width - 1; i >= 0; --i)
        v = (v << 8) | uint8_t(b[size_t(at) + size_t(i)]);
    return v;
}
std::optional<uint64_t> u16(std::string_view b, uint64_t at) { return le(b, at, 2); }
std::optional<uint64_t> u32(std::string_view b, uint64_t at) { return le(b, at, 4); }
std::optional<uint64_t> u64(std::string_view b, uint64_t at) { return le(b, at, 8); }

// The bytes [at, at + length) of b, when b holds them.
std::optional<std::string_view> slice(std::string_view b, uint64_t at, uint64_t length)
{
    if (at > b.size() || length > b.size() - at)
        return std::nullopt;
    return b.substr(size_t(at), size_t(length));
}

// The directory's variable-length numbers: seven bits a byte, most
// significant first, the high bit set on every byte but the last. Nine bytes
// hold 63 bits; more is no number of a file we can hold.
bool readNumber(std::string_view b, size_t& pos, size_t end, uint64_t& value)
{
    value = 0;
    for (int n = 0; n < 9; ++n) {
        if (pos >= end)
            return false;
        const uint8_t c = uint8_t(b[pos++]);
        value = (value << 7) | (c & 0x7f);
        if (c < 0x80)
            return true;
    }
    return false;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = char(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

bool endsWithIgnoringAsciiCase(std::string_view s, std::string_view ending)
{
    return s.size() >= ending.size() && equalsIgnoringAsciiCase(s.substr(s.size() - ending.size()), ending);
}

constexpr uint64_t kLzxFrame = 0x8000;
// The largest a frame's LZX stream may be: the encoder's worst case is a
// frame stored uncompressed behind its block header.
constexpr uint64_t kMaxCompressedFrame = kLzxFrame + 6144;
// Zero bytes behind a frame handed to the LZX decoder. Its bit reader checks
// for the end of its input only between LZX blocks; within one call it reads
// at most one block header (its trees, a few kilobytes) and the symbols of
// 32768 output bytes (at most 56 bits each).
constexpr size_t kDecoderSlack = 512u << 10;

constexpr char kContentPath[] = "::DataSpace/Storage/MSCompressed/Content";
constexpr char kControlPath[] = "::DataSpace/Storage/MSCompressed/ControlData";
constexpr char kResetTablePath[] =
    "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";

// Headers and directory: the listing blocks' entries, in order.
bool readDirectory(std::string_view file, uint64_t& dataOffset, std::vector<ChmFile::Entry>& entries)
{
    if (file.substr(0, 4) != "ITSF")
        return false;
    const auto version = u32(file, 4), headerLength = u32(file, 8);
    const auto dirOffset = u64(file, 0x48), dirLength = u64(file, 0x50);
    if (!version || !headerLength || !dirOffset || !dirLength)
        return false;
    if (*version == 3) {
        const auto data = u64(file, 0x58);
        if (*headerLength < 0x60 || !data)
            return false;
        dataOffset = *data;
    } else if (*version == 2) {
        if (*headerLength < 0x58 || *dirLength > UINT64_MAX - *dirOffset)
            return false;
        dataOffset = *dirOffset + *dirLength;
    } else {
        return false;
    }
    if (dataOffset > file.size())
        return false;

    const auto dir = slice(file, *dirOffset, 0x54);
    if (!dir || dir->substr(0, 4) != "ITSP" || u32(*dir, 4) != 1u || u32(*dir, 8) != 0x54u)
        return false;
    const uint64_t blockLength = *u32(*dir, 0x10);
    // The number of directory blocks, after the first and last listing
    // blocks' numbers and a -1.
    const uint64_t blockCount = *u32(*dir, 0x2C);
    // Real files use 4 or 8 KB; the header of a listing block is 20 bytes.
    if (blockLength < 0x20 || blockLength > (1u << 20))
        return false;
    const uint64_t firstBlock = *dirOffset + 0x54;
    if (blockCount > (file.size() - firstBlock) / blockLength)
        return false;

    for (uint64_t i = 0; i < blockCount; ++i) {
        const std::string_view block = *slice(file, firstBlock + i * blockLength, blockLength);
        if (block.substr(0, 4) != "PMGL")
            continue;  // index blocks repeat the listing's names
        const uint64_t freeSpace = *u32(block, 4);
        if (freeSpace > blockLength - 0x14)
            return false;
        const size_t end = size_t(blockLength - freeSpace);
        size_t pos = 0x14;
        while (pos < end) {
            uint64_t nameLength = 0;
            if (!readNumber(block, pos, end, nameLength) || nameLength == 0 || nameLength > 512 ||
                nameLength > end - pos)
                return false;
            ChmFile::Entry entry;
            entry.path.assign(block.substr(pos, size_t(nameLength)));
            pos += size_t(nameLength);
            if (!readNumber(block, pos, end, entry.space) || !readNumber(block, pos, end, entry.start) ||
                !readNumber(block, pos, end, entry.length))
                return false;
            if (entries.size() >= 200000)
                return false;
            entries.push_back(std::move(entry));
        }
    }
    return true;
}

const ChmFile::Entry* findEntry(const std::vector<ChmFile::Entry>& entries, std::string_view path)
{
    for (const ChmFile::Entry& e : entries)
        if (equalsIgnoringAsciiCase(e.path, path))
            return &e;
    return nullptr;
}

// A stored (not compressed) object's bytes.
std::optional<std::string_view> storedObject(std::string_view file, uint64_t dataOffset, const ChmFile::Entry& e)
{
    if (e.space != 0 || e.start > file.size())
        return std::nullopt;
    return slice(file, dataOffset + e.start, e.length);
}

// The compressed section's parameters, when the file has one; a section
// whose tables do not hold together makes the whole file unreadable (its
// pages are in it).
bool readCompression(std::string_view file, uint64_t dataOffset, const std::vector<ChmFile::Entry>& entries,
                     std::optional<ChmFile::Compression>& out)
{
    const ChmFile::Entry* content = findEntry(entries, kContentPath);
    const ChmFile::Entry* control = findEntry(entries, kControlPath);
    const ChmFile::Entry* reset = findEntry(entries, kResetTablePath);
    if (!content && !control && !reset)
        return true;
    if (!content || !control || !reset)
        return false;
    const auto stream = storedObject(file, dataOffset, *content);
    const auto ctl = storedObject(file, dataOffset, *control);
    const auto table = storedObject(file, dataOffset, *reset);
    if (!stream || !ctl || !table)
        return false;

    // Control data: "LZXC", a version, the reset interval and window size
    // (in 32 KB units from version 2 on) and the windows per reset.
    if (ctl->size() < 0x18 || ctl->substr(4, 4) != "LZXC")
        return false;
    const uint64_t ctlVersion = *u32(*ctl, 8);
    uint64_t resetInterval = *u32(*ctl, 0xC), windowSize = *u32(*ctl, 0x10);
    const uint64_t windowsPerReset = *u32(*ctl, 0x14);
    if (ctlVersion == 2) {
        resetInterval *= kLzxFrame;
        windowSize *= kLzxFrame;
    } else if (ctlVersion != 1) {
        return false;
    }
    ChmFile::Compression c;
    for (uint32_t bits = 15; bits <= 21; ++bits)
        if (windowSize == (uint64_t(1) << bits))
            c.windowBits = bits;
    if (c.windowBits == 0 || resetInterval == 0 || resetInterval % (windowSize / 2) != 0 || windowsPerReset == 0 ||
        windowsPerReset > (1u << 16))
        return false;
    c.resetBlocks = resetInterval / (windowSize / 2) * windowsPerReset;

    // Reset table: version 2, the frame count, where the frame offsets are,
    // the lengths before and after compression, and the frame length.
    if (u32(*table, 0) != 2u)
        return false;
    const auto frames = u32(*table, 4), tableOffset = u32(*table, 0xC);
    const auto uncompressed = u64(*table, 0x10), compressed = u64(*table, 0x18), frame = u64(*table, 0x20);
    if (!frames || !tableOffset || !uncompressed || !compressed || !frame)
        return false;
    if (*frame != kLzxFrame || *uncompressed > ChmFile::kMaxContentBytes || *compressed > stream->size())
        return false;
    // One offset a frame; some writers add the stream's end after them.
    const uint64_t needed = (*uncompressed + kLzxFrame - 1) / kLzxFrame;
    if (*frames < needed || *frames > needed + 1)
        return false;
    const auto offsets = slice(*table, *tableOffset, *frames * 8);
    if (!offsets)
        return false;
    c.uncompressedLength = *uncompressed;
    c.blockStarts.reserve(size_t(needed) + 1);
    for (uint64_t i = 0; i < needed; ++i)
        c.blockStarts.push_back(*u64(*offsets, i * 8));
    c.blockStarts.push_back(*frames > needed ? *u64(*offsets, needed * 8) : *compressed);
    if (c.blockStarts.back() > *compressed)
        return false;
    for (size_t i = 0; i + 1 < c.blockStarts.size(); ++i)
        if (c.blockStarts[i] > c.blockStarts[i + 1] || c.blockStarts[i + 1] - c.blockStarts[i] > kMaxCompressedFrame)
            return false;
    c.streamOffset = dataOffset + content->start;
    out = std::move(c);
    return true;
}

// ---------------------------------------------------------------------------
// Text.

bool validUtf8(std::string_view s)
{
    return sanitizeUtf8(s) == s;
}

QString fromCp932(std::string_view s)
{
    return QString::fromStdString(cp932ToUtf8(s));
}

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string lowerAscii(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

enum class Charset { Cp932, Utf8, Latin1 };

Charset charsetNamed(std::string_view name)
{
    const std::string n = lowerAscii(name);
    if (n == "utf-8" || n == "utf8")
        return Charset::Utf8;
    if (n == "iso-8859-1" || n == "latin1" || n == "windows-1252" || n == "us-ascii")
        return Charset::Latin1;
    return Charset::Cp932;
}

// The charset a page's <meta> names, looked for in its first 8 KB.
Charset declaredCharset(std::string_view bytes)
{
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
        return Charset::Utf8;
    const std::string head = lowerAscii(bytes.substr(0, 8192));
    const size_t at = head.find("charset=");
    if (at == std::string::npos)
        return Charset::Cp932;
    size_t pos = at + 8;
    if (pos < head.size() && (head[pos] == '"' || head[pos] == '\''))
        ++pos;
    size_t end = pos;
    while (end < head.size() && end - pos < 40 &&
           (std::isalnum(uint8_t(head[end])) || head[end] == '-' || head[end] == '_'))
        ++end;
    return charsetNamed(std::string_view(head).substr(pos, end - pos));
}

QString decodeAs(Charset charset, std::string_view bytes)
{
    switch (charset) {
    case Charset::Utf8:
        if (bytes.substr(0, 3) == "\xEF\xBB\xBF")
            bytes.remove_prefix(3);
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    case Charset::Latin1:
        return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    case Charset::Cp932:
        break;
    }
    return fromCp932(bytes);
}

// HTML's character references in an attribute value: the five named ones
// and numeric ones.
QString unescapeHtml(const QString& s)
{
    if (!s.contains(u'&'))
        return s;
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != u'&') {
            out += s[i];
            continue;
        }
        const qsizetype semi = s.indexOf(u';', i);
        if (semi < 0 || semi - i > 10) {
            out += s[i];
            continue;
        }
        const QString name = s.mid(i + 1, semi - i - 1);
        char32_t code = 0;
        if (name == QLatin1String("amp"))
            code = '&';
        else if (name == QLatin1String("lt"))
            code = '<';
        else if (name == QLatin1String("gt"))
            code = '>';
        else if (name == QLatin1String("quot"))
            code = '"';
        else if (name == QLatin1String("apos"))
            code = '\'';
        else if (name.startsWith(u'#')) {
            bool ok = false;
            const uint value = name.startsWith(QLatin1String("#x"), Qt::CaseInsensitive) ? name.mid(2).toUInt(&ok, 16)
                                                                                         : name.mid(1).toUInt(&ok, 10);
            if (ok && value > 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF))
                code = char32_t(value);
        }
        if (code == 0) {
            out += s[i];
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = semi;
    }
    return out;
}

// One tag of an HTML text: its name (lower case, "/ul" for an end tag) and
// attributes, read from bytes [pos] = '<' on; pos ends after the tag.
struct Tag {
    std::string name;
    std::vector<std::pair<std::string, std::string_view>> attributes;
};

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

Tag readTag(std::string_view b, size_t& pos)
{
    Tag tag;
    ++pos;  // '<'
    if (b.substr(pos, 3) == "!--") {
        const size_t end = b.find("-->", pos + 3);
        pos = end == std::string_view::npos ? b.size() : end + 3;
        return tag;
    }
    const size_t nameStart = pos;
    while (pos < b.size() && !isSpace(b[pos]) && b[pos] != '>' && pos - nameStart < 32)
        ++pos;
    tag.name = lowerAscii(b.substr(nameStart, pos - nameStart));
    while (pos < b.size() && b[pos] != '>') {
        if (isSpace(b[pos]) || b[pos] == '/') {
            ++pos;
            continue;
        }
        const size_t attrStart = pos;
        while (pos < b.size() && !isSpace(b[pos]) && b[pos] != '=' && b[pos] != '>')
            ++pos;
        std::string name = lowerAscii(b.substr(attrStart, pos - attrStart));
        while (pos < b.size() && isSpace(b[pos]))
            ++pos;
        std::string_view value;
        if (pos < b.size() && b[pos] == '=') {
            ++pos;
            while (pos < b.size() && isSpace(b[pos]))
                ++pos;
            if (pos < b.size() && (b[pos] == '"' || b[pos] == '\'')) {
                const char quote = b[pos++];
                const size_t end = b.find(quote, pos);
                const size_t stop = end == std::string_view::npos ? b.size() : end;
                value = b.substr(pos, stop - pos);
                pos = stop == b.size() ? stop : stop + 1;
            } else {
                const size_t valueStart = pos;
                while (pos < b.size() && !isSpace(b[pos]) && b[pos] != '>')
                    ++pos;
                value = b.substr(valueStart, pos - valueStart);
            }
        }
        if (tag.attributes.size() < 16)
            tag.attributes.emplace_back(std::move(name), value);
    }
    if (pos < b.size())
        ++pos;  // '>'
    return tag;
}

std::string_view attribute(const Tag& tag, std::string_view name)
{
    for (const auto& [n, v] : tag.attributes)
        if (n == name)
            return v;
    return {};
}

QString withLeadingSlash(const QString& path)
{
    if (path.isEmpty() || path.startsWith(u'/'))
        return path;
    return u'/' + path;
}

}  // namespace

// ---------------------------------------------------------------------------

HelpFileInfo parseSystemObject(std::string_view bytes)
{
    HelpFileInfo info;
    uint64_t pos = 4;  // the version
    while (pos < bytes.size()) {
        const auto code = u16(bytes, pos), length = u16(bytes, pos + 2);
        if (!code || !length)
            break;
        const auto data = slice(bytes, pos + 4, *length);
        if (!data)
            break;
        pos += 4 + *length;
        if (*code > 3)
            continue;
        std::string_view text = *data;
        const size_t nul = text.find('\0');
        if (nul != std::string_view::npos)
            text = text.substr(0, nul);
        const QString value = validUtf8(text) ? QString::fromUtf8(text.data(), qsizetype(text.size())) : fromCp932(text);
        switch (*code) {
        case 0:
            info.contentsFile = withLeadingSlash(value);
            break;
        case 2:
            info.defaultTopic = withLeadingSlash(value);
            break;
        case 3:
            info.title = value;
            break;
        default:
            break;  // the index file
        }
    }
    return info;
}

std::vector<HelpTopic> parseSitemap(std::string_view bytes)
{
    const Charset charset = declaredCharset(bytes);
    std::vector<HelpTopic> topics;
    int lists = 0;
    bool inEntry = false;
    QString name, local;
    size_t pos = 0;
    while (pos < bytes.size() && topics.size() < size_t(kMaxTopics)) {
        const size_t open = bytes.find('<', pos);
        if (open == std::string_view::npos)
            break;
        pos = open;
        const Tag tag = readTag(bytes, pos);
        if (tag.name == "ul") {
            ++lists;
        } else if (tag.name == "/ul") {
            lists = std::max(0, lists - 1);
        } else if (tag.name == "object") {
            inEntry = lowerAscii(attribute(tag, "type")) == "text/sitemap";
            name.clear();
            local.clear();
        } else if (tag.name == "param" && inEntry) {
            const std::string which = lowerAscii(attribute(tag, "name"));
            const QString value = unescapeHtml(decodeAs(charset, attribute(tag, "value")));
            if (which == "name" && name.isEmpty())
                name = value;
            else if (which == "local" && local.isEmpty())
                local = value;
        } else if (tag.name == "/object" && inEntry) {
            inEntry = false;
            if (!name.isEmpty() || !local.isEmpty()) {
                HelpTopic topic;
                topic.name = name.isEmpty() ? local : name;
                topic.local = local.isEmpty() ? QString() : resolveHelpLink(QStringLiteral("/"), local);
                topic.depth = std::clamp(lists - 1, 0, kMaxDepth - 1);
                topics.push_back(std::move(topic));
            }
        }
    }
    return topics;
}

QString decodeHelpText(std::string_view bytes)
{
    return decodeAs(declaredCharset(bytes), bytes);
}

QString resolveHelpLink(const QString& fromPage, const QString& link)
{
    QString target = link.trimmed();
    if (target.isEmpty())
        return {};
    // A link into a help file by name: the path follows "::".
    static const QLatin1String kInFile[] = {QLatin1String("ms-its:"), QLatin1String("mk:@msitstore:"),
                                            QLatin1String("its:")};
    for (const QLatin1String& prefix : kInFile) {
        if (target.startsWith(prefix, Qt::CaseInsensitive)) {
            const qsizetype at = target.indexOf(QLatin1String("::"));
            if (at < 0)
                return {};
            target = withLeadingSlash(target.mid(at + 2));
            break;
        }
    }
    // Any other scheme ("http:", "mailto:") leaves the file.
    for (qsizetype i = 0; i < target.size(); ++i) {
        const QChar c = target[i];
        if (c == u':' && i > 0)
            return {};
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != u'+' && c != u'-' && c != u'.')
            break;
    }

    QString fragment;
    const qsizetype hash = target.indexOf(u'#');
    if (hash >= 0) {
        fragment = target.mid(hash);
        target.truncate(hash);
    }
    QString base = fromPage;
    const qsizetype baseHash = base.indexOf(u'#');
    if (baseHash >= 0)
        base.truncate(baseHash);
    if (target.isEmpty())
        target = base;  // "#part" stays on the page
    else if (!target.startsWith(u'/'))
        target = base.left(base.lastIndexOf(u'/') + 1) + target;

    QStringList parts;
    for (const QString& part : target.split(u'/', Qt::SkipEmptyParts)) {
        if (part == QLatin1String("."))
            continue;
        if (part == QLatin1String("..")) {
            if (parts.isEmpty())
                return {};
            parts.removeLast();
            continue;
        }
        parts << part;
    }
    if (parts.isEmpty())
        return {};
    return u'/' + parts.join(u'/') + fragment;
}

// ---------------------------------------------------------------------------

std::optional<ChmFile> ChmFile::open(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || uint64_t(file.size()) > kMaxFileBytes)
        return std::nullopt;
    const QByteArray data = file.read(qint64(kMaxFileBytes) + 1);
    if (uint64_t(data.size()) > kMaxFileBytes)
        return std::nullopt;
    return fromBytes(data.toStdString());
}

std::optional<ChmFile> ChmFile::fromBytes(std::string bytes)
{
    if (bytes.size() > kMaxFileBytes)
        return std::nullopt;
    ChmFile chm;
    chm.bytes_ = std::move(bytes);
    if (!readDirectory(chm.bytes_, chm.dataOffset_, chm.entries_) ||
        !readCompression(chm.bytes_, chm.dataOffset_, chm.entries_, chm.compression_))
        return std::nullopt;
    return chm;
}

const ChmFile::Entry* ChmFile::find(std::string_view path) const
{
    return findEntry(entries_, path);
}

bool ChmFile::decodeContent() const
{
    if (contentDecoded_)
        return !contentFailed_;
    contentDecoded_ = true;
    contentFailed_ = true;
    if (!compression_)
        return false;
    const Compression& c = *compression_;
    const std::string_view file = bytes_;
    LZXstate* lzx = LZXinit(int(c.windowBits));
    if (!lzx)
        return false;
    // Whole frames, as the encoder wrote them; the last is cut after.
    std::string out(size_t(c.blockStarts.size() - 1) * kLzxFrame, '\0');
    std::vector<unsigned char> in(size_t(kMaxCompressedFrame) + kDecoderSlack, 0);
    bool ok = true;
    for (size_t block = 0; ok && block + 1 < c.blockStarts.size(); ++block) {
        if (block % c.resetBlocks == 0)
            LZXreset(lzx);
        const uint64_t length = c.blockStarts[block + 1] - c.blockStarts[block];
        const auto frame = slice(file, c.streamOffset + c.blockStarts[block], length);
        const uint64_t outStart = uint64_t(block) * kLzxFrame;
        if (!frame) {
            ok = false;
            break;
        }
        // The slack behind the frame is zeros again for every frame.
        std::memcpy(in.data(), frame->data(), frame->size());
        std::memset(in.data() + frame->size(), 0, size_t(kMaxCompressedFrame - frame->size()));
        ok = LZXdecompress(lzx, in.data(), reinterpret_cast<unsigned char*>(out.data() + outStart), int(length),
                           int(kLzxFrame)) == DECR_OK;
    }
    LZXteardown(lzx);
    if (!ok)
        return false;
    out.resize(size_t(c.uncompressedLength));
    content_ = std::move(out);
    contentFailed_ = false;
    return true;
}

std::optional<std::string> ChmFile::read(const QString& objectPath) const
{
    const Entry* e = find(objectPath.toStdString());
    if (!e)
        return std::nullopt;
    if (e->space == 0) {
        if (const auto stored = storedObject(bytes_, dataOffset_, *e))
            return std::string(*stored);
        return std::nullopt;
    }
    if (e->space != 1 || !decodeContent())
        return std::nullopt;
    if (const auto part = slice(content_, e->start, e->length))
        return std::string(*part);
    return std::nullopt;
}

std::vector<std::string> ChmFile::paths() const
{
    std::vector<std::string> out;
    out.reserve(entries_.size());
    for (const Entry& e : entries_)
        out.push_back(e.path);
    return out;
}

HelpFileInfo ChmFile::info() const
{
    HelpFileInfo info;
    if (const auto system = read(QStringLiteral("/#SYSTEM")))
        info = parseSystemObject(*system);
    if (info.contentsFile.isEmpty() || !find(info.contentsFile.toStdString())) {
        info.contentsFile.clear();
        for (const Entry& e : entries_)
            if (e.path.size() > 1 && e.path[0] == '/' && endsWithIgnoringAsciiCase(e.path, ".hhc")) {
                info.contentsFile = QString::fromStdString(e.path);
                break;
            }
    }
    if (info.defaultTopic.isEmpty() && !info.contentsFile.isEmpty()) {
        if (const auto sitemap = read(info.contentsFile))
            for (const HelpTopic& t : parseSitemap(*sitemap))
                if (!t.local.isEmpty()) {
                    info.defaultTopic = t.local;
                    break;
                }
    }
    if (info.defaultTopic.isEmpty())
        info.defaultTopic = QStringLiteral("/index.html");
    return info;
}

std::vector<HelpTopic> ChmFile::topics() const
{
    const QString contents = info().contentsFile;
    if (contents.isEmpty())
        return {};
    const auto sitemap = read(contents);
    return sitemap ? parseSitemap(*sitemap) : std::vector<HelpTopic>{};
}

}  // namespace platform
