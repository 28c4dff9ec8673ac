#include "metadata/comment_reader.h"

#include <algorithm>
#include <cstring>

#include "platform/text_codec.h"

namespace metadata {
namespace {

enum class Encoding { Ansi, Utf8, Utf16le, Utf16be };

bool isUnicodeHeader(const uint8_t* h)
{
    const bool first = std::memcmp(h, "UNIC", 4) == 0 || std::memcmp(h, "Unic", 4) == 0;
    const bool second = std::memcmp(h + 4, "ODE\0", 4) == 0 || std::memcmp(h + 4, "ode\0", 4) == 0;
    return first && second;
}

bool startsWith(std::string_view bytes, std::string_view prefix)
{
    return bytes.size() >= prefix.size() && bytes.substr(0, prefix.size()) == prefix;
}

// The bytes before the first NUL character of the encoding.
std::string_view upToNul(std::string_view bytes, Encoding enc)
{
    if (enc == Encoding::Utf16le || enc == Encoding::Utf16be) {
        for (size_t i = 0; i + 1 < bytes.size(); i += 2)
            if (bytes[i] == 0 && bytes[i + 1] == 0)
                return bytes.substr(0, i);
        return bytes;
    }
    const size_t nul = bytes.find('\0');
    return nul == std::string_view::npos ? bytes : bytes.substr(0, nul);
}

std::string decode(std::string_view bytes, Encoding enc)
{
    switch (enc) {
    case Encoding::Utf8:
        return platform::sanitizeUtf8(bytes);
    case Encoding::Utf16le:
        return platform::utf16leToUtf8(bytes);
    case Encoding::Utf16be: {
        std::string swapped(bytes.substr(0, bytes.size() & ~size_t{1}));
        for (size_t i = 0; i + 1 < swapped.size(); i += 2)
            std::swap(swapped[i], swapped[i + 1]);
        return platform::utf16leToUtf8(swapped);
    }
    case Encoding::Ansi:
        break;
    }
    return platform::cp932ToUtf8(bytes);
}

}  // namespace

std::string trimBlanks(std::string_view text)
{
    size_t b = 0;
    size_t e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 0x20)
        ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 0x20)
        --e;
    return std::string(text.substr(b, e - b));
}

std::string joinLinesCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    size_t i = 0;
    while (i < text.size()) {
        const size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) {
            out.append(text.substr(i));
            out += "\r\n";
            break;
        }
        out.append(text.substr(i, end - i));
        out += "\r\n";
        i = end + 1;
        if (text[end] == '\r' && i < text.size() && text[i] == '\n')
            ++i;
    }
    return out;
}

std::string ComtRead(ByteStream& stream, int64_t count)
{
    Encoding enc = Encoding::Ansi;
    if (count > 8) {
        uint8_t header[8];
        if (stream.read(header, 8) != 8)
            return {};
        count -= 8;
        if (isUnicodeHeader(header))
            enc = Encoding::Utf16le;
    }
    // Only the value's own bytes: a comment that is not NUL-terminated must
    // not run on into whatever the file holds after it.
    const int64_t avail = std::min(count, stream.remaining());
    if (avail <= 0)
        return {};
    std::string_view bytes(reinterpret_cast<const char*>(stream.data() + stream.position()),
                           static_cast<size_t>(avail));
    stream.skip(avail);

    if (enc == Encoding::Ansi) {
        if (startsWith(bytes, "\xEF\xBB\xBF")) {
            enc = Encoding::Utf8;
            bytes.remove_prefix(3);
        } else if (startsWith(bytes, "\xFF\xFE")) {
            enc = Encoding::Utf16le;
            bytes.remove_prefix(2);
        } else if (startsWith(bytes, "\xFE\xFF")) {
            enc = Encoding::Utf16be;
            bytes.remove_prefix(2);
        }
    } else if (startsWith(bytes, "\xFF\xFE")) {
        bytes.remove_prefix(2);
    }

    // The text is already limited to the value's bytes, so it is not cut
    // again after the line breaks have become CR LF (which would drop the
    // end of a comment written with bare LF).
    return trimBlanks(joinLinesCrLf(decode(upToNul(bytes, enc), enc)));
}

}  // namespace metadata
