#include <gtest/gtest.h>

#include <algorithm>

#include "makernote_test_support.h"

using namespace mntest;

namespace {

const std::string kHeading = "--Canonメーカノート情報（参考）--";

// A 16-bit array for tag whose element 0 holds its byte length (for the tags
// that check it) and element k the value.
std::vector<uint32_t> arrayWith(uint16_t tag, uint16_t k, uint32_t value)
{
    std::vector<uint32_t> a(size_t(k) + 1, 0);
    if (tag == 1 || tag == 4 || tag == 29 || tag == 160)
        a[0] = uint32_t(a.size() * 2);
    a[k] = value;
    return a;
}

NoteResult runCanon(const IfdBuilder& ifd, bool exifLe = true, int64_t count = -1,
                    uint32_t noteOffset = kNoteOffset)
{
    return runNote(metadata::CanonNoteRead, canonNote(ifd, noteOffset), exifLe, count, noteOffset);
}

bool contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

struct ElementCase {
    uint16_t tag;
    uint16_t k;
    uint32_t value;
    const char* line;  // nullptr: the element gives no line
};

// Names the case in the test's name: "tag 1[2] = 100".
void PrintTo(const ElementCase& c, std::ostream* os) { *os << "tag " << c.tag << '[' << c.k << "] = " << c.value; }

class CanonElementTest : public ::testing::TestWithParam<ElementCase> {};

TEST_P(CanonElementTest, GivesItsLine)
{
    const auto& c = GetParam();
    // Tag 3 is not decoded; it stands first because a first tag above 4
    // ends the walk.
    IfdBuilder ifd(true);
    ifd.shorts(3, {0}).shorts(c.tag, arrayWith(c.tag, c.k, c.value));
    const auto lines = runCanon(ifd).lines;
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], kHeading);
    if (c.line) {
        EXPECT_TRUE(contains(lines, c.line)) << "tag " << c.tag << " k " << c.k << " value " << c.value
                                             << (lines.size() > 1 ? "; got " + lines.back() : std::string());
    } else {
        // Same lines as the array that ends before element k.
        auto shorter = arrayWith(c.tag, c.k, c.value);
        shorter.pop_back();
        if (c.tag == 1 || c.tag == 4 || c.tag == 29 || c.tag == 160)
            shorter[0] = uint32_t(shorter.size() * 2);
        IfdBuilder without(true);
        without.shorts(3, {0}).shorts(c.tag, shorter);
        EXPECT_EQ(lines, runCanon(without).lines) << "tag " << c.tag << " k " << c.k;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Elements, CanonElementTest,
    ::testing::Values(
        // Self-timer: tenths of a second, also with the 0x4000 flag.
        ElementCase{1, 2, 100, " セルフタイマー：10秒"}, ElementCase{1, 2, 0x4064, " セルフタイマー：10秒"},
        ElementCase{1, 2, 0, " セルフタイマー：不使用"}, ElementCase{1, 2, 5000, " セルフタイマー：&H1388"},
        ElementCase{1, 16, 0x4064, " ＩＳＯ感度：ＩＳＯ100"}, ElementCase{1, 16, 17, " ＩＳＯ感度：ＩＳＯ１００"},
        ElementCase{1, 16, 16399, " ＩＳＯ感度：&H400F"},
        // Signed settings: the sign comes from the pattern's section.
        ElementCase{1, 13, 65535, " コントラスト：-1"}, ElementCase{1, 13, 1, " コントラスト：+1"},
        ElementCase{1, 13, 0, " コントラスト：標準"}, ElementCase{1, 13, 32767, " コントラスト：N/A"},
        ElementCase{1, 15, 0, " シャープネス：なし"}, ElementCase{1, 42, 65534, " 色合い補正：-2"},
        // Unlisted codes take the &H form with four upper-case digits.
        ElementCase{1, 4, 17, " ストロボ：&H0011"}, ElementCase{1, 9, 0, " 記録形式：&H0000"},
        ElementCase{1, 11, 31, " 撮影モード：スイッチカラー "}, ElementCase{1, 11, 261, " 撮影モード：夕日"},
        ElementCase{1, 19, 0x4006, " ＡＦポイント：顔優先"},
        ElementCase{1, 29, 0, " ストロボ詳細情報："},
        ElementCase{1, 29, 0x2003, " ストロボ詳細情報：マニュアル,ＴＴＬ,内蔵ストロボ,"},
        ElementCase{1, 22, 0x1A2B, " レンズＩＤ：&H1A2B"},
        ElementCase{1, 36, 65535, " ズーム元解像度：&HFFFF"}, ElementCase{1, 37, 640, " ズーム先解像度：640"},
        ElementCase{1, 26, 128, " レンズ開放絞り：4(APEX)"}, ElementCase{1, 27, 100, " レンズ最小絞り：3.13(APEX)"},
        ElementCase{1, 41, 0x502, " マニュアルストロボ出力：中"},
        ElementCase{1, 6, 5, nullptr}, ElementCase{1, 43, 5, nullptr},
        ElementCase{2, 0, 2, " レンズタイプ：ズームレンズ"}, ElementCase{2, 2, 236, " 撮像素子の横サイズ：5.9mm"},
        ElementCase{2, 1, 9, nullptr},
        // Shot information.
        ElementCase{4, 1, 160, " オートＩＳＯ感度：3200"}, ElementCase{4, 1, 65504, " オートＩＳＯ感度：50"},
        ElementCase{4, 2, 160, " ベースＩＳＯ感度：100"},
        ElementCase{4, 3, 48, " 測定ＥＶ値：1.5EV"}, ElementCase{4, 3, 65504, " 測定ＥＶ値：-1EV"},
        ElementCase{4, 4, 128, " 目標Ｆ値：F4"}, ElementCase{4, 21, 159, " Ｆ値：F5.6"},
        ElementCase{4, 6, 0, " 露出補正値：+0EV"}, ElementCase{4, 6, 65520, " 露出補正値：-0.5EV"},
        ElementCase{4, 22, 256, " 露出時間：1/256秒"}, ElementCase{4, 22, 0, " 露出時間：1秒"},
        ElementCase{4, 22, 65472, " 露出時間：4秒"}, ElementCase{4, 22, 16, " 露出時間：0.7秒"},
        ElementCase{4, 5, 65520, " 目標露出時間：1.4秒"}, ElementCase{4, 5, 65535, " 目標露出時間：1秒"},
        ElementCase{4, 7, 13, " ホワイトバランス：&H000D"}, ElementCase{4, 7, 21, " ホワイトバランス：PC Set5"},
        ElementCase{4, 9, 7, " 連写シーケンス番号：7"},
        ElementCase{4, 13, 65535, " ストロボガイドナンバー：N/A"}, ElementCase{4, 13, 1000, " ストロボガイドナンバー：31.3"},
        ElementCase{4, 14, 0x3003, " 使用ＡＦポイント：中央と右"}, ElementCase{4, 14, 5, " 使用ＡＦポイント：&H0005"},
        ElementCase{4, 15, 48, " ストロボ光量補正：+1.5EV"}, ElementCase{4, 15, 65520, " ストロボ光量補正：-.5EV"},
        ElementCase{4, 17, 65504, " ＡＥＢ値：-1EV"}, ElementCase{4, 16, 65535, " 自動露出ブラケット撮影(AEB)：オン"},
        ElementCase{4, 19, 250, " 被写体距離の上限：2.5m"}, ElementCase{4, 26, 250, " カメラタイプ：コンパクトカメラ"},
        ElementCase{4, 11, 3, nullptr}, ElementCase{4, 5, 32768, nullptr},
        ElementCase{5, 2, 3, " パノラマ写真連番：No.3"}, ElementCase{5, 5, 4, " スティッチアシストモードの向き：四角（２×２）"},
        ElementCase{18, 7, 120, " ＡＦエリアの高さ：120"},
        ElementCase{26, 0, 1, " スーパーマクロ： オン"}, ElementCase{26, 0, 3, " スーパーマクロ：&H0003"},
        ElementCase{29, 2, 10, " マイカラー：&H000A"}, ElementCase{29, 2, 15, " マイカラー：白黒"},
        ElementCase{160, 9, 65535, " 色温度設定：N/A"}, ElementCase{160, 10, 134, " カラーマトリクス：PicStylモノクローム"},
        ElementCase{160, 12, 0, " ホワイトバランス色補正(B/A)：なし"},
        ElementCase{160, 12, 5, " ホワイトバランス色補正(B/A)：アンバー側へ5"},
        ElementCase{160, 13, 65530, " ホワイトバランス色補正(M/G)：マゼンタ側へ6"},
        ElementCase{160, 12, 1500, nullptr}));

