// The lines, captions and position texts of single tags, each case read in
// both byte orders from an Exif block built byte by byte.
#include <gtest/gtest.h>

#include "exif_builder.h"

using namespace exiftest;

namespace {

struct TagCase {
    const char* name;
    std::vector<Entry> ifd0;
    std::vector<Entry> exif;
    std::vector<Entry> gps;
    std::vector<std::string> lines;
    std::string date = {};
    std::string title = {};
    std::string latitude = {};
    std::string longitude = {};
    bool google = false;
};

void PrintTo(const TagCase& c, std::ostream* os) { *os << c.name; }

Bytes fileOf(const TagCase& c, bool le)
{
    TiffBuilder t(le);
    t.ifd0 = c.ifd0;
    t.exif = c.exif;
    t.gps = c.gps;
    return jpeg({exifSegment(t.build())});
}

class TagLines : public testing::TestWithParam<TagCase> {};

TEST_P(TagLines, SameInBothByteOrders)
{
    const TagCase& c = GetParam();
    for (bool le : {false, true}) {
        SCOPED_TRACE(le ? "little-endian" : "big-endian");
        const Result r = read(fileOf(c, le), c.google);
        EXPECT_FALSE(r.threw);
        EXPECT_EQ(r.sink.lines, c.lines);
        EXPECT_EQ(r.sink.dateCaption, c.date);
        EXPECT_EQ(r.sink.titleCaption, c.title);
        EXPECT_EQ(r.sink.latitude, c.latitude);
        EXPECT_EQ(r.sink.longitude, c.longitude);
    }
}

// Comment values: the 8-byte character-code header, then the text.
std::string asciiComment(const std::string& text) { return std::string("ASCII\0\0\0", 8) + text; }
std::string unicodeComment(const std::u16string& text, bool terminate = true)
{
    return std::string("UNICODE\0", 8) + utf16le(text, terminate);
}

const Entry kLatN = ascii(1, "N");
const Entry kLatS = ascii(1, "S");
const Entry kLonE = ascii(3, "E");
const Entry kLonW = ascii(3, "W");

INSTANTIATE_TEST_SUITE_P(
    StandardTags, TagLines,
    testing::Values(
        TagCase{"FNumber", {}, {rational(33437, 28, 10)}, {}, {"絞　り　値：F2.8"}},
        TagCase{"FNumberWhole", {}, {rational(33437, 8, 1)}, {}, {"絞　り　値：F8"}},
        TagCase{"ExposureFraction", {}, {rational(33434, 1, 250)}, {}, {"シャッター：250分の1秒"}},
        TagCase{"ExposureReduced", {}, {rational(33434, 10, 1000)}, {}, {"シャッター：100分の1秒"}},
        TagCase{"ExposureSeconds", {}, {rational(33434, 2, 1)}, {}, {"シャッター：2秒"}},
        TagCase{"ExposureDecimal", {}, {rational(33434, 13, 10)}, {}, {"シャッター：1.3秒"}},
        TagCase{"ExposureZeroDenominator", {}, {rational(33434, 1, 0)}, {}, {}},
        TagCase{"BiasNegative", {}, {rationals(37380, {{-2, 3}}, 10)}, {}, {"露光補正値：-0.67(APEX)"}},
        TagCase{"BiasZero", {}, {rationals(37380, {{0, 3}}, 10)}, {}, {"露光補正値：0(APEX)"}},
        TagCase{"FocalBelowOne", {}, {rational(37386, 6, 10)}, {}, {"焦点距離：.6mm"}},
        TagCase{"BrightnessUnknown", {}, {rational(37379, 0xFFFFFFFF, 1)}, {}, {"輝度値：不明"}},
        TagCase{"DistanceInfinite", {}, {rational(37382, 0xFFFFFFFF, 1)}, {}, {"被写体距離：無限遠"}},
        TagCase{"DistanceUnknown", {}, {rational(37382, 0, 1)}, {}, {"被写体距離：不明"}},
        TagCase{"ZoomNone", {}, {rational(41988, 0, 100)}, {}, {"デジタルズーム：なし"}},
        TagCase{"ZoomZeroDenominator", {}, {rational(41988, 0, 0)}, {}, {}},
        TagCase{"FlashAuto", {}, {shorts(37385, {0x19})}, {}, {"ストロボ：オートモード発光"}},
        TagCase{"FlashAutoOff", {}, {shorts(37385, {0x18})}, {}, {"ストロボ：オートモード非発光"}},
        TagCase{"FlashUnlisted", {}, {shorts(37385, {0x02})}, {}, {"ストロボ：不明"}},
        TagCase{"MeteringOther", {}, {shorts(37383, {255})}, {}, {"測光方式：その他"}},
        TagCase{"MeteringUnlisted", {}, {shorts(37383, {7})}, {}, {"測光方式：不明データ"}},
        TagCase{"LightSourceGap", {}, {shorts(37384, {5})}, {}, {"光源種別：不明データ"}},
        TagCase{"IsoFirstOfTwo", {}, {shorts(34855, {400, 800})}, {}, {"撮影感度：400"}},
        TagCase{"IsoSpeedUnsigned", {}, {longs(34867, {3000000000u})}, {}, {"ＩＳＯスピード：3000000000"}},
        TagCase{"FileSource", {}, {rawBytes(41728, 7, "\x03")}, {}, {"ファイルソース：デジタルスチルカメラ"}},
        TagCase{"AreaCircle", {}, {shorts(37396, {1000, 750, 200})}, {}, {"被写体領域(pix)：X=1000;Y=750;径=200"}},
        TagCase{"AreaRectangle", {}, {shorts(37396, {1000, 750, 200, 100})}, {},
                {"被写体領域(pix)：X=1000;Y=750;幅=200;高さ=100"}},
        TagCase{"AreaPoint", {}, {shorts(37396, {12, 34})}, {}, {"被写体領域(pix)：X=12;Y=34"}},
        TagCase{"AreaEmpty", {}, {shorts(37396, {})}, {}, {}},
        TagCase{"LensSpecification", {}, {rationals(42034, {{24, 1}, {70, 1}, {28, 10}, {28, 10}})}, {},
                {"レンズ仕様・最小焦点距離：24mm", "レンズ仕様・最大焦点距離：70mm",
                 "レンズ仕様・最小焦点距離での最小Ｆ値：2.8", "レンズ仕様・最大焦点距離での最小Ｆ値：2.8"}},
        TagCase{"LensSpecificationUnknownF", {}, {rationals(42034, {{24, 1}, {70, 1}, {0, 0}, {4, 1}})}, {},
                {"レンズ仕様・最小焦点距離：24mm", "レンズ仕様・最大焦点距離：70mm",
                 "レンズ仕様・最大焦点距離での最小Ｆ値：4"}},
        TagCase{"TextLines", {ascii(271, "Canon"), ascii(272, "Canon EOS 5D"), ascii(305, "")}, {}, {},
                {"メーカ名：Canon", "機種：Canon EOS 5D", "ソフトウェア："}},
        TagCase{"TextShiftJis", {ascii(315, "\x83\x4A\x83\x81\x83\x89")}, {}, {}, {"アーティスト：カメラ"}},
        // Written by an editor that leaves no room for the NUL.
        TagCase{"TextsFillingTheirCount", {rawBytes(271, 2, "EASTMAN KODAK COMPANY")},
                {rawBytes(36867, 2, "2005:08:13 09:47:21")}, {},
                {"メーカ名：EASTMAN KODAK COMPANY", "原画作成日時:2005:08:13 09:47:21"}, "2005:08:13 09:47:21"},
        TagCase{"TextUpToNul", {rawBytes(42036, 2, std::string("EF50\0junk", 9))}, {}, {}, {"レンズのモデル名：EF50"}},
        TagCase{"ProcessingSoftware", {ascii(11, "ABCDEFGH")}, {}, {}, {"使用ソフトウェア：ABCDEFGH"}},
        TagCase{"ProcessingSoftwareZeroWord", {rawBytes(11, 2, std::string("ABCD\0\0\0\0", 8))}, {}, {}, {}},
        TagCase{"LumixName", {}, {rawBytes(50898, 1, " たま \n")}, {}, {"LUMIX赤ちゃん／ペット１:たま"}},
        TagCase{"LumixEmpty", {}, {rawBytes(50899, 1, std::string("\0\0\0\0\0", 5))}, {}, {}},
        TagCase{"DateOriginalWins", {ascii(306, "2011:05:01 10:00:00")},
                {ascii(36867, "2011:04:30 09:15:22"), ascii(36868, "2011:04:30 09:15:23")}, {},
                {"ファイル変更日時：2011:05:01 10:00:00", "原画作成日時:2011:04:30 09:15:22",
                 "デジタル化日時2011:04:30 09:15:23"},
                "2011:04:30 09:15:22"},
        TagCase{"DateDigitizedOnly", {}, {ascii(36868, "2011:04:30 09:15:23")}, {},
                {"デジタル化日時2011:04:30 09:15:23"}, "2011:04:30 09:15:23"},
        TagCase{"DateTimeOnly", {ascii(306, "2011:05:01 10:00:00")}, {}, {},
                {"ファイル変更日時：2011:05:01 10:00:00"}, "2011:05:01 10:00:00"}));

INSTANTIATE_TEST_SUITE_P(
    GpsTags, TagLines,
    testing::Values(
        TagCase{"North", {}, {}, {kLatN, rationals(2, {{35, 1}, {39, 1}, {302, 10}})},
                {"GPS緯度：北緯35度39分30.2秒"}, "", "", "35.658389", ""},
        TagCase{"NorthGoogle", {}, {}, {kLatN, rationals(2, {{35, 1}, {39, 1}, {302, 10}})},
                {"GPS緯度：北緯35度39分30.2秒"}, "", "", "+35.658389", "", true},
        TagCase{"WestFractionalMinutes", {}, {}, {kLonW, rationals(4, {{139, 1}, {4473, 100}, {0, 1}})},
                {"GPS経度：西経139度44分44秒"}, "", "", "", "-139.745500"},
        TagCase{"WestGoogle", {}, {}, {kLonW, rationals(4, {{139, 1}, {4473, 100}, {0, 1}})},
                {"GPS経度：西経139度44分44秒"}, "", "", "", "-139.745500", true},
        TagCase{"South", {}, {}, {kLatS, rationals(2, {{33, 1}, {52, 1}, {0, 1}})},
                {"GPS緯度：南緯33度52分00秒"}, "", "", "-33.866667", ""},
        TagCase{"MinutesHundredths", {}, {}, {kLatN, rationals(2, {{35, 1}, {3050, 100}, {99, 1}})},
                {"GPS緯度：北緯35度30分30秒"}, "", "", "35.508333", ""},
        TagCase{"LatitudeTooLarge", {}, {}, {kLatN, rationals(2, {{95, 1}, {0, 1}, {0, 1}})},
                {"GPS緯度：北緯??95度00分00秒"}, "", "", "", ""},
        TagCase{"DegreesZeroDenominator", {}, {}, {kLonE, rationals(4, {{0, 0}, {10, 1}, {0, 1}})},
                {"GPS経度：東経??　10分00秒"}, "", "", "", ""},
        TagCase{"ReferencesOnly", {}, {}, {kLatN, kLonE}, {}, "", "", "北緯", "東経"},
        TagCase{"NoReferenceIsSouth", {}, {}, {rationals(2, {{10, 1}, {30, 1}, {0, 1}})},
                {"GPS緯度：南緯10度30分00秒"}, "", "", "-10.500000", ""},
        TagCase{"EastGoogle", {}, {}, {kLonE, rationals(4, {{8, 1}, {15, 1}, {36, 1}})},
                {"GPS経度：東経008度15分36秒"}, "", "", "", "+008.260000", true},
        // Whole degrees with seconds stored as 0/0: the seconds are absent,
        // not the minutes counted a second time.
        TagCase{"SecondsZeroDenominator", {}, {}, {kLatN, rationals(2, {{35, 1}, {39, 1}, {0, 0}})},
                {"GPS緯度：北緯35度39分"}, "", "", "35.650000", ""},
        // Decimal degrees with zero minutes keep their fraction.
        TagCase{"FractionalDegrees", {}, {}, {kLatN, rationals(2, {{356583, 10000}, {0, 1}, {0, 1}})},
                {"GPS緯度：北緯35度39分29.9秒"}, "", "", "35.658300", ""},
        TagCase{"FractionalDegreesWest", {}, {}, {kLonW, rationals(4, {{1397455, 10000}, {0, 1}, {0, 1}})},
                {"GPS経度：西経139度44分43.8秒"}, "", "", "", "-139.745500"},
        TagCase{"TimeStamp", {}, {}, {rationals(7, {{3, 1}, {7, 1}, {9, 1}})}, {"GPS時間(UTC)：03時07分09秒"}},
        TagCase{"Altitude", {}, {}, {rawBytes(5, 1, bin("\x00")), rational(6, 1234, 10)}, {"ＧＰＳ高度：123.4ｍ"}},
        TagCase{"AltitudeBelowSea", {}, {}, {rawBytes(5, 1, "\x01"), rational(6, 5, 1)},
                {"ＧＰＳ高度：海面下5ｍ"}},
        TagCase{"SpeedWithoutUnit", {}, {}, {rational(13, 30, 1)}, {"速度：30単位不明"}},
        TagCase{"SpeedKnots", {}, {}, {ascii(12, "N"), rational(13, 125, 10)}, {"速度：12.5ノット"}},
        TagCase{"Dop", {}, {}, {rational(11, 25, 10)}, {"測位の信頼性：2.5"}},
        TagCase{"StateWords", {}, {},
                {ascii(8, "06"), ascii(9, "A"), ascii(10, "3"), ascii(18, "WGS-84"), ascii(29, "2008:10:23")},
                {"測位に使った衛星信号：06", "GPS受信機の状態：測位中", "GPSの測位方法：３次元測位中",
                 "測位に用いた地図データ：WGS-84", "ＧＰＳ日付2008:10:23"}},
        TagCase{"MethodGps", {}, {}, {rawBytes(27, 7, asciiComment("GPS"))}, {"測位方式の名称:ＧＰＳ衛星データ"}},
        TagCase{"MethodLowerCase", {}, {}, {rawBytes(27, 7, asciiComment("gps"))}, {"測位方式の名称:gps"}},
        TagCase{"MethodWlanUnicode", {}, {}, {rawBytes(27, 7, unicodeComment(u"WLAN"))},
                {"測位方式の名称:無線ＬＡＮデータ"}},
        TagCase{"AreaEmpty", {}, {}, {rawBytes(28, 7, asciiComment(bin("\0")))}, {"測位地点の名称:"}}));

INSTANTIATE_TEST_SUITE_P(
    TitleAndComment, TagLines,
    testing::Values(
        TagCase{"BlankDescriptionKeepsOthersListed",
                {ascii(270, std::string(32, ' ')), rawBytes(40091, 1, utf16le(u"旅行"))},
                {rawBytes(37510, 7, asciiComment("\x8A\x79\x82\xB5\x82\xA9\x82\xC1\x82\xBD"))}, {},
                {"コメント:楽しかった", "Xpタイトル:旅行"}, "", std::string(32, ' ')},
        TagCase{"XpTitleThenComment", {rawBytes(40091, 1, utf16le(u"旅行"))},
                {rawBytes(37510, 7, bin("\x1B\x24\x42\0\0\0\0\0\x8A\x79\x82\xB5\x82\xA9\x82\xC1\x82\xBD"))}, {},
                {"コメント:楽しかった"}, "", "旅行,"},
        TagCase{"UnicodeCommentTitle", {}, {rawBytes(37510, 7, unicodeComment(u"Hello"))}, {}, {}, "", "Hello."},
        TagCase{"NulComment", {}, {rawBytes(37510, 7, std::string(24, '\0'))}, {}, {}},
        TagCase{"CommentKeepsLineBreak", {ascii(270, "Title")}, {rawBytes(37510, 7, asciiComment(" one\ntwo \n"))}, {},
                {"コメント:one\r\ntwo"}, "", "Title"},
        TagCase{"EmptyDescriptionLeavesTitleFree", {ascii(270, ""), rawBytes(40091, 1, utf16le(u" 題 "))}, {}, {},
                {}, "", "題,"},
        TagCase{"XpLines",
                {rawBytes(40092, 1, utf16le(u"コメント")), rawBytes(40093, 1, utf16le(u"私")),
                 rawBytes(40094, 1, utf16le(u"花;山")), rawBytes(40095, 1, utf16le(u"件名")),
                 rawBytes(40091, 1, utf16le(u"   "))},
                {}, {}, {"Xpコメント:コメント", "Xp作成者:私", "Xpキーワード:花;山", "Xp件名:件名"}},
        // A comment that is not NUL-terminated inside its value ends there,
        // whatever the file holds after it.
        TagCase{"CommentEndsWithItsValue", {},
                {rawBytes(37510, 7, asciiComment("abcd")), ascii(42016, "FOLLOWING-BYTES")}, {},
                {"画像ユニークID：FOLLOWING-BYTES"}, "", "abcd."},
        TagCase{"UnicodeCommentEndsWithItsValue", {},
                {rawBytes(37510, 7, unicodeComment(u"Hi", false)), ascii(42016, "FOLLOWING-BYTES")}, {},
                {"画像ユニークID：FOLLOWING-BYTES"}, "", "Hi."}));

}  // namespace
