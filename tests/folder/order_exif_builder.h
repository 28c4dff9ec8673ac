#pragma once
// Builds small JPEG files with an Exif block byte by byte, so the order and
// search tests control every tag and every byte order.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testexif {

struct Picture {
    bool littleEndian = true;
    std::optional<std::string> title;          // ImageDescription (270)
    std::optional<uint32_t> titleCount;        // exact count (default: text + NUL)
    std::optional<std::string> dateTime;       // DateTime (306)
    std::optional<std::string> dateOriginal;   // DateTimeOriginal (36867)
    std::optional<std::string> dateDigitized;  // DateTimeDigitized (36868)
    std::optional<std::string> userComment;    // raw value, header included
    // Exact count to store for DateTimeOriginal (default: text + NUL).
    std::optional<uint32_t> dateOriginalCount;
    bool xmpFirst = false;   // a non-Exif APP1 segment before the Exif one
    bool noExif = false;     // no Exif segment at all
    bool dateInIfd0 = false; // DateTimeOriginal in IFD0 instead of the Exif IFD
};

inline std::string userCommentAscii(const std::string& text)
{
    return std::string("ASCII\0\0\0", 8) + text;
}

inline std::string userCommentUnicode(const std::u16string& text)
{
    std::string v("UNICODE\0", 8);
    for (char16_t c : text) {
        v.push_back(static_cast<char>(c & 0xFF));
        v.push_back(static_cast<char>(c >> 8));
    }
    v.push_back('\0');
    v.push_back('\0');
    return v;
}

namespace detail {

struct Entry {
    uint16_t tag;
    uint16_t type;
    std::string value;  // bytes; count derives from type
    std::optional<uint32_t> count;
};

class Tiff {
public:
    explicit Tiff(bool le) : le_(le) {}
    void u16(std::string& out, uint16_t v) const
    {
        if (le_) { out.push_back(char(v & 0xFF)); out.push_back(char(v >> 8)); }
        else { out.push_back(char(v >> 8)); out.push_back(char(v & 0xFF)); }
    }
    void u32(std::string& out, uint32_t v) const
    {
        for (int i = 0; i < 4; ++i) {
            const int shift = le_ ? 8 * i : 8 * (3 - i);
            out.push_back(char((v >> shift) & 0xFF));
        }
    }
    // An IFD at offset `at` (from the TIFF header); returns the IFD with its
    // out-of-line values after it. pointerFix: entries whose value is an
    // offset filled in by the caller (tag 0x8769) get `pointer`.
    std::string ifd(std::vector<Entry> entries, uint32_t at, uint32_t pointer) const
    {
        std::string head;
        std::string data;
        const uint32_t dataStart = at + 2 + 12 * uint32_t(entries.size()) + 4;
        u16(head, uint16_t(entries.size()));
        for (const Entry& e : entries) {
            u16(head, e.tag);
            u16(head, e.type);
            if (e.tag == 0x8769) {
                u32(head, 1);
                u32(head, pointer);
                continue;
            }
            const uint32_t count = e.count ? *e.count : uint32_t(e.value.size());
            u32(head, count);
            if (e.value.size() <= 4) {
                std::string v = e.value;
                v.resize(4, '\0');
                head += v;
            } else {
                u32(head, dataStart + uint32_t(data.size()));
                data += e.value;
                if (data.size() % 2)
                    data.push_back('\0');
            }
        }
        u32(head, 0);
        return head + data;
    }

private:
    bool le_;
};

inline std::string ascii(const std::string& s) { return s + std::string(1, '\0'); }

}  // namespace detail

inline QByteArray jpegBytes(const Picture& p)
{
    using detail::Entry;
    std::string out("\xFF\xD8", 2);
    auto segment = [&out](uint8_t marker, const std::string& body) {
        out.push_back('\xFF');
        out.push_back(char(marker));
        const size_t len = body.size() + 2;
        out.push_back(char(len >> 8));
        out.push_back(char(len & 0xFF));
        out += body;
    };
    if (p.xmpFirst)
        segment(0xE1, std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<x:xmpmeta/>");
    if (!p.noExif) {
        const detail::Tiff t(p.littleEndian);
        std::vector<Entry> ifd0;
        std::vector<Entry> exif;
        if (p.title)
            ifd0.push_back({0x010E, 2, detail::ascii(*p.title), p.titleCount});
        if (p.dateTime)
            ifd0.push_back({0x0132, 2, detail::ascii(*p.dateTime), {}});
        auto& dateIfd = p.dateInIfd0 ? ifd0 : exif;
        if (p.dateOriginal)
            dateIfd.push_back({0x9003, 2, detail::ascii(*p.dateOriginal), p.dateOriginalCount});
        if (p.dateDigitized)
            exif.push_back({0x9004, 2, detail::ascii(*p.dateDigitized), {}});
        if (p.userComment)
            exif.push_back({0x9286, 7, *p.userComment, {}});
        const bool withExifIfd = !exif.empty();
        if (withExifIfd)
            ifd0.push_back({0x8769, 4, std::string(), {}});
        std::string tiff = p.littleEndian ? std::string("II") : std::string("MM");
        t.u16(tiff, 42);
        t.u32(tiff, 8);
        // IFD0 size is known before its pointer value is: lay it out twice.
        const std::string first = t.ifd(ifd0, 8, 0);
        const uint32_t exifAt = 8 + uint32_t(first.size());
        tiff += t.ifd(ifd0, 8, exifAt);
        if (withExifIfd)
            tiff += t.ifd(exif, exifAt, 0);
        segment(0xE1, std::string("Exif\0\0", 6) + tiff);
    }
    segment(0xDB, std::string(65, '\x01'));  // a quantisation table
    segment(0xDA, std::string(10, '\0'));
    out += std::string(64, '\x55');
    out += "\xFF\xD9";
    return QByteArray(out.data(), qsizetype(out.size()));
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    return f.write(bytes) == bytes.size();
}

inline bool writeJpeg(const QString& path, const Picture& p) { return writeFile(path, jpegBytes(p)); }

}  // namespace testexif
