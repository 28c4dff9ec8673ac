#include "metadata/makernotes/makernote_common.h"

#include <algorithm>
#include <cstring>

#include "platform/text_codec.h"

namespace metadata::makernotes {

std::string hexText(uint64_t value, int minDigits)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    do {
        out.insert(out.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    while (static_cast<int>(out.size()) < minDigits)
        out.insert(out.begin(), '0');
    return out;
}

const std::string_view* findCode(CodeTable table, uint32_t value)
{
    for (const auto& row : table)
        if (row.value == value)
            return &row.text;
    return nullptr;
}

std::string lookupCode(CodeTable table, uint32_t value, std::string_view prefix)
{
    if (const auto* text = findCode(table, value))
        return std::string(*text);
    return std::string(prefix) + hexText(value, 4);
}

std::string joinBits(CodeTable bits, uint32_t value)
{
    std::string out;
    for (const auto& row : bits)
        if (row.value < 32 && (value >> row.value) & 1u)
            out += row.text;
    return out;
}

uint16_t toHost16(const uint8_t* f, bool littleEndian)
{
    return littleEndian ? static_cast<uint16_t>(f[0] | (f[1] << 8)) : static_cast<uint16_t>((f[0] << 8) | f[1]);
}

uint32_t toHost32(const uint8_t* f, bool littleEndian)
{
    const uint32_t b0 = f[0], b1 = f[1], b2 = f[2], b3 = f[3];
    return littleEndian ? b0 | (b1 << 8) | (b2 << 16) | (b3 << 24) : (b0 << 24) | (b1 << 16) | (b2 << 8) | b3;
}

uint8_t FieldReader::u8()
{
    uint8_t b = 0;
    stream_.read(&b, 1);
    return b;
}

uint16_t FieldReader::u16()
{
    uint8_t f[2] = {};
    stream_.read(f, 2);
    return toHost16(f, littleEndian_);
}

uint32_t FieldReader::u32()
{
    uint8_t f[4] = {};
    stream_.read(f, 4);
    return toHost32(f, littleEndian_);
}

uint16_t FieldReader::u16Stored()
{
    uint8_t f[2] = {};
    stream_.read(f, 2);
    return toHost16(f, true);
}

uint32_t FieldReader::u32Stored()
{
    uint8_t f[4] = {};
    stream_.read(f, 4);
    return toHost32(f, true);
}

bool FieldReader::seekToValue(int64_t byteSize, int64_t tiffBase, int64_t valueLimit)
{
    if (byteSize <= 4)
        return true;
    const uint32_t offset = u32();
    if (static_cast<int64_t>(offset) + byteSize > valueLimit)
        return false;
    stream_.seek(tiffBase + offset);
    return true;
}

uint16_t FieldReader::element16(int elementSize)
{
    uint8_t f[8] = {};
    stream_.read(f, std::clamp(elementSize, 0, 8));
    if (elementSize == 1)
        return f[0];
    return toHost16(f, littleEndian_);
}

std::string FieldReader::rawText(int64_t length)
{
    char buffer[kTextLimit] = {};
    const int64_t n = std::clamp<int64_t>(length, 0, kTextLimit);
    stream_.read(buffer, n);
    const size_t end = static_cast<size_t>(std::find(buffer, buffer + n, '\0') - buffer);
    return std::string(buffer, end);
}

std::string_view trimText(std::string_view text)
{
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ')
        --end;
    return text.substr(begin, end - begin);
}

std::string cp932Text(std::string_view bytes)
{
    // The trail byte of a double-byte character is never a blank or a
    // control byte, so trimming the bytes trims the text.
    return platform::cp932ToUtf8(trimText(bytes));
}

std::string utf8Text(std::string_view bytes)
{
    return platform::sanitizeUtf8(trimText(bytes));
}

std::string latin1Text(std::string_view bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += static_cast<char>(b);
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

int64_t valueSize(uint32_t count, int elementSize)
{
    const int64_t size = static_cast<int64_t>(count) * elementSize;
    return size > INT32_MAX ? -1 : size;
}

}  // namespace metadata::makernotes
