#include <gtest/gtest.h>

#include <functional>

#include "makernote_test_support.h"

using namespace mntest;

namespace {

const std::string kHeading = "--Nikonメーカノート（Type3）情報（参考）--";

NoteResult runNikon(const IfdBuilder& ifd, bool exifLe, int64_t count = -1)
{
    return runNote(metadata::NikonNoteRead, nikonNote(ifd), exifLe, count);
}

// Builds the note in both inner byte orders and runs each inside both Exif
// byte orders: all four give the same lines, and the Exif byte order is
// back afterwards. Returns the lines after the heading and the version line.
std::vector<std::string> linesOf(const std::function<void(IfdBuilder&)>& fill)
{
    std::vector<std::string> first;
    bool haveFirst = false;
    for (bool innerLe : {false, true}) {
        for (bool exifLe : {false, true}) {
            IfdBuilder ifd(innerLe);
            ifd.undefined(1, {'0', '2', '1', '0'});
            fill(ifd);
            const auto result = runNikon(ifd, exifLe);
            EXPECT_EQ(result.littleEndianAfter, exifLe);
            auto lines = result.lines;
            EXPECT_GE(lines.size(), 2u);
            if (lines.size() >= 2) {
                EXPECT_EQ(lines[0], kHeading);
                EXPECT_EQ(lines[1], " メーカーノートバージョン：0210");
                lines.erase(lines.begin(), lines.begin() + 2);
            }
            if (!haveFirst) {
                first = lines;
                haveFirst = true;
            } else {
                EXPECT_EQ(lines, first) << "inner " << innerLe << " exif " << exifLe;
            }
        }
    }
    return first;
}

// Where the value of the entry after the version entry starts in the
// stream when it lies after an IFD of n entries.
std::string valueAddress(int entries)
{
    const int position = 6 + int(kNoteOffset) + 10 + 8 + 2 + 12 * entries;
    char text[16];
    std::snprintf(text, sizeof text, "%06X", position);
    return std::string("アドレスhx") + text;
}

using Lines = std::vector<std::string>;

TEST(NikonNoteTest, UndefinedEntries)
{
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) { ifd.undefined(1, {0, 2, 1, 0}); }),
              Lines{" メーカーノートバージョン：0210"});
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) { ifd.undefined(136, {0, 0xE9, 'x'}); }),
              Lines{" ＡＦ情報：0éx"});
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) { ifd.raw(26, 7, 8, {' ', 'E', 'd', 'i', 't', ' ', 0, 0}); }),
              Lines{" 画像編集：Edit"});
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) { ifd.undefined(152, Bytes(33, 1)); }),
              Lines{" レンズデータ：データ数UnDef33" + valueAddress(2)});
    // An UNDEFINED tag in neither table gives no line.
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) { ifd.undefined(0x99, {1, 2}); }), Lines{});
}

TEST(NikonNoteTest, AsciiAndByteEntries)
{
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) {
                  ifd.ascii(4, "FINE   ");
                  ifd.ascii(0x3F, "x");
              }),
              (Lines{" 品質：FINE", " 不明（タグhx003Fデータ数Ascii2）x"}));
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) {
                  ifd.bytes(131, {0x0E});
                  ifd.bytes(131, {0});
                  ifd.bytes(131, {0xFF});
                  ifd.bytes(135, {9});
                  ifd.bytes(135, {4});
                  ifd.bytes(32, {2});
                  ifd.bytes(0x50, {1, 2, 3, 4, 5}, 6);
                  ifd.bytes(0x51, {0xFF, 2}, 6);
                  ifd.bytes(0x52, {0xFF, 2}, 1);
              }),
              (Lines{" レンズ型式：DGVR", " レンズ型式：0", " レンズ型式：MFDGVR1FT-1EAF-P", " ストロボ：発光、ＴＴＬ",
                     " ストロボ：4", " 画像認証：あり",
                     " 不明（タグhx0050データ数SByte5）：1｜2｜3｜4" + valueAddress(10),
                     " 不明（タグhx0051データ数SByte2）：-1｜2", " 不明（タグhx0052データ数Byte2）：255｜2"}));
}

TEST(NikonNoteTest, ShortEntries)
{
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) {
                  ifd.shorts(2, {200, 400});
                  ifd.shorts(2, {0, 800});
                  ifd.shorts(11, {65535, 2, 3, 4, 5}, 8);
                  ifd.shorts(27, {1, 2, 3, 4, 5, 6, 7, 8});
                  ifd.shorts(30, {2});
                  ifd.shorts(34, {6});
                  ifd.shorts(137, {0});
                  ifd.shorts(137, {0x0821});
                  ifd.shorts(146, {65534});
              }),
              (Lines{" ＩＳＯ：200／400", " ＩＳＯ：0／800", " ホワイトバランス調整：-1｜2｜3｜4",
                     " クロッピング：1｜2｜3｜4｜5｜6｜7", " 色空間：アドビＲＧＢ", " アクティブＤ-ライティング：hx0006",
                     " 撮像モード：0", " 撮像モード：連続撮影オートＩＳＯ赤外制御", " 色相調整：-2"}));
    // Retouch history ends at its first 0 and shows at most 10 entries.
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) {
                  ifd.shorts(158, {3, 0, 5});
                  ifd.shorts(158, std::vector<uint32_t>(12, 4));
                  ifd.shorts(158, {2, 54});
              }),
              (Lines{" 画像編集履歴：白黒｜なし", " 画像編集履歴：セピア｜セピア｜セピア｜セピア｜セピア｜セピア｜セピア｜セピア｜セピア｜セピア",
                     " 画像編集履歴：hx0002｜ローキー"}));
    // Unlisted tags: type word, count, up to four values, the address.
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) { ifd.shorts(0xAB, {1, 2, 3, 4, 5, 6}); }),
              Lines{" 不明（タグhx00ABデータ数Short6）：1｜2｜3｜4" + valueAddress(2)});
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) { ifd.shorts(0xAC, {65535, 1}, 8); }),
              Lines{" 不明（タグhx00ACデータ数SShort2）：-1｜1"});
}

