#pragma once
// Builds Exif blocks and JPEG files byte by byte for the reader's tests, in
// either byte order, so every case can be checked both ways.
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "metadata/jpeg_reader.h"
#include "metadata/string_sink.h"

namespace exiftest {

using Bytes = std::vector<uint8_t>;

struct Entry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    // Values: raw bytes for the byte types, else words of wordWidth bytes
    // written in the block's byte order.
    Bytes raw;
    std::vector<uint32_t> words;
    int wordWidth = 0;
    // When set, written into the value field instead of the value or its
    // offset (for damaged entries).
    bool fieldOverride = false;
    uint32_t field = 0;
    // A value that is not the automatic sub-IFD pointer value.
    bool isPointer = false;
    int pointsTo = 0;  // 1 Exif IFD, 2 GPS IFD

    size_t byteSize() const { return wordWidth ? words.size() * static_cast<size_t>(wordWidth) : raw.size(); }
};

inline Entry entry(uint16_t tag, uint16_t type, uint32_t count)
{
    Entry e;
    e.tag = tag;
    e.type = type;
    e.count = count;
    return e;
}

// A string literal with its NUL bytes.
template <size_t N>
std::string bin(const char (&s)[N])
{
    return std::string(s, N - 1);
}

inline Entry ascii(uint16_t tag, const std::string& text)
{
    Entry e = entry(tag, 2, static_cast<uint32_t>(text.size() + 1));
    e.raw.assign(text.begin(), text.end());
    e.raw.push_back(0);
    return e;
}

// Bytes as stored, with the count given (BYTE, ASCII or UNDEFINED).
inline Entry rawBytes(uint16_t tag, uint16_t type, const std::string& bytes, int64_t count = -1)
{
    Entry e = entry(tag, type, static_cast<uint32_t>(count < 0 ? static_cast<int64_t>(bytes.size()) : count));
    e.raw.assign(bytes.begin(), bytes.end());
    return e;
}

inline Entry shorts(uint16_t tag, std::vector<uint32_t> values)
{
    Entry e = entry(tag, 3, static_cast<uint32_t>(values.size()));
    e.words = std::move(values);
    e.wordWidth = 2;
    return e;
}

inline Entry longs(uint16_t tag, std::vector<uint32_t> values)
{
    Entry e = entry(tag, 4, static_cast<uint32_t>(values.size()));
    e.words = std::move(values);
    e.wordWidth = 4;
    return e;
}

inline Entry rationals(uint16_t tag, std::vector<std::pair<int64_t, int64_t>> values, uint16_t type = 5)
{
    Entry e = entry(tag, type, static_cast<uint32_t>(values.size()));
    for (auto [n, d] : values) {
        e.words.push_back(static_cast<uint32_t>(n));
        e.words.push_back(static_cast<uint32_t>(d));
    }
    e.wordWidth = 4;
    return e;
}

inline Entry rational(uint16_t tag, int64_t n, int64_t d) { return rationals(tag, {{n, d}}); }

// UTF-16LE bytes of an ASCII or BMP text given as UTF-8 (for the XP tags).
inline std::string utf16le(const std::u16string& text, bool terminate = true)
{
    std::string out;
    for (char16_t c : text) {
        out += static_cast<char>(c & 0xFF);
        out += static_cast<char>(c >> 8);
    }
    if (terminate)
        out.append(2, '\0');
    return out;
}

class TiffBuilder {
public:
    explicit TiffBuilder(bool littleEndian) : le_(littleEndian) {}

    std::vector<Entry> ifd0, exif, gps, ifd1;
    // Pointer entries go before the other entries of IFD0 unless sorted.
    bool gpsPointerFirst = false;
    uint32_t ifd0Offset = 0;  // 0: right after the header

