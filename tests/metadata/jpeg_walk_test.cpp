// The segment walk and the IFD walk over files built byte by byte: order of
// lines, segments that are not Exif, damaged structures.
#include <gtest/gtest.h>

#include "exif_builder.h"

using namespace exiftest;

namespace {

Bytes tiffWith(bool le, std::vector<Entry> ifd0, std::vector<Entry> exif = {}, std::vector<Entry> gps = {})
{
    TiffBuilder t(le);
    t.ifd0 = std::move(ifd0);
    t.exif = std::move(exif);
    t.gps = std::move(gps);
    return t.build();
}

void put32(Bytes& b, size_t at, uint32_t v, bool le)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (le ? 8 * i : 24 - 8 * i));
}

TEST(JpegWalk, SegmentsAroundTheExifBlock)
{
    for (bool le : {false, true}) {
        SCOPED_TRACE(le);
        const Bytes exif = exifSegment(tiffWith(le, {ascii(271, "Make")}));
        const std::string xmp = "http://ns.adobe.com/xap/1.0/\0<x:xmpmeta/>";
        // A comment before the Exif block comes first; an XMP block is passed
        // over and the walk goes on after it; a progressive frame is skipped.
        const Bytes file = jpeg({comSegment(bin("first\0")), segment(0xFFE1, Bytes(xmp.begin(), xmp.end())), exif,
                                 segment(0xFFC2, Bytes(10, 0)), comSegment(bin("last\0"))});
        const Result r = read(file);
        EXPECT_EQ(r.sink.lines, (std::vector<std::string>{"Jpegコメント：first", "メーカ名：Make", "Jpegコメント：last"}));
    }
}

TEST(JpegWalk, TwoExifBlocksAreBothRead)
{
    const Bytes file = jpeg({exifSegment(tiffWith(false, {ascii(272, "A")})), exifSegment(tiffWith(true, {ascii(272, "B")}))});
    EXPECT_EQ(read(file).sink.lines, (std::vector<std::string>{"機種：A", "機種：B"}));
}

