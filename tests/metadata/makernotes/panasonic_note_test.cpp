#include <gtest/gtest.h>

#include "makernote_test_support.h"

using namespace mntest;

namespace {

const std::string kHeading = "-Panasonicメーカノート情報（参考）-";

NoteResult runPanasonic(const IfdBuilder& ifd, int64_t count = -1)
{
    return runNote(metadata::PanasonicNoteRead, panasonicNote(ifd, kNoteOffset), ifd.littleEndian(), count);
}

// The lines after the heading, for a note in each Exif byte order; both
// must agree.
std::vector<std::string> linesOf(void (*fill)(IfdBuilder&))
{
    std::vector<std::string> result[2];
    for (int le = 0; le < 2; ++le) {
        IfdBuilder ifd(le == 1);
        ifd.shorts(1, {2});  // a first tag of at most 32
        fill(ifd);
        auto lines = runPanasonic(ifd).lines;
        EXPECT_FALSE(lines.empty());
        if (!lines.empty()) {
            EXPECT_EQ(lines[0], kHeading);
            lines.erase(lines.begin(), lines.begin() + std::min<size_t>(2, lines.size()));
        }
        result[le] = lines;
    }
    EXPECT_EQ(result[0], result[1]) << "big- and little-endian notes differ";
    return result[1];
}

struct NumericCase {
    uint16_t tag;
    uint16_t type;
    std::vector<uint32_t> values;
    const char* line;  // nullptr: no line
};

// Names the case in the test's name: "tag 3 (type 3) = 1".
void PrintTo(const NumericCase& c, std::ostream* os)
{
    *os << "tag " << c.tag << " (type " << c.type << ") =";
    for (uint32_t v : c.values)
        *os << ' ' << v;
}

class PanasonicNumericTest : public ::testing::TestWithParam<NumericCase> {};

TEST_P(PanasonicNumericTest, GivesItsLine)
{
    static NumericCase current;
    current = GetParam();
    const auto lines = linesOf([](IfdBuilder& ifd) {
        const auto& c = current;
        if (c.type == 3 || c.type == 8)
            ifd.shorts(c.tag, c.values, c.type);
        else if (c.type == 1)
            ifd.bytes(c.tag, Bytes(c.values.begin(), c.values.end()));
        else
            ifd.longs(c.tag, c.values, c.type);
    });
    if (current.line)
        EXPECT_EQ(lines, std::vector<std::string>{current.line});
    else
        EXPECT_TRUE(lines.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tags, PanasonicNumericTest,
    ::testing::Values(
        NumericCase{3, 3, {1}, " ホワイトバランス：オート"}, NumericCase{3, 3, {17}, " ホワイトバランス：&H0011"},
        NumericCase{31, 3, {63}, " 撮影/シーンモード：ガラス越し"}, NumericCase{31, 3, {64}, " 撮影/シーンモード：&H0040"},
        // AF mode: two bytes.
        NumericCase{15, 1, {1, 1}, " ＡＦモード：５点"}, NumericCase{15, 1, {1, 0}, " ＡＦモード：スポット"},
        NumericCase{15, 1, {16, 16}, " ＡＦモード：１点高速"}, NumericCase{15, 1, {2, 3}, " ＡＦモード：&H0203"},
        // Signed texts: below 1 without a plus sign.
        NumericCase{57, 3, {0}, " コントラスト：0"}, NumericCase{57, 3, {65535}, " コントラスト：-1"},
        NumericCase{57, 3, {2}, " コントラスト：+2"}, NumericCase{71, 8, {65534}, " ﾎﾜｲﾄﾊﾞﾗﾝｽ補正+緑/-ﾏｾﾞﾝﾀ：-2"},
        // Thirds with two-section patterns.
        NumericCase{35, 3, {65533}, " ホワイトバランスバイアス：-1"}, NumericCase{35, 3, {1}, " ホワイトバランスバイアス：+0.33"},
        NumericCase{35, 3, {0}, " ホワイトバランスバイアス：+0"}, NumericCase{36, 8, {65535}, " フラッシュバイアス：-0.33"},
        NumericCase{60, 3, {400}, " ＩＳＯ設定：400"}, NumericCase{60, 3, {65534}, " ＩＳＯ設定：インテリジェントＩＳＯ"},
        NumericCase{60, 3, {65535}, " ＩＳＯ設定：なし"},
        // Time since power on, in hundredths of a second.
        NumericCase{41, 4, {12345}, " 電源オン時間：2分3.45秒"}, NumericCase{41, 4, {4550}, " 電源オン時間：45.5秒"},
        NumericCase{41, 4, {6000}, " 電源オン時間：1分0秒"},
        NumericCase{43, 4, {0}, " 連写等番号：なし"}, NumericCase{43, 4, {7}, " 連写等番号：7"},
        NumericCase{54, 3, {65535}, " 旅行日数：無効"}, NumericCase{54, 3, {3}, " 旅行日数：3日"},
        NumericCase{68, 3, {0}, " 色温度：N/A"}, NumericCase{68, 3, {5500}, " 色温度：5500"},
        NumericCase{63, 3, {2}, " 顔認識数：2"}, NumericCase{32774, 3, {412}, " ホワイトバランスレベル青：412"},
        NumericCase{99, 3, {1}, nullptr}));

TEST(PanasonicNoteTest, AfAreaCentre)
{
    struct Case {
        std::vector<std::pair<uint32_t, uint32_t>> values;
        std::vector<std::string> lines;
    };
    static const Case cases[] = {
        {{{1, 2}, {1, 2}}, {" ＡＦエリアの中心位置X,Y：0.5,0.5"}},
        {{{1, 3}, {2, 3}}, {" ＡＦエリアの中心位置X,Y：0.33,0.67"}},
        {{{0xFFFFFFFFu, 1}, {1, 2}}, {" ＡＦエリアの中心位置：&HFFFFFFFF"}},
        {{{1, 0}, {1, 2}}, {}},
        {{{1, 2}, {1, 0}}, {}},
    };
    static const Case* current = nullptr;
    for (const auto& c : cases) {
        current = &c;
        EXPECT_EQ(linesOf([](IfdBuilder& ifd) { ifd.rationals(77, current->values); }), c.lines);
    }
}

TEST(PanasonicNoteTest, TextsAndVersions)
{
    // Firmware bytes as digits or as numbers; "---" and the empty date give
    // no line; texts are trimmed.
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) {
                  ifd.undefined(2, {'0', '1', '2', '1'});
                  ifd.undefined(2, {0, 1, 2, 1});
                  ifd.ascii(51, "---");
                  ifd.ascii(51, "9999:99:99 00:00:00");
                  ifd.ascii(81, "  LEICA DC VARIO  ");
                  ifd.undefined(32768, {'0', '1', '2', '0'});
              }),
              (std::vector<std::string>{" ファームウェア版数：.0.1.2.1", " ファームウェア版数：.0.1.2.1",
                                        " レンズタイプ：LEICA DC VARIO", " メーカノートバージョン：0120"}));

    // Version 0310 switches the place names to UTF-8; 0260 leaves them in
    // the code page; a version that is no number changes nothing.
    const std::string tokyoUtf8 = "東京";
    const std::string tokyoCp932 = "\x93\x8C\x8B\x9E";
    static std::string version;
    static std::string place;
    auto placeLine = [&](const std::string& v, const std::string& p) {
        version = v;
        place = p;
        return linesOf([](IfdBuilder& ifd) {
            ifd.undefined(38, Bytes(version.begin(), version.end()));
            ifd.undefined(109, Bytes(place.begin(), place.end()));
        });
    };
    EXPECT_EQ(placeLine("0310", tokyoUtf8), (std::vector<std::string>{" バージョン：0310", " 市区町村名：東京"}));
    EXPECT_EQ(placeLine("0260", tokyoCp932), (std::vector<std::string>{" バージョン：0260", " 市区町村名：東京"}));
    EXPECT_EQ(placeLine("abcd", tokyoCp932), (std::vector<std::string>{" バージョン：abcd", " 市区町村名：東京"}));
}

