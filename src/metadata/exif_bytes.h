#pragma once
// Byte order and entry layout of an Exif (TIFF) block, shared by every
// reader that walks one: the condition lines, the maker notes, the
// shooting-date reading of the display order and the search.
#include <cstdint>
#include <optional>

#include "metadata/byte_stream.h"

namespace metadata {

// A 2-byte field as stored, in the block's byte order: unsigned.
inline uint16_t ExifToHost16(const uint8_t* field, bool littleEndian)
{
    return littleEndian ? static_cast<uint16_t>(field[0] | (field[1] << 8))
                        : static_cast<uint16_t>((field[0] << 8) | field[1]);
}

// A 4-byte field as stored, in the block's byte order: signed, so the bytes
// FF FF FF FF give -1.
inline int32_t ExifToHost32(const uint8_t* field, bool littleEndian)
{
    const uint32_t v = littleEndian
        ? static_cast<uint32_t>(field[0]) | (static_cast<uint32_t>(field[1]) << 8)
            | (static_cast<uint32_t>(field[2]) << 16) | (static_cast<uint32_t>(field[3]) << 24)
        : (static_cast<uint32_t>(field[0]) << 24) | (static_cast<uint32_t>(field[1]) << 16)
            | (static_cast<uint32_t>(field[2]) << 8) | static_cast<uint32_t>(field[3]);
    return static_cast<int32_t>(v);
}

// Width 2 or 4, as one call; a 2-byte result is 0..65535.
inline int64_t ExifToHost(const uint8_t* field, int width, bool littleEndian)
{
    return width == 2 ? static_cast<int64_t>(ExifToHost16(field, littleEndian))
                      : static_cast<int64_t>(ExifToHost32(field, littleEndian));
}

// Reads a field at the stream position; empty when the file ends first
// (the position still moves on by what could be read).
inline std::optional<uint16_t> readExif16(ByteStream& s, bool littleEndian)
{
    uint8_t b[2];
    if (s.read(b, 2) != 2)
        return std::nullopt;
    return ExifToHost16(b, littleEndian);
}

inline std::optional<int32_t> readExif32(ByteStream& s, bool littleEndian)
{
    uint8_t b[4];
    if (s.read(b, 4) != 4)
        return std::nullopt;
    return ExifToHost32(b, littleEndian);
}

// Bytes per value of an entry type (1 BYTE ... 11 FLOAT); 0 for the types
// whose size is not known here (0, 12 DOUBLE and above).
inline int exifUnitSize(int type)
{
    static constexpr int kUnit[12] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4};
    return type >= 1 && type <= 11 ? kUnit[type] : 0;
}

// One 12-byte IFD entry: tag, type (low byte, signed), count, and where the
// 4-byte value field stands.
struct IfdEntry {
    uint16_t tag = 0;
    int type = 0;
    int32_t count = 0;
    uint8_t countBytes[4] = {};  // the count field as stored
    int64_t valueField = 0;      // stream position of the value field

    // count x unit size; for unknown types the count field's bytes taken
    // little-endian, as writers of such entries are assumed to be.
    int64_t byteSize() const
    {
        const int unit = exifUnitSize(type);
        if (unit != 0)
            return static_cast<int64_t>(count) * unit;
        return static_cast<int64_t>(ExifToHost32(countBytes, true));
    }
};

// Reads the entry at the stream position and leaves the stream at its value
// field; empty when the file ends inside the entry.
inline std::optional<IfdEntry> readIfdEntry(ByteStream& s, bool littleEndian)
{
    uint8_t b[8];
    if (s.read(b, 8) != 8)
        return std::nullopt;
    IfdEntry e;
    e.tag = ExifToHost16(b, littleEndian);
    e.type = static_cast<int8_t>(ExifToHost16(b + 2, littleEndian) & 0xFF);
    for (int i = 0; i < 4; ++i)
        e.countBytes[i] = b[4 + i];
    e.count = ExifToHost32(b + 4, littleEndian);
    e.valueField = s.position();
    return e;
}

}  // namespace metadata
