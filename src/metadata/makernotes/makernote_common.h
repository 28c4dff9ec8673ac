#pragma once
// Pieces shared by the maker-note decoders: code tables as data with one
// lookup, reading of numbers in either byte order through the bounds-checked
// stream, and the text readers.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "metadata/byte_stream.h"

namespace metadata::makernotes {

// One row of a code table.
struct CodeText {
    uint32_t value;
    std::string_view text;
};

using CodeTable = std::span<const CodeText>;

// Fall-back prefixes of unlisted codes.
inline constexpr std::string_view kAmpHex = "&H";
inline constexpr std::string_view kNikonHex = "hx";

// Upper-case hexadecimal with at least minDigits digits (more when needed).
std::string hexText(uint64_t value, int minDigits);

// The table's text for value, else prefix + four hexadecimal digits.
std::string lookupCode(CodeTable table, uint32_t value, std::string_view prefix);

// The table's text, or nullptr when the value is not listed.
const std::string_view* findCode(CodeTable table, uint32_t value);

// Texts of the set bits in the table's order ("value" is the bit number).
std::string joinBits(CodeTable bits, uint32_t value);

// The byte order of the Exif block (or of a maker note's own header).
uint16_t toHost16(const uint8_t* field, bool littleEndian);
uint32_t toHost32(const uint8_t* field, bool littleEndian);

// Reads fields from the stream. A read past the end gives the bytes that
// are there and zeros for the rest.
class FieldReader {
public:
    FieldReader(ByteStream& stream, bool littleEndian) : stream_(stream), littleEndian_(littleEndian) {}

    void setLittleEndian(bool littleEndian) { littleEndian_ = littleEndian; }
    bool littleEndian() const { return littleEndian_; }
    ByteStream& stream() { return stream_; }

    uint8_t u8();
    uint16_t u16();
    uint32_t u32();
    // Little-endian as stored, whatever the byte order.
    uint16_t u16Stored();
    uint32_t u32Stored();
    // An element of 1, 2, 4 or 8 bytes: its first two bytes (1-byte
    // elements give 0..255).
    uint16_t element16(int elementSize);

    // With the stream at an entry's value field: a value of more than four
    // bytes is reached through its offset (from the TIFF header at
    // tiffBase), but only when it ends by valueLimit (an offset from the same
    // header). Returns whether the stream now stands at the value.
    bool seekToValue(int64_t byteSize, int64_t tiffBase, int64_t valueLimit);

    // Up to length bytes (cut at 1024), as far as the first zero byte.
    std::string rawText(int64_t length);

private:
    ByteStream& stream_;
    bool littleEndian_;
};

// Blanks and control characters removed at both ends.
std::string_view trimText(std::string_view text);

// A byte text of the system code page (932), trimmed, in UTF-8.
std::string cp932Text(std::string_view bytes);
// A UTF-8 byte text, trimmed, with invalid sequences replaced.
std::string utf8Text(std::string_view bytes);
// Each byte as the character of the same code (U+0000..U+00FF), in UTF-8.
std::string latin1Text(std::string_view bytes);

// Byte size of count elements, or -1 when it does not fit in 32 bits (a
// count that reads negative as a signed number does not fit either).
int64_t valueSize(uint32_t count, int elementSize);

// Longest text value read into the decoders' text buffer.
inline constexpr int64_t kTextLimit = 1024;

}  // namespace metadata::makernotes