    Bytes build() const
    {
        std::vector<Entry> zero = ifd0;
        if (!exif.empty()) {
            Entry p = entry(34665, 4, 1);
            p.isPointer = true;
            p.pointsTo = 1;
            zero.push_back(p);
        }
        if (!gps.empty()) {
            Entry p = entry(34853, 4, 1);
            p.isPointer = true;
            p.pointsTo = 2;
            if (gpsPointerFirst)
                zero.insert(zero.begin(), p);
            else
                zero.push_back(p);
        }
        std::vector<const std::vector<Entry>*> ifds{&zero};
        if (!exif.empty())
            ifds.push_back(&exif);
        if (!gps.empty())
            ifds.push_back(&gps);
        if (!ifd1.empty())
            ifds.push_back(&ifd1);

        std::vector<uint32_t> start;
        uint32_t pos = ifd0Offset ? ifd0Offset : 8;
        for (auto* ifd : ifds) {
            start.push_back(pos);
            pos += static_cast<uint32_t>(2 + 12 * ifd->size() + 4);
        }
        Bytes out(pos, 0);
        out[0] = out[1] = le_ ? 'I' : 'M';
        put16(out, 2, 42);
        put32(out, 4, start[0]);
        const uint32_t exifStart = exif.empty() ? 0 : start[1];
        const uint32_t gpsStart = gps.empty() ? 0 : start[exif.empty() ? 1 : 2];
        for (size_t k = 0; k < ifds.size(); ++k) {
            const auto& ifd = *ifds[k];
            uint32_t at = start[k];
            put16(out, at, static_cast<uint32_t>(ifd.size()));
            at += 2;
            for (const Entry& e : ifd) {
                put16(out, at, e.tag);
                put16(out, at + 2, e.type);
                put32(out, at + 4, e.count);
                Bytes value = encode(e);
                if (e.isPointer) {
                    put32(out, at + 8, e.pointsTo == 1 ? exifStart : gpsStart);
                } else if (e.fieldOverride) {
                    put32(out, at + 8, e.field);
                } else if (value.size() <= 4) {
                    std::copy(value.begin(), value.end(), out.begin() + at + 8);
                } else {
                    put32(out, at + 8, static_cast<uint32_t>(out.size()));
                    out.insert(out.end(), value.begin(), value.end());
                    if (out.size() % 2)
                        out.push_back(0);
                }
                at += 12;
            }
            // IFD0 links to IFD1 when there is one.
            if (k == 0 && !ifd1.empty())
                put32(out, at, start.back());
        }
        return out;
    }

private:
    Bytes encode(const Entry& e) const
    {
        if (!e.wordWidth)
            return e.raw;
        Bytes b(e.byteSize(), 0);
        for (size_t i = 0; i < e.words.size(); ++i) {
            if (e.wordWidth == 2)
                put16(b, static_cast<uint32_t>(i * 2), e.words[i]);
            else
                put32(b, static_cast<uint32_t>(i * 4), e.words[i]);
        }
        return b;
    }
    void put16(Bytes& b, uint32_t at, uint32_t v) const
    {
        b[at] = static_cast<uint8_t>(le_ ? v : v >> 8);
        b[at + 1] = static_cast<uint8_t>(le_ ? v >> 8 : v);
    }
    void put32(Bytes& b, uint32_t at, uint32_t v) const
    {
        for (int i = 0; i < 4; ++i)
            b[at + static_cast<uint32_t>(i)] = static_cast<uint8_t>(v >> (le_ ? 8 * i : 24 - 8 * i));
    }
    bool le_;
};

// A JPEG segment: marker and payload (the length is added).
inline Bytes segment(uint16_t marker, const Bytes& payload)
{
    // Sized first: growing the vector by push_back, then insert, makes
    // GCC 12 warn at -O3 (-Wstringop-overread) about a copy it cannot do.
    const size_t len = payload.size() + 2;
    Bytes b(payload.size() + 4);
    b[0] = static_cast<uint8_t>(marker >> 8);
    b[1] = static_cast<uint8_t>(marker);
    b[2] = static_cast<uint8_t>(len >> 8);
    b[3] = static_cast<uint8_t>(len);
    std::copy(payload.begin(), payload.end(), b.begin() + 4);
    return b;
}

inline Bytes exifSegment(const Bytes& tiff)
{
    Bytes p{'E', 'x', 'i', 'f', 0, 0};
    p.insert(p.end(), tiff.begin(), tiff.end());
    return segment(0xFFE1, p);
}

inline Bytes comSegment(const std::string& text) { return segment(0xFFFE, Bytes(text.begin(), text.end())); }

// SOI, the given segments, a quantisation table that ends the walk, and
// padding so that the file is long enough to be read.
inline Bytes jpeg(const std::vector<Bytes>& segments)
{
    Bytes b{0xFF, 0xD8};
    for (const Bytes& s : segments)
        b.insert(b.end(), s.begin(), s.end());
    const Bytes dqt = segment(0xFFDB, Bytes(65, 0));
    b.insert(b.end(), dqt.begin(), dqt.end());
    b.push_back(0xFF);
    b.push_back(0xD9);
    if (b.size() < 100)
        b.resize(100, 0);
    return b;
}

struct Result {
    metadata::StringSink sink;
    bool threw = false;
};

inline Result read(const Bytes& file, bool google = false)
{
    Result r;
    metadata::ReadOptions options;
    options.useGoogleMap = google;
    try {
        metadata::JpegRead(file.data(), file.size(), r.sink, options);
    } catch (const metadata::MetadataError&) {
        r.threw = true;
    }
    return r;
}

}  // namespace exiftest