TEST(NikonNoteTest, LongEntries)
{
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) {
                  ifd.longs(167, {12345});
                  ifd.longs(17, {0x100});
                  ifd.longs(0x77, {4000000000u, 1});
                  ifd.longs(0x78, {0xFFFFFFFFu}, 9);
              }),
              (Lines{" シャッター回数：12345", " プレビューIFD：hx00000150", " 不明（タグhx0077データ数Long2）：4000000000",
                     " 不明（タグhx0078データ数SLong1）：-1"}));
}

TEST(NikonNoteTest, RationalEntries)
{
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) {
                  ifd.rationals(132, {{18, 1}, {55, 1}, {35, 10}, {56, 10}});
                  ifd.rationals(132, {{18, 1}, {55, 0}, {35, 10}, {56, 10}});
                  ifd.rationals(132, {{0, 0}, {55, 1}});
                  ifd.rationals(12, {{1, 3}, {2, 1}, {5, 4}, {1, 1}, {9, 1}});
                  ifd.rationals(154, {{4288, 1}, {2848, 1}});
                  ifd.rationals(133, {{0, 1}});
                  ifd.rationals(0x66, {{1, 2}, {3, 2}});
              }),
              (Lines{" レンズ：18mm～55mm、Ｆ3.5～Ｆ5.6", " レンズ：18mm", " ホワイトバランスレベル：0.33｜2｜1.25｜1",
                     " センサーサイズ（ピクセル）：4288×2848", " マニュアルフォーカス距離：0",
                     " 不明（タグhx0066データ数Rationnal2）：0.5｜1.5"}));
    EXPECT_EQ(linesOf([](IfdBuilder& ifd) {
                  ifd.rationals(63, {{uint32_t(-1), 1}, {2, 1}}, 10);
                  ifd.rationals(63, {{1, uint32_t(-2)}, {uint32_t(-3), 2}}, 10);
                  ifd.rationals(25, {{uint32_t(-2), 3}}, 10);
                  ifd.rationals(0x70, {{1, 4}, {uint32_t(-1), 4}, {1, 0}, {1, 1}}, 10);
              }),
              (Lines{" ホワイトバランス微調整値：AB-1GM2", " ホワイトバランス微調整値：AB-0.5GM-1.5",
                     " ＡＥブラケティング値：-0.67(APEX)", " 不明（タグhx0070データ数Srationnal4）：0.25｜-0.25"}));
}

TEST(NikonNoteTest, WalkStopsAndByteOrderComesBack)
{
    for (bool innerLe : {false, true}) {
        for (bool exifLe : {false, true}) {
            // No entries: the heading alone.
            auto r = runNikon(IfdBuilder(innerLe), exifLe);
            EXPECT_EQ(r.lines, Lines{kHeading});
            EXPECT_EQ(r.littleEndianAfter, exifLe);
            // A first tag above 32 stops after the heading.
            IfdBuilder late(innerLe);
            late.shorts(33, {1}).shorts(2, {1, 2});
            r = runNikon(late, exifLe);
            EXPECT_EQ(r.lines, Lines{kHeading});
            EXPECT_EQ(r.littleEndianAfter, exifLe);
            // More entries than the length holds: nothing.
            IfdBuilder two(innerLe);
            two.shorts(2, {1, 2}).shorts(2, {1, 2});
            r = runNikon(two, exifLe, 23);
            EXPECT_TRUE(r.lines.empty());
            EXPECT_EQ(r.littleEndianAfter, exifLe);
            // A value beyond the note, and one too large to count, are
            // passed over.
            IfdBuilder outside(innerLe);
            outside.offsetEntry(2, 3, 4, 0x7000).offsetEntry(2, 3, 0x80000000u, 8).shorts(2, {1, 2});
            r = runNikon(outside, exifLe);
            EXPECT_EQ(r.lines, (Lines{kHeading, " ＩＳＯ：1／2"}));
        }
    }
}

TEST(NikonNoteTest, OtherFormsGiveNothing)
{
    IfdBuilder ifd(false);
    ifd.shorts(2, {1, 2});
    const Bytes good = nikonNote(ifd);
    struct Case {
        size_t at;
        uint8_t byte;
        Lines lines;
    };
    const Case cases[] = {
        {0, 'n', {}},        // "nikon" is not the header
        {6, 1, {}},          // version 1
        {17, 4, {kHeading}}, // IFD offset below 8: the heading alone
        {16, 0x40, {kHeading}},  // IFD offset beyond the note
    };
    for (const auto& c : cases) {
        Bytes note = good;
        note[c.at] = c.byte;
        for (bool exifLe : {false, true}) {
            const auto r = runNote(metadata::NikonNoteRead, note, exifLe);
            EXPECT_EQ(r.lines, c.lines) << "byte " << c.at;
            EXPECT_EQ(r.littleEndianAfter, exifLe);
        }
    }
}

}  // namespace