TEST(CanonNoteTest, FocalLengthsAreDividedByTheFocalUnits)
{
    struct Case {
        uint32_t longEnd, shortEnd, units;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {55, 18, 1, {" レンズ焦点距離（Ｔ端）：55mm", " レンズ焦点距離（Ｗ端）：18mm"}},
        {2160, 720, 100, {" レンズ焦点距離（Ｔ端）：21.6mm", " レンズ焦点距離（Ｗ端）：7.2mm"}},
        {55, 18, 0, {}},
    };
    for (const auto& c : cases) {
        std::vector<uint32_t> a(26, 0);
        a[0] = 52;
        a[23] = c.longEnd;
        a[24] = c.shortEnd;
        a[25] = c.units;
        IfdBuilder ifd(true);
        ifd.shorts(1, a);
        std::vector<std::string> focal;
        for (const auto& line : runCanon(ifd).lines)
            if (line.find("焦点距離") != std::string::npos)
                focal.push_back(line);
        EXPECT_EQ(focal, c.lines) << "units " << c.units;
    }
}

TEST(CanonNoteTest, WalkStopsWhereTheNoteSaysSo)
{
    // No entries: the heading alone.
    EXPECT_EQ(runCanon(IfdBuilder(true)).lines, std::vector<std::string>{kHeading});

    // More entries than the length can hold: nothing at all.
    {
        IfdBuilder ifd(true);
        ifd.shorts(2, {1});
        ifd.shorts(2, {1});
        EXPECT_TRUE(runCanon(ifd, true, 23).lines.empty());
    }
    // A note beyond 65535 bytes after the TIFF header: clamped below zero.
    {
        IfdBuilder ifd(true);
        ifd.shorts(2, {1});
        EXPECT_TRUE(runCanon(ifd, true, -1, 100 * 1024).lines.empty());
    }
    // First tag above 4: the heading only.
    {
        IfdBuilder ifd(true);
        ifd.ascii(6, "IMG");
        EXPECT_EQ(runCanon(ifd).lines, std::vector<std::string>{kHeading});
    }
    // The array-length check: 8 bytes for count 4 decodes; 6 ends it all.
    {
        IfdBuilder ok(true);
        ok.shorts(1, {8, 1, 0, 3});
        EXPECT_EQ(runCanon(ok).lines,
                  (std::vector<std::string>{kHeading, " マクロ／ノーマル：マクロ", " セルフタイマー：不使用", " 画質：ファイン"}));
        IfdBuilder bad(true);
        bad.shorts(1, {6, 1, 0, 3});
        bad.ascii(9, "owner");
        EXPECT_EQ(runCanon(bad).lines, std::vector<std::string>{kHeading});
    }
    // Tag 1 in 4-byte elements fails the check: nothing after it is read.
    {
        IfdBuilder ifd(true);
        ifd.longs(1, {8, 1});
        ifd.ascii(9, "owner");
        EXPECT_EQ(runCanon(ifd).lines, std::vector<std::string>{kHeading});
    }
}

