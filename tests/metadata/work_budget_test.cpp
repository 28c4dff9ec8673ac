// A small file cannot ask the metadata reader for more than a camera
// writes: maker notes and pictures show their lines up to the budget.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "metadata/jpeg_reader.h"
#include "metadata/string_sink.h"
#include "metadata/work_budget.h"
#include "support/note_flood.h"

namespace {

using testsupport::flood::entry;
using testsupport::flood::le16;
using testsupport::flood::le32;

std::string jpegWith(const std::string& segments)
{
    std::string f = "\xFF\xD8" + segments + "\xFF\xDA";
    f.resize(f.size() + 200, '\0');
    return f;
}

metadata::StringSink read(const std::string& file)
{
    metadata::StringSink sink;
    metadata::JpegRead(reinterpret_cast<const uint8_t*>(file.data()), file.size(), sink, {});
    return sink;
}

// A Panasonic note whose face tag (97) is repeated, every entry pointing at
// the same block of `faces` face records (four lines each).
std::string panasonicFaceFloodTiff(int entries, int faces)
{
    const std::string make("Panasonic\0\0\0", 12);
    const unsigned ifd0 = 8, exifIfd = ifd0 + 2 + 2 * 12 + 4, makeAt = exifIfd + 2 + 12 + 4;
    const unsigned noteAt = makeAt + 12, noteLength = 12 + 2 + 12 * static_cast<unsigned>(entries + 1);
    const unsigned blockAt = noteAt + noteLength, blockSize = 4 + 48 * static_cast<unsigned>(faces);
    std::string t = "II";
    le16(t, 42);
    le32(t, ifd0);
    le16(t, 2);
    entry(t, 271, 2, 10, makeAt);
    entry(t, 34665, 4, 1, exifIfd);
    le32(t, 0);
    le16(t, 1);
    entry(t, 37500, 7, noteLength + blockSize, noteAt);
    le32(t, 0);
    t += make;
    t += std::string("Panasonic\0\0\0", 12);
    le16(t, static_cast<unsigned>(entries + 1));
    entry(t, 1, 3, 1, 2);  // a first entry the decoder accepts
    for (int i = 0; i < entries; ++i)
        entry(t, 97, 7, blockSize, blockAt);
    le32(t, static_cast<unsigned>(faces));
    for (int k = 0; k < faces; ++k) {
        std::string record(48, '\0');
        record.replace(0, 4, "Face");
        record[20] = 10;  // x
        record[24] = 30;  // width
        t += record;
    }
    return t;
}

}  // namespace

TEST(WorkBudget, ANoteOfSixteenMillionLinesShowsItsLinesUpToTheBudget)
{
    // 56 KB: 2,000 entries pointing at the same 8,000 serial numbers.
    const std::string file = jpegWith(testsupport::exifSegment(testsupport::canonNoteFloodTiff()));
    ASSERT_LT(file.size(), 57u * 1024);
    const metadata::StringSink sink = read(file);
    // The Make line, then the note: its heading, the lens type and the
    // serial numbers in file order until the note's budget is spent.
    ASSERT_EQ(sink.lines.size(), 1u + metadata::kMaxNoteLines);
    EXPECT_EQ(sink.lines[0], "メーカ名：Canon");
    EXPECT_EQ(sink.lines[1], "--Canonメーカノート情報（参考）--");
    EXPECT_EQ(sink.lines[2], " レンズタイプ：固定焦点レンズ");
    EXPECT_EQ(sink.lines[3], " カメラ製造番号：&H01234567");
    EXPECT_EQ(sink.lines[4], " カメラ製造番号：&H01234568");
    EXPECT_EQ(sink.lines.back(), " カメラ製造番号：&H0123494C");

    // A smaller flood that fits the budget is shown whole.
    const metadata::StringSink few = read(jpegWith(testsupport::exifSegment(testsupport::canonNoteFloodTiff(3, 100))));
    EXPECT_EQ(few.lines.size(), 1u + 2u + 2u * 100u);
}

TEST(WorkBudget, RepeatedFaceRecordsAndRepeatedExifBlocksStopAtTheBudget)
{
    // 1,000 face entries of 300 faces each: 1.2 million lines asked for.
    const metadata::StringSink faces = read(jpegWith(testsupport::exifSegment(panasonicFaceFloodTiff(1000, 300))));
    ASSERT_EQ(faces.lines.size(), 1u + metadata::kMaxNoteLines);
    const auto first = std::find(faces.lines.begin(), faces.lines.end(), " 顔認識1名前：Face");
    ASSERT_NE(first, faces.lines.end());
    EXPECT_EQ(*(first + 1), " 顔認識1位置X,Y：10,0");
    EXPECT_EQ(*(first + 2), " 顔認識1ｻｲｽﾞ幅,高pixs：30,0");

    // Forty Exif blocks, each with a note of a thousand lines: the picture
    // stops at its own budget, in the order the lines came.
    std::string segments;
    for (int i = 0; i < 40; ++i)
        segments += testsupport::exifSegment(testsupport::canonNoteFloodTiff(2, 1200));
    const metadata::StringSink many = read(jpegWith(segments));
    EXPECT_EQ(many.lines.size(), static_cast<size_t>(metadata::kMaxPictureLines));
    EXPECT_EQ(many.lines[0], "メーカ名：Canon");
    EXPECT_EQ(many.lines[1], "--Canonメーカノート情報（参考）--");
}