TEST(PanasonicNoteTest, FaceRecords)
{
    auto face = [](Bytes& b, const std::string& name, uint16_t x, uint16_t y, const std::string& age) {
        Bytes n(20, 0);
        std::copy(name.begin(), name.end(), n.begin());
        b.insert(b.end(), n.begin(), n.end());
        for (uint16_t v : {x, y, uint16_t(x + 10), uint16_t(y + 20)})
            put16(b, v, true);
        Bytes a(20, 0);
        std::copy(age.begin(), age.end(), a.begin());
        b.insert(b.end(), a.begin(), a.end());
    };
    static Bytes record;
    record.clear();
    put32(record, 2, true);
    face(record, "Hanako", 100, 200, "0003:01:00 00:00:00");
    face(record, "", 5, 6, "0000:00:00 00:00:00");
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) { ifd.undefined(97, record); }),
              (std::vector<std::string>{" 顔認識1名前：Hanako", " 顔認識1位置X,Y：100,200",
                                        " 顔認識1ｻｲｽﾞ幅,高pixs：110,220", " 顔認識1年齢：0003:01:00 00:00:00",
                                        " 顔認識2位置X,Y：5,6", " 顔認識2ｻｲｽﾞ幅,高pixs：15,26"}));
    // A face count far beyond the record stops at the record's end.
    record[0] = 0xFF;
    record[1] = 0xFF;
    record[2] = 0xFF;
    record[3] = 0x7F;
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) { ifd.undefined(97, record); }).size(), 6u);
}

TEST(PanasonicNoteTest, WalkStops)
{
    IfdBuilder ifd(true);
    ifd.shorts(1, {2});
    const Bytes good = panasonicNote(ifd, kNoteOffset);
    EXPECT_EQ(runPanasonic(ifd).lines, (std::vector<std::string>{kHeading, " 画質：高画質"}));

    // Not the Panasonic header: nothing.
    Bytes other = good;
    other[0] = 'p';
    EXPECT_TRUE(runNote(metadata::PanasonicNoteRead, other, true).lines.empty());
    // More entries than the length holds: nothing.
    EXPECT_TRUE(runPanasonic(ifd, 11).lines.empty());
    // No entries: the heading alone.
    EXPECT_EQ(runPanasonic(IfdBuilder(false)).lines, std::vector<std::string>{kHeading});
    // A first tag above 32: the heading alone.
    IfdBuilder late(false);
    late.shorts(33, {1}).shorts(1, {2});
    EXPECT_EQ(runPanasonic(late).lines, std::vector<std::string>{kHeading});
    // A value beyond the note is passed over.
    IfdBuilder outside(true);
    outside.offsetEntry(1, 3, 4, 0x9000).shorts(3, {2}).offsetEntry(3, 3, 0x80000000u, 0);
    EXPECT_EQ(runPanasonic(outside).lines, (std::vector<std::string>{kHeading, " ホワイトバランス：晴天"}));
    // Long texts are cut at 1024 bytes.
    IfdBuilder longText(true);
    longText.shorts(1, {2}).ascii(82, std::string(3000, '7'));
    EXPECT_EQ(runPanasonic(longText).lines.back(), " レンズ製造番号：" + std::string(1024, '7'));
}

}  // namespace
