#include "platform/text_codec.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

#include <cstdint>

namespace platform {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

}  // namespace

void appendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

namespace {

#ifdef _WIN32
constexpr UINT kCp932 = 932;

void appendWide(std::string& out, const wchar_t* text, int length)
{
    if (length <= 0)
        return;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(size));
    WideCharToMultiByte(CP_UTF8, 0, text, length, out.data() + at, size, nullptr, nullptr);
}

// The whole text in one call when every byte decodes (the usual case); else
// character by character, each byte the code page refuses becoming U+FFFD
// and the next character starting at the following byte.
std::string convertCp932(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3 / 2 + 4);
    const int n = static_cast<int>(bytes.size());
    std::wstring wide(bytes.size(), L'\0');
    int units = MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, bytes.data(), n, wide.data(), n);
    if (units > 0) {
        appendWide(out, wide.data(), units);
        return out;
    }
    int i = 0;
    while (i < n) {
        const int length = (IsDBCSLeadByteEx(kCp932, static_cast<BYTE>(bytes[i])) && i + 1 < n) ? 2 : 1;
        wchar_t unit[2];
        units = MultiByteToWideChar(kCp932, MB_ERR_INVALID_CHARS, bytes.data() + i, length, unit, 2);
        if (units > 0 && !(length == 1 && IsDBCSLeadByteEx(kCp932, static_cast<BYTE>(bytes[i])))) {
            appendWide(out, unit, units);
            i += length;
        } else {
            out += kReplacement;
            ++i;
        }
    }
    return out;
}
#else
// One converter per thread, opened once: opening iconv costs far more than
// converting the short texts a picture holds.
struct Cp932Converter {
    iconv_t cd = iconv_open("UTF-8", "CP932");
    ~Cp932Converter()
    {
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
    }
};

// Runs iconv over the input, replacing every byte it refuses with U+FFFD.
std::string convertCp932(std::string_view bytes)
{
    thread_local Cp932Converter converter;
    iconv_t cd = converter.cd;
    if (cd == reinterpret_cast<iconv_t>(-1))
        return sanitizeUtf8(bytes);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out;
    out.reserve(bytes.size() * 3 / 2 + 4);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, static_cast<size_t>(outPtr - buffer));
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            // EILSEQ or EINVAL (a lead byte cut off at the end): skip one byte.
            out += kReplacement;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    return out;
}

#endif

}  // namespace

std::string cp932ToUtf8(std::string_view bytes)
{
    bool ascii = true;
    for (unsigned char c : bytes)
        if (c >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        return std::string(bytes);
    return convertCp932(bytes);
}

std::string utf16leToUtf8(std::string_view bytes)
{
    std::string out;
    size_t n = bytes.size() / 2;
    out.reserve(n);
    auto unit = [&](size_t i) {
        return static_cast<uint16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (size_t i = 0; i < n; ++i) {
        uint16_t u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF) {
            if (i + 1 < n) {
                uint16_t lo = unit(i + 1);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    appendUtf8(out, 0x10000 + ((uint32_t(u) - 0xD800) << 10) + (lo - 0xDC00));
                    ++i;
                    continue;
                }
            }
            out += kReplacement;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            out += kReplacement;
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

std::string sanitizeUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        size_t len = 0;
        uint32_t cp = 0;
        uint32_t min = 0;
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            len = 2; cp = c & 0x1F; min = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            len = 3; cp = c & 0x0F; min = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            len = 4; cp = c & 0x07; min = 0x10000;
        } else {
            out += kReplacement;
            ++i;
            continue;
        }
        bool ok = i + len <= n;
        for (size_t k = 1; ok && k < len; ++k) {
            unsigned char cc = static_cast<unsigned char>(bytes[i + k]);
            if ((cc & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (cc & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            ok = false;
        if (ok) {
            out.append(bytes.substr(i, len));
            i += len;
        } else {
            out += kReplacement;
            ++i;
        }
    }
    return out;
}

}  // namespace platform
