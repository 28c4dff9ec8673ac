#pragma once
// Conversion of the byte texts found in picture files into UTF-8. Bytes that
// do not decode become U+FFFD; nothing here reads past the given length.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// Code page 932 (Shift-JIS with the Windows extensions), as Exif ASCII
// values and JPEG comments are written by Japanese cameras and programs.
std::string cp932ToUtf8(std::string_view bytes);

// UTF-16 little-endian (the XP tags); an odd trailing byte is dropped.
std::string utf16leToUtf8(std::string_view bytes);

// UTF-8 with every invalid sequence replaced by U+FFFD.
std::string sanitizeUtf8(std::string_view bytes);

// Appends one code point as UTF-8.
void appendUtf8(std::string& out, uint32_t codePoint);

}  // namespace platform
