// The search words, the case folding and the look at one picture file, over
// JPEG files built byte by byte.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "folder/order_exif_builder.h"
#include "search/search_match.h"
#include "support/test_support.h"

namespace {

using testexif::Picture;

TEST(SearchWords, SplitAtHalfWidthSpacesOnly)
{
    struct Row {
        QString edit;
        QStringList words;
    };
    const Row rows[] = {
        {QStringLiteral("山 海"), {QStringLiteral("山"), QStringLiteral("海")}},
        {QStringLiteral("   山    海  "), {QStringLiteral("山"), QStringLiteral("海")}},
        {QStringLiteral("山　海"), {QStringLiteral("山　海")}},  // full-width space inside the word
        {QStringLiteral("a b c d e f g h i j k l"),
         {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}},
        {QString(), {}},
        {QStringLiteral("   "), {}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(search::splitWords(r.edit), r.words) << r.edit.toStdString();
}

TEST(SearchWords, CaseFoldsWithinEachWidthAndLeavesKanaAlone)
{
    struct Row {
        const char* text;
        const char* word;
        bool found;
    };
    const Row rows[] = {
        {"Summer Holiday", "holiday", true},
        {"summer", "SUMMER", true},
        {"ＴＯＫＹＯ駅", "ｔｏｋｙｏ", true},   // full-width letters fold among themselves
        {"ＴＯＫＹＯ", "TOKYO", false},         // never to half-width
        {"TOKYO", "ｔｏｋｙｏ", false},
        {"ひらがな", "ヒラガナ", false},       // kana are not folded
        {"ｶﾀｶﾅ", "カタカナ", false},
        {"運動会2019", "会2019", true},
    };
    for (const Row& r : rows)
        EXPECT_EQ(search::Contains(QString::fromUtf8(r.text), QString::fromUtf8(r.word)), r.found)
            << r.text << " / " << r.word;
}

class PictureMatchTest : public ::testing::Test {
protected:
    QString write(const Picture& p)
    {
        const QString path = dir.filePath(QStringLiteral("p%1.jpg").arg(++count));
        EXPECT_TRUE(testexif::writeJpeg(path, p));
        return path;
    }
    QTemporaryDir dir;
    int count = 0;
};

TEST_F(PictureMatchTest, WordsInTitleOrCommentAndTheDateCondition)
{
    Picture trip;
    trip.title = "Kyoto temple trip";
    trip.dateTime = "2020:11:02 10:00:00";
    trip.dateOriginal = "2019:05:03 08:09:10";
    trip.dateDigitized = "2019:05:03 08:09:10";
    trip.userComment = testexif::userCommentUnicode(u"紅葉がきれい autumn");
    Picture bigEndian = trip;
    bigEndian.littleEndian = false;
    Picture xmpFirst = trip;
    xmpFirst.xmpFirst = true;
    Picture asciiComment = trip;
    asciiComment.title.reset();
    asciiComment.userComment = testexif::userCommentAscii("Kyoto in autumn");
    Picture japaneseTitle = trip;
    japaneseTitle.title = "\x8B\x9E\x93\x73 Temple";  // 京都 in the system code page
    Picture noDates = trip;
    noDates.dateTime.reset();
    noDates.dateOriginal.reset();
    noDates.dateDigitized.reset();

    struct Row {
        const char* name;
        Picture picture;
        QString words;
        QString date;
        bool both;
        int area;
        bool matches;
    };
    const Row rows[] = {
        {"two title words in order", trip, "kyoto trip", "", false, 0, true},
        {"two title words the other way round", trip, "TRIP kyoto", "", false, 0, true},
        {"one word missing", trip, "kyoto osaka", "", false, 0, false},
        {"full-width space makes one word", trip, QStringLiteral("kyoto　temple"), "", false, 0, false},
        {"title words are not looked for in the comment", trip, "autumn", "", false, 0, false},
        {"comment words", trip, QStringLiteral("紅葉 AUTUMN"), "", false, 1, true},
        {"comment search does not read the title", trip, "kyoto", "", false, 1, false},
        {"both: title", trip, "temple", "", true, 1, true},
        {"both: comment", trip, "autumn", "", true, 0, true},
        {"both: words split between title and comment", trip, "temple autumn", "", true, 0, false},
        {"code-page title", japaneseTitle, QStringLiteral("京都 TEMPLE"), "", false, 0, true},
        {"code-page title, word not there", japaneseTitle, QStringLiteral("大阪"), "", false, 0, false},
        {"code-page comment", asciiComment, "kyoto autumn", "", false, 1, true},
        {"date of DateTimeOriginal, a year and month", trip, "", "2019:05", false, 0, true},
        {"date of DateTime", trip, "", "2020:11", false, 0, true},
        {"date nowhere", trip, "", "2018", false, 0, false},
        {"words and date together", trip, "temple", "2019", false, 0, true},
        {"words right, date wrong", trip, "temple", "2018", false, 0, false},
        {"comment words and date together", trip, "autumn", "2019:05", false, 1, true},
        {"comment words right, date wrong", trip, "autumn", "2018", false, 1, false},
        {"date condition without any date tag", noDates, "", "2019", false, 0, false},
        {"big-endian block", bigEndian, "temple", "05:03", false, 0, true},
        {"XMP before Exif never matches", xmpFirst, "temple", "", false, 0, false},
    };
    for (const Row& r : rows) {
        const search::Conditions c = search::makeConditions(r.words, r.date, r.both, r.area, false);
        EXPECT_EQ(search::matchPicture(write(r.picture), c).matched, r.matches) << r.name;
    }
}

TEST_F(PictureMatchTest, DateOrderedSearchTakesTheShootingDate)
{
    Picture dated;
    dated.title = "sea";
    dated.dateOriginal = "2019:05:03 08:09:10";
    Picture shortDate = dated;
    shortDate.dateOriginal = "2019:05";
    Picture digitizedOnly;
    digitizedOnly.title = "sea";
    digitizedOnly.dateDigitized = "2019:05:03 08:09:10";
    const search::Conditions c = search::makeConditions(QStringLiteral("sea"), QString(), false, 0, true);

    search::PictureMatch m = search::matchPicture(write(dated), c);
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.shotDate, QStringLiteral("2019:05:03 08:09:10"));
    m = search::matchPicture(write(shortDate), c);
    EXPECT_EQ(m.shotDate, QStringLiteral("2019:05            "));
    m = search::matchPicture(write(digitizedOnly), c);
    EXPECT_TRUE(m.matched);
    EXPECT_TRUE(m.shotDate.isEmpty()) << "no DateTimeOriginal: left out of date-ordered results";
}

TEST_F(PictureMatchTest, TextsFillingTheirWholeCountAreSearchedWhole)
{
    Picture p;
    p.title = "EASTMAN KODAK COMPANY";
    p.titleCount = 21;
    p.dateOriginal = "2005:08:13 09:47:21";
    p.dateOriginalCount = 19;
    const search::Conditions c = search::makeConditions(QStringLiteral("COMPANY"), QStringLiteral("47:21"), false, 0, true);
    const search::PictureMatch m = search::matchPicture(write(p), c);
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.shotDate, QStringLiteral("2005:08:13 09:47:21"));
}

TEST_F(PictureMatchTest, BrokenAndMissingFilesDoNotMatch)
{
    Picture p;
    p.title = "sea";
    const QByteArray good = testexif::jpegBytes(p);
    const search::Conditions c = search::makeConditions(QStringLiteral("sea"), QString(), false, 0, false);
    const QByteArray rows[] = {
        good.left(99),
        good.left(40),
        QByteArray("\xFF\xD8\xFF\xE1\x00\x01", 6) + QByteArray(200, '\xFF'),
        QByteArray("\x89PNG\r\n\x1A\n") + QByteArray(200, '\0'),
    };
    for (const QByteArray& bytes : rows) {
        const QString path = dir.filePath(QStringLiteral("bad.jpg"));
        ASSERT_TRUE(testexif::writeFile(path, bytes));
        EXPECT_FALSE(search::matchPicture(path, c).matched) << bytes.size();
    }
    const search::PictureMatch gone = search::matchPicture(dir.filePath(QStringLiteral("gone.jpg")), c);
    EXPECT_FALSE(gone.opened);
    EXPECT_FALSE(gone.matched);
}

}  // namespace

