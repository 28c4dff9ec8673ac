#include "makernote_test_support.h"

#ifndef DAREDAZI_CORE_ONLY
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#endif

#include <algorithm>
#include <cstring>

#include "support/test_support.h"

namespace mntest {

void put16(Bytes& b, uint32_t v, bool le)
{
    if (le) {
        b.push_back(uint8_t(v));
        b.push_back(uint8_t(v >> 8));
    } else {
        b.push_back(uint8_t(v >> 8));
        b.push_back(uint8_t(v));
    }
}

void put32(Bytes& b, uint32_t v, bool le)
{
    if (le) {
        put16(b, v & 0xFFFF, true);
        put16(b, v >> 16, true);
    } else {
        put16(b, v >> 16, false);
        put16(b, v & 0xFFFF, false);
    }
}

IfdBuilder& IfdBuilder::raw(uint16_t tag, uint16_t type, uint32_t count, const Bytes& value)
{
    entries_.push_back({tag, type, count, value, std::nullopt});
    return *this;
}

IfdBuilder& IfdBuilder::shorts(uint16_t tag, const std::vector<uint32_t>& values, uint16_t type)
{
    Bytes b;
    for (auto v : values)
        put16(b, v, le_);
    return raw(tag, type, uint32_t(values.size()), b);
}

IfdBuilder& IfdBuilder::longs(uint16_t tag, const std::vector<uint32_t>& values, uint16_t type)
{
    Bytes b;
    for (auto v : values)
        put32(b, v, le_);
    return raw(tag, type, uint32_t(values.size()), b);
}

IfdBuilder& IfdBuilder::bytes(uint16_t tag, const Bytes& values, uint16_t type)
{
    return raw(tag, type, uint32_t(values.size()), values);
}

IfdBuilder& IfdBuilder::rationals(uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& values,
                                  uint16_t type)
{
    Bytes b;
    for (auto [n, d] : values) {
        put32(b, n, le_);
        put32(b, d, le_);
    }
    return raw(tag, type, uint32_t(values.size()), b);
}

IfdBuilder& IfdBuilder::ascii(uint16_t tag, const std::string& text)
{
    Bytes b(text.begin(), text.end());
    b.push_back(0);
    return raw(tag, 2, uint32_t(b.size()), b);
}

IfdBuilder& IfdBuilder::undefined(uint16_t tag, const Bytes& value)
{
    return raw(tag, 7, uint32_t(value.size()), value);
}

IfdBuilder& IfdBuilder::offsetEntry(uint16_t tag, uint16_t type, uint32_t count, uint32_t offset)
{
    entries_.push_back({tag, type, count, {}, offset});
    return *this;
}

Bytes IfdBuilder::build(uint32_t ifdPosition, bool nextLink) const
{
    Bytes out;
    Bytes data;
    const uint32_t dataStart = ifdPosition + 2 + 12 * uint32_t(entries_.size()) + (nextLink ? 4 : 0);
    put16(out, uint32_t(entries_.size()), le_);
    for (const auto& e : entries_) {
        put16(out, e.tag, le_);
        put16(out, e.type, le_);
        put32(out, e.count, le_);
        if (e.fixedOffset) {
            put32(out, *e.fixedOffset, le_);
        } else if (e.value.size() <= 4) {
            Bytes v = e.value;
            v.resize(4, 0);
            out.insert(out.end(), v.begin(), v.end());
        } else {
            put32(out, dataStart + uint32_t(data.size()), le_);
            data.insert(data.end(), e.value.begin(), e.value.end());
            if (data.size() % 2)
                data.push_back(0);
        }
    }
    if (nextLink)
        put32(out, 0, le_);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

Bytes canonNote(const IfdBuilder& ifd, uint32_t noteOffset)
{
    return ifd.build(noteOffset);
}

Bytes panasonicNote(const IfdBuilder& ifd, uint32_t noteOffset)
{
    Bytes out = {'P', 'a', 'n', 'a', 's', 'o', 'n', 'i', 'c', 0, 0, 0};
    // The entry count is stored little-endian whatever the byte order.
    Bytes body = ifd.build(noteOffset + 12);
    if (!ifd.littleEndian())
        std::swap(body[0], body[1]);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes nikonNote(const IfdBuilder& ifd)
{
    Bytes out = {'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0};
    const bool le = ifd.littleEndian();
    out.push_back(le ? 'I' : 'M');
    out.push_back(le ? 'I' : 'M');
    put16(out, 42, le);
    put32(out, 8, le);
    Bytes body = ifd.build(8);
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

NoteResult runNote(Decoder decoder, const Bytes& note, bool exifLittleEndian, int64_t count, uint32_t noteOffset)
{
    Bytes file = {'E', 'x', 'i', 'f', 0, 0};
    const int64_t tiffBase = int64_t(file.size());
    file.push_back(exifLittleEndian ? 'I' : 'M');
    file.push_back(exifLittleEndian ? 'I' : 'M');
    put16(file, 42, exifLittleEndian);
    put32(file, 8, exifLittleEndian);
    file.resize(size_t(tiffBase) + noteOffset, 0);
    file.insert(file.end(), note.begin(), note.end());
    file.resize(file.size() + 16, 0);

    metadata::ByteStream stream(file.data(), file.size());
    stream.seek(tiffBase + noteOffset);
    bool le = exifLittleEndian;
    NoteResult result;
    metadata::MakerNoteContext ctx{stream, le, result.lines};
    decoder(ctx, tiffBase, count < 0 ? int64_t(note.size()) : count);
    result.littleEndianAfter = le;
    return result;
}

namespace {

uint32_t get(const Bytes& b, size_t at, int width, bool le)
{
    if (at + width > b.size())
        return 0;
    uint32_t v = 0;
    for (int i = 0; i < width; ++i) {
        const uint32_t byte = b[at + (le ? i : width - 1 - i)];
        v |= byte << (8 * i);
    }
    return v;
}

}  // namespace

std::optional<RealNote> locateMakerNote(const std::filesystem::path& path)
{
    RealNote note;
    note.file = testsupport::readFile(path);
    const Bytes& f = note.file;
    if (f.size() < 4 || f[0] != 0xFF || f[1] != 0xD8)
        return std::nullopt;
    size_t pos = 2;
    while (pos + 4 <= f.size() && f[pos] == 0xFF) {
        const uint8_t marker = f[pos + 1];
        const size_t length = get(f, pos + 2, 2, false);
        if (marker == 0xDA || length < 2)
            break;
        if (marker == 0xE1 && pos + 10 <= f.size() && std::memcmp(&f[pos + 4], "Exif\0\0", 6) == 0) {
            const size_t base = pos + 10;
            const bool le = base + 1 < f.size() && f[base] == 'I' && f[base + 1] == 'I';
            note.tiffBase = int64_t(base);
            note.littleEndian = le;
            // IFD0: Make and the Exif IFD pointer.
            size_t ifd = base + get(f, base + 4, 4, le);
            size_t exifIfd = 0;
            const uint32_t n0 = get(f, ifd, 2, le);
            for (uint32_t i = 0; i < n0; ++i) {
                const size_t e = ifd + 2 + 12 * i;
                const uint32_t tag = get(f, e, 2, le);
                const uint32_t count = get(f, e + 4, 4, le);
                const uint32_t value = get(f, e + 8, 4, le);
                if (tag == 271) {
                    const size_t at = count > 4 ? base + value : e + 8;
                    for (size_t k = at; k < f.size() && k < at + count && f[k] != 0; ++k)
                        note.make += char(f[k]);
                } else if (tag == 34665) {
                    exifIfd = base + value;
                }
            }
            if (exifIfd == 0)
                return std::nullopt;
            const uint32_t n1 = get(f, exifIfd, 2, le);
            for (uint32_t i = 0; i < n1; ++i) {
                const size_t e = exifIfd + 2 + 12 * i;
                if (get(f, e, 2, le) == 37500) {
                    note.count = get(f, e + 4, 4, le);
                    note.notePosition = int64_t(base + get(f, e + 8, 4, le));
                    return note;
                }
            }
            return std::nullopt;
        }
        pos += 2 + length;
    }
    return std::nullopt;
}

NoteResult decodeRealNote(RealNote& note)
{
    auto startsWith = [&](const char* word) {
        const size_t n = std::strlen(word);
        if (note.make.size() < n)
            return false;
        for (size_t i = 0; i < n; ++i)
            if (std::toupper(static_cast<unsigned char>(note.make[i])) != std::toupper(static_cast<unsigned char>(word[i])))
                return false;
        return true;
    };
    Decoder decoder = nullptr;
    if (startsWith("Canon"))
        decoder = metadata::CanonNoteRead;
    else if (startsWith("Panasonic"))
        decoder = metadata::PanasonicNoteRead;
    else if (startsWith("NIKON"))
        decoder = metadata::NikonNoteRead;
    NoteResult result;
    bool le = note.littleEndian;
    if (decoder) {
        metadata::ByteStream stream(note.file.data(), note.file.size());
        stream.seek(note.notePosition);
        metadata::MakerNoteContext ctx{stream, le, result.lines};
        decoder(ctx, note.tiffBase, note.count);
    }
    result.littleEndianAfter = le;
    return result;
}

std::vector<std::filesystem::path> sampleFiles(const std::string& folder)
{
    std::vector<std::filesystem::path> out;
    const auto dir = testsupport::testDataDir() / folder;
    if (!std::filesystem::is_directory(dir))
        return out;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.is_regular_file())
            out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

#ifdef DAREDAZI_CORE_ONLY
// The core is built without Qt, and where it runs (Windows) exiftool is
// usually absent: the comparisons with it are skipped.
bool exiftoolAvailable() { return false; }

std::map<std::string, std::string> exiftoolValues(const std::filesystem::path&, const std::vector<std::string>&)
{
    return {};
}
#else
bool exiftoolAvailable()
{
    return !QStandardPaths::findExecutable("exiftool").isEmpty();
}

std::map<std::string, std::string> exiftoolValues(const std::filesystem::path& file,
                                                  const std::vector<std::string>& tags)
{
    QStringList args = {"-n", "-s", "-s"};
    for (const auto& tag : tags)
        args << "-" + QString::fromStdString(tag);
    args << QString::fromStdString(file.string());
    QProcess process;
    process.start("exiftool", args);
    std::map<std::string, std::string> out;
    if (!process.waitForFinished(30000))
        return out;
    for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
        const int colon = line.indexOf(": ");
        if (colon > 0)
            out[line.left(colon).trimmed().toStdString()] = line.mid(colon + 2).trimmed().toStdString();
    }
    return out;
}
#endif

}  // namespace mntest
