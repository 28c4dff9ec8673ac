// Byte texts from picture files into UTF-8: the code page 932 of Japanese
// cameras and programs (by iconv here, by the system's code-page functions
// on Windows, which must agree), UTF-16 and broken UTF-8.
#include <gtest/gtest.h>

#include <string>

#include "platform/text_codec.h"

namespace {

struct Row {
    std::string in;
    std::string out;
};

}  // namespace

TEST(TextCodec, Cp932IsTheWindowsCodePageWithEveryRefusedByteReplaced)
{
    const std::string bad = "\xEF\xBF\xBD";
    const Row rows[] = {
        {"Canon EOS", "Canon EOS"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
        {"\x82\xa0\x82\xa2", "あい"},
        {"\xb1\xdd", "ｱﾝ"},                       // half-width katakana
        {"\x5c\x7e", "\\~"},                      // single bytes stay ASCII
        // Where code page 932 differs from plain Shift-JIS.
        {"\x81\x5f\x81\x60\x81\x7c", "＼～－"},
        {"\x87\x40\x87\x90", "①≒"},               // NEC row 13
        {"\xfa\x40\xed\x40", "ⅰ纊"},               // IBM extensions, both places
        // Refused bytes: each becomes U+FFFD and decoding goes on after it.
        {"\x82", bad},                            // lead byte cut off at the end
        {"ab\x82", "ab" + bad},
        {"\x82\x20x", bad + " x"},                // lead byte without a trail byte
        {"\x82\xa0\x85\x40\x82\xa2", "あ" + bad + "@い"},  // unassigned pair
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.out);
        EXPECT_EQ(platform::cp932ToUtf8(row.in), row.out);
    }
}

TEST(TextCodec, Utf16AndUtf8AreRepairedNotTrusted)
{
    const std::string bad = "\xEF\xBF\xBD";
    const Row utf16[] = {
        {std::string("\x42\x30\x44\x30", 4), "あい"},
        {std::string("\x3d\xd8\x00\xde", 4), "\xF0\x9F\x98\x80"},  // a surrogate pair
        {std::string("\x3d\xd8\x41\x00", 4), bad + "A"},             // high surrogate alone
        {std::string("\x00\xde", 2), bad},                            // low surrogate alone
        {std::string("A\0B", 3), "A"},                                 // odd last byte dropped
    };
    for (const Row& row : utf16)
        EXPECT_EQ(platform::utf16leToUtf8(row.in), row.out) << row.out;

    const Row utf8[] = {
        {"写真", "写真"},
        {"\xe5\x86", bad + bad},          // cut short
        {"\xc0\xaf", bad + bad},          // overlong '/'
        {"\xed\xa0\x80", bad + bad + bad},  // an encoded surrogate
        {"\xf4\x90\x80\x80", bad + bad + bad + bad},  // beyond U+10FFFF
    };
    for (const Row& row : utf8)
        EXPECT_EQ(platform::sanitizeUtf8(row.in), row.out) << row.out;
}
