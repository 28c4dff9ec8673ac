#pragma once
// Comment values (Exif UserComment, the GPS processing method and area
// name): an 8-byte character-code header, then the text. Shared by the
// condition lines and the search, which reads comments of its own files.
#include <cstdint>
#include <string>
#include <string_view>

#include "metadata/byte_stream.h"

namespace metadata {

// Reads a comment value of count bytes at the stream position and returns
// its text in UTF-8, trimmed of leading and trailing blanks and control
// characters; line breaks inside it are CR LF. Empty means no text. The
// header "UNICODE\0" (or "Unicode\0") means UTF-16 little-endian; any other
// header means code page 932, unless a byte-order mark at the start of the
// text says UTF-8 or UTF-16. Nothing beyond the value's own bytes (nor the
// end of the data) is decoded. The stream position is left anywhere.
std::string ComtRead(ByteStream& stream, int64_t count);

// Same; the byte order of the Exif block plays no part in a comment.
inline std::string ComtRead(ByteStream& stream, int64_t count, bool /*littleEndian*/)
{
    return ComtRead(stream, count);
}

// Removes leading and trailing blanks and control characters (bytes up to
// 0x20) from a UTF-8 text.
std::string trimBlanks(std::string_view text);

// Splits a text into lines at CR, LF or CR LF and joins them with CR LF,
// with a CR LF after the last line; an empty text stays empty.
std::string joinLinesCrLf(std::string_view text);

}  // namespace metadata
