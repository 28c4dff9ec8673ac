#pragma once
// Exif blocks (TIFF, little-endian) that ask the maker-note decoders for far
// more than a camera writes, built byte by byte without Qt so the metadata
// tests of the Windows build share them.
#include <string>

namespace testsupport {

namespace flood {

inline void le16(std::string& s, unsigned v)
{
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

inline void le32(std::string& s, unsigned v)
{
    le16(s, v & 0xFFFF);
    le16(s, v >> 16);
}

inline void entry(std::string& s, unsigned tag, unsigned type, unsigned count, unsigned value)
{
    le16(s, tag);
    le16(s, type);
    le32(s, count);
    le32(s, value);
}

}  // namespace flood

// A TIFF block whose Canon maker note holds `entries` entries of tag 12 (the
// serial number, one line per value), each pointing at the same `values`
// 4-byte values: 2,000 x 8,000 asks for sixteen million lines from 56 KB.
inline std::string canonNoteFloodTiff(int entries = 2000, int values = 8000)
{
    using namespace flood;
    const std::string make("Canon\0\0\0", 8);
    const unsigned ifd0 = 8, exifIfd = ifd0 + 2 + 2 * 12 + 4, makeAt = exifIfd + 2 + 12 + 4;
    const unsigned noteAt = makeAt + 8, noteLength = 2 + 12 * static_cast<unsigned>(entries);
    const unsigned valuesAt = noteAt + noteLength;
    std::string t = "II";
    le16(t, 42);
    le32(t, ifd0);
    le16(t, 2);
    entry(t, 271, 2, 6, makeAt);
    entry(t, 34665, 4, 1, exifIfd);
    le32(t, 0);
    le16(t, 1);
    entry(t, 37500, 7, noteLength + 4 * static_cast<unsigned>(values), noteAt);
    le32(t, 0);
    t += make;
    // A first entry the decoder accepts (the lens type, in place), then the
    // serial number over and over.
    le16(t, static_cast<unsigned>(entries));
    entry(t, 2, 3, 1, 1);
    for (int i = 1; i < entries; ++i)
        entry(t, 12, 4, static_cast<unsigned>(values), valuesAt);
    for (int i = 0; i < values; ++i)
        le32(t, 0x1234567u + static_cast<unsigned>(i));
    return t;
}

// An APP1 Exif segment holding the TIFF block.
inline std::string exifSegment(const std::string& tiff)
{
    const std::string body = std::string("Exif\0\0", 6) + tiff;
    std::string seg = "\xFF\xE1";
    const size_t length = body.size() + 2;
    seg += static_cast<char>((length >> 8) & 0xFF);
    seg += static_cast<char>(length & 0xFF);
    return seg + body;
}

}  // namespace testsupport