TEST_F(PictureMatchTest, TodaysFormatsAreSearchedAsJpegsAre)
{
    REQUIRE_TESTDATA();
    const auto at = [](const char* file) {
        return QString::fromStdString((testsupport::testDataDir() / file).string());
    };
    // The title of the Nikon's HEIC, and dates of an iPhone HEIC whose Exif
    // lies at the end of its file, of a CR3 and of the JPEG inside an RW2.
    search::Conditions c = search::makeConditions(QStringLiteral("classic"), QString(), false, 0, true);
    search::PictureMatch m = search::matchPicture(at("modern/ex2_Stonehenge.heic"), c);
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.shotDate, QStringLiteral("2015:07:16 15:38:54"));
    c = search::makeConditions(QString(), QStringLiteral("2020:05:04"), false, 0, true);
    m = search::matchPicture(at("modern/me_exif-at-eof.heic"), c);
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.shotDate, QStringLiteral("2020:05:04 18:39:11"));
    c = search::makeConditions(QString(), QStringLiteral("2018:02:21"), false, 0, true);
    m = search::matchPicture(at("raw/et_CanonRaw.cr3"), c);
    EXPECT_TRUE(m.matched);
    EXPECT_EQ(m.shotDate, QStringLiteral("2018:02:21 12:08:56"));
    c = search::makeConditions(QString(), QStringLiteral("2008:08"), false, 0, false);
    EXPECT_TRUE(search::matchPicture(at("raw/et_Panasonic.rw2"), c).matched);
    c = search::makeConditions(QString(), QStringLiteral("1999"), false, 0, false);
    EXPECT_FALSE(search::matchPicture(at("raw/et_Panasonic.rw2"), c).matched);
}