TEST(CanonNoteTest, EntriesAreReadOrPassedOver)
{
    // A value outside the note is passed over; the walk goes on. So is a
    // count whose byte size does not fit in 32 bits.
    IfdBuilder ifd(true);
    ifd.offsetEntry(2, 3, 4, 0x8000);
    ifd.offsetEntry(4, 3, 0x80000001u, kNoteOffset);
    ifd.ascii(9, "");
    ifd.longs(12, {123456});
    ifd.shorts(12, {5});  // a serial number in 16-bit elements: no line
    ifd.longs(21, {0xA0000000u, 0x12u});
    ifd.raw(6, 7, 6, {' ', 'I', 'M', 'G', ' ', 0});
    const std::vector<std::string> expected = {kHeading, " カメラ所有者名：", " カメラ製造番号：&H0001E240",
                                               " 製造番号の形式：形式２", " 製造番号の形式：&H00000012",
                                               " イメージタイプ：IMG"};
    EXPECT_EQ(runCanon(ifd, true).lines, expected);
    // The Canon note is little-endian inside a big-endian Exif block too.
    EXPECT_EQ(runCanon(ifd, false).lines, expected);
}

TEST(CanonNoteTest, TextsAreCodePage932AndCutAt1024Bytes)
{
    IfdBuilder ifd(true);
    ifd.shorts(3, {0});
    ifd.ascii(7, "\x83\x4C\x83\x84\x83\x6D\x83\x93 1.0 ");
    ifd.ascii(9, std::string(2000, 'a'));
    ifd.ascii(95, "EF-S18-55mm");
    const auto lines = runCanon(ifd).lines;
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[1], " ファームウェアバージョン：キヤノン 1.0");
    EXPECT_EQ(lines[2], " カメラ所有者名：" + std::string(1024, 'a'));
    EXPECT_EQ(lines[3], " 交換レンズ名：EF-S18-55mm");
}

}  // namespace