TEST(JpegWalk, JpegComments)
{
    struct Case {
        std::string payload;
        std::vector<std::string> lines;
    };
    const std::string big(2000, 'x');
    const std::vector<Case> cases = {
        {"Hello", {"Jpegコメント：Hell"}},
        {bin("Hello\0"), {"Jpegコメント：Hello"}},
        {"H", {}},
        {"", {}},
        {bin("  \0"), {"Jpegコメント：  "}},
        {"\x93\xfa\x96\x7b\x8c\xea\n", {"Jpegコメント：日本語"}},
        {big, {"Jpegコメント：" + big.substr(0, 1023)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.payload.substr(0, 20));
        std::vector<std::string> expected = c.lines;
        expected.push_back("Jpegコメント：next");
        EXPECT_EQ(read(jpeg({comSegment(c.payload), comSegment(bin("next\0"))})).sink.lines, expected);
    }
}

TEST(JpegWalk, FilesThatAreNotReadOrTooShort)
{
    // Not a JPEG: nothing, no error.
    Bytes png(200, 0);
    png[0] = 0x89;
    EXPECT_FALSE(read(png).threw);
    EXPECT_TRUE(read(png).sink.lines.empty());
    EXPECT_FALSE(read(Bytes{}).threw);
    EXPECT_FALSE(read(Bytes{0xFF}).threw);
    // A JPEG shorter than 100 bytes is an error.
    Bytes tiny{0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_TRUE(read(tiny).threw);
}

TEST(JpegWalk, SegmentLengthsThatWouldStallTheWalk)
{
    // Lengths 0 and 1 still move the walk on; a file of such segments ends.
    Bytes file{0xFF, 0xD8};
    for (int i = 0; i < 30000; ++i) {
        file.push_back(0xFF);
        file.push_back(static_cast<uint8_t>(i % 2 ? 0xFE : 0xE1));
        file.push_back(0);
        file.push_back(static_cast<uint8_t>(i % 2));
    }
    EXPECT_FALSE(read(file).threw);
}

TEST(ExifWalk, OrderOfIfdsAndOrientation)
{
    for (bool le : {false, true}) {
        SCOPED_TRACE(le);
        TiffBuilder t(le);
        t.ifd0 = {ascii(271, "Maker"), shorts(274, {6})};
        t.exif = {rational(33437, 4, 1)};
        t.gps = {ascii(18, "WGS-84")};
        t.ifd1 = {shorts(274, {3}), ascii(272, "in IFD1")};
        // The GPS pointer standing first puts the GPS IFD before the Exif IFD.
        t.gpsPointerFirst = true;
        const Result r = read(jpeg({exifSegment(t.build())}));
        EXPECT_EQ(r.sink.lines, (std::vector<std::string>{"メーカ名：Maker", "測位に用いた地図データ：WGS-84",
                                                          "絞　り　値：F4", "機種：in IFD1"}));
        // Only IFD0's orientation counts.
        EXPECT_EQ(r.sink.orientation, 6);
    }
}

TEST(ExifWalk, EmptyIfdStillLinksOn)
{
    TiffBuilder t(true);
    t.ifd1 = {ascii(272, "next")};
    EXPECT_EQ(read(jpeg({exifSegment(t.build())})).sink.lines, std::vector<std::string>{"機種：next"});
}

TEST(ExifWalk, LinksBackAreNotFollowed)
{
    for (bool le : {false, true}) {
        TiffBuilder t(le);
        t.ifd0 = {ascii(272, "zero")};
        t.ifd1 = {ascii(305, "one")};
        Bytes tiff = t.build();
        // IFD1 (8 + 18 bytes in) links back to IFD0 at 8.
        put32(tiff, 8 + 18 + 2 + 12, 8, le);
        const Result r = read(jpeg({exifSegment(tiff)}));
        EXPECT_EQ(r.sink.lines, (std::vector<std::string>{"機種：zero", "ソフトウェア：one"}));
        // IFD0 linking to itself.
        put32(tiff, 8 + 2 + 12, 8, le);
        EXPECT_EQ(read(jpeg({exifSegment(tiff)})).sink.lines, std::vector<std::string>{"機種：zero"});
    }
}

TEST(ExifWalk, DamagedEntriesAreAbsent)
{
    for (bool le : {false, true}) {
        SCOPED_TRACE(le);
        Entry below8 = ascii(272, "offset below eight");
        below8.fieldOverride = true;
        below8.field = 7;
        Entry beyond = ascii(305, "beyond the end of the file");
        beyond.fieldOverride = true;
        beyond.field = 0x7FFFFF00;
        // A text with a huge count reads 1023 bytes, more than the file has.
        Entry hugeCount = ascii(315, "x");
        hugeCount.count = 0x7FFFFFFF;
        hugeCount.fieldOverride = true;
        hugeCount.field = 8;
        // A rational whose last four bytes lie beyond the end of the file.
        Entry partly = rational(33437, 4, 1);
        partly.fieldOverride = true;
        TiffBuilder t(le);
        t.ifd0 = {below8, beyond, hugeCount, partly, ascii(271, "kept")};
        partly.field = static_cast<uint32_t>(t.build().size() - 4);
        t.ifd0[3] = partly;
        // The Exif block is the last thing in the file.
        Bytes file{0xFF, 0xD8};
        const Bytes pad = segment(0xFFE0, Bytes(100, 0));
        const Bytes seg = exifSegment(t.build());
        file.insert(file.end(), pad.begin(), pad.end());
        file.insert(file.end(), seg.begin(), seg.end());
        const Result r = read(file);
        EXPECT_FALSE(r.threw);
        EXPECT_EQ(r.sink.lines, std::vector<std::string>{"メーカ名：kept"});
    }
}

TEST(ExifWalk, MakerNoteGoesToItsMakerOnly)
{
    // A Nikon note in its type-3 form with one ISO entry.
    auto nikonNote = [](bool le) {
        Bytes note{'N', 'i', 'k', 'o', 'n', 0, 2, 0x10, 0, 0};
        TiffBuilder inner(le);
        inner.ifd0 = {shorts(2, {0, 200})};
        const Bytes tiff = inner.build();
        note.insert(note.end(), tiff.begin(), tiff.end());
        return std::string(note.begin(), note.end());
    };
    for (bool le : {false, true}) {
        SCOPED_TRACE(le);
        for (const char* make : {"NIKON CORPORATION", "Nikon", "OLYMPUS", ""}) {
            SCOPED_TRACE(make);
            std::vector<Entry> ifd0;
            if (*make)
                ifd0.push_back(ascii(271, make));
            const Result r = read(jpeg({exifSegment(tiffWith(le, ifd0, {rawBytes(37500, 7, nikonNote(le))}))}));
            const size_t exifLines = *make ? 1 : 0;
            const bool nikon = std::string(make).starts_with("N");
            if (nikon) {
                ASSERT_GT(r.sink.lines.size(), exifLines + 1);
                EXPECT_NE(r.sink.lines[exifLines].find("Nikon"), std::string::npos);
            } else {
                EXPECT_EQ(r.sink.lines.size(), exifLines);
            }
        }
    }
}

TEST(ExifWalk, PositionErrorEndsTheReading)
{
    TiffBuilder t(false);
    t.ifd0 = {ascii(271, "M")};
    // Neither minutes nor seconds: the position cannot be converted.
    t.gps = {ascii(1, "N"), rationals(2, {{35, 1}, {0, 0}, {0, 0}}), ascii(18, "never read")};
    const Result r = read(jpeg({exifSegment(t.build()), comSegment(bin("after\0"))}));
    EXPECT_TRUE(r.threw);
    EXPECT_EQ(r.sink.lines, std::vector<std::string>{"メーカ名：M"});
    EXPECT_EQ(r.sink.latitude, "");
}

TEST(ExifWalk, RelatedSoundFileIsHandedOnTrimmed)
{
    const Result r = read(jpeg({exifSegment(tiffWith(true, {}, {ascii(40964, " SND00001.WAV ")}))}));
    EXPECT_EQ(r.sink.relatedFiles, std::vector<std::string>{"SND00001.WAV"});
    EXPECT_TRUE(r.sink.lines.empty());
}

}  // namespace
