// Comment values as the metadata walk and the search read them.
#include <gtest/gtest.h>

#include "exif_builder.h"
#include "metadata/comment_reader.h"

using exiftest::bin;

namespace {

constexpr int64_t kWhole = INT64_MIN;

struct CommentCase {
    const char* name;
    std::string bytes;
    int64_t count;  // kWhole: the whole of bytes
    std::string text;
};

void PrintTo(const CommentCase& c, std::ostream* os) { *os << c.name; }

class ComtReadCases : public testing::TestWithParam<CommentCase> {};

TEST_P(ComtReadCases, GivesText)
{
    const CommentCase& c = GetParam();
    const auto* data = reinterpret_cast<const uint8_t*>(c.bytes.data());
    metadata::ByteStream stream(data, c.bytes.size());
    const int64_t count = c.count == kWhole ? static_cast<int64_t>(c.bytes.size()) : c.count;
    EXPECT_EQ(metadata::ComtRead(stream, count), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, ComtReadCases,
    testing::Values(
        CommentCase{"Ascii", bin("ASCII\0\0\0Hello\0"), kWhole, "Hello"},
        CommentCase{"Unicode", bin("UNICODE\0H\0i\0\0\0"), kWhole, "Hi"},
        CommentCase{"UnicodeMixedCase", bin("Unicode\0H\0i\0\0\0"), kWhole, "Hi"},
        CommentCase{"UnicodeHalvesMixed", bin("UNICode\0H\0i\0\0\0"), kWhole, "Hi"},
        CommentCase{"UnicodeWithoutNul", bin("UNICODE H\0i\0\0\0"), kWhole, "H"},
        CommentCase{"UnicodeJapanese", bin("UNICODE\0\xC5\x65\x4C\x88\0\0"), kWhole, "旅行"},
        CommentCase{"JisHeaderIsShiftJis", bin("JIS\0\0\0\0\0\x8A\x79\x82\xB5\x82\xA2"), kWhole, "楽しい"},
        CommentCase{"UndefinedHeader", bin("\0\0\0\0\0\0\0\0abc"), kWhole, "abc"},
        CommentCase{"Utf8ByteOrderMark", bin("ASCII\0\0\0\xEF\xBB\xBF\xE6\x97\x85"), kWhole, "旅"},
        CommentCase{"Utf16BigEndianMark", bin("ASCII\0\0\0\xFE\xFF\0O\0K"), kWhole, "OK"},
        CommentCase{"Utf16LittleEndianMark", bin("ASCII\0\0\0\xFF\xFEO\0K\0"), kWhole, "OK"},
        CommentCase{"NoHeaderWhenShort", bin("abcdefgh"), kWhole, "abcdefgh"},
        CommentCase{"BadShiftJisReplaced", bin("ASCII\0\0\0a\x81"), kWhole, "a\xEF\xBF\xBD"}));

INSTANTIATE_TEST_SUITE_P(
    Extent, ComtReadCases,
    testing::Values(
        // The value's own bytes only: what follows in the file is not text.
        CommentCase{"StopsAtCount", bin("ASCII\0\0\0abcdNEXT"), 12, "abcd"},
        CommentCase{"UnicodeStopsAtCount", bin("UNICODE\0a\0b\0N\0E\0"), 12, "ab"},
        CommentCase{"StopsAtEndOfData", bin("ASCII\0\0\0abc"), 100, "abc"},
        CommentCase{"HeaderCutOff", bin("ASCII"), 20, ""},
        CommentCase{"ZeroCount", bin("abc"), 0, ""},
        CommentCase{"NegativeCount", bin("abc"), -5, ""}));

INSTANTIATE_TEST_SUITE_P(
    Layout, ComtReadCases,
    testing::Values(
        CommentCase{"Trimmed", bin("ASCII\0\0\0 \t x y \r\n\0"), kWhole, "x y"},
        CommentCase{"LineFeedsBecomeCrLf", bin("ASCII\0\0\0one\ntwo\rthree\r\nfour"), kWhole,
                    "one\r\ntwo\r\nthree\r\nfour"},
        CommentCase{"EmptyLinesKept", bin("ASCII\0\0\0a\n\nb"), kWhole, "a\r\n\r\nb"},
        CommentCase{"OnlyBlanks", bin("ASCII\0\0\0   \r\n  "), kWhole, ""}));

TEST(CommentText, TrimAndJoin)
{
    EXPECT_EQ(metadata::trimBlanks("\x01 a b\x1F"), "a b");
    EXPECT_EQ(metadata::trimBlanks("　a"), "　a");  // an ideographic space is text
    EXPECT_EQ(metadata::joinLinesCrLf(""), "");
    EXPECT_EQ(metadata::joinLinesCrLf("a\r\n"), "a\r\n");
    EXPECT_EQ(metadata::joinLinesCrLf("a\n\rb"), "a\r\n\r\nb\r\n");
}

}  // namespace
