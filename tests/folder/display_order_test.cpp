// The order keys, the shooting-date reader, sort and split and the shuffle,
// over JPEG files built byte by byte in a temporary folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <random>

#include "folder/display_order.h"
#include "folder/order_exif_builder.h"
#include "platform/collation.h"
#include "support/hostile_folders.h"
#include "support/test_support.h"

namespace {

using testexif::Picture;

TEST(DisplayOrderKeys, FileDateKeyPacksLocalTimeAsDosDateTime)
{
    struct Row {
        const char* name;
        QDateTime time;
        const char* key;
    };
    const Row rows[] = {
        {"ordinary time", QDateTime(QDate(2020, 3, 4), QTime(5, 6, 8)), "506428C4"},
        {"odd second falls to the even one", QDateTime(QDate(2020, 3, 4), QTime(5, 6, 9)), "506428C4"},
        {"first packable second", QDateTime(QDate(1980, 1, 1), QTime(0, 0, 0)), "00210000"},
        {"last packable second", QDateTime(QDate(2107, 12, 31), QTime(23, 59, 59)), "FF9FBF7D"},
        {"before 1980", QDateTime(QDate(1979, 12, 31), QTime(23, 59, 59)), "00000000"},
        {"after 2107", QDateTime(QDate(2108, 1, 1), QTime(0, 0, 0)), "00000000"},
        {"time not known", QDateTime(), "FFFFFFFF"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(order::fileDateKey(r.time).toStdString(), r.key) << r.name;
    EXPECT_EQ(order::fileDateKey(QStringLiteral("/no/such/file.jpg")), QStringLiteral("FFFFFFFF"));
}

TEST(DisplayOrderKeys, ShootingDatesAreBroughtToNineteenCharacters)
{
    EXPECT_EQ(order::fitShotDate(QStringLiteral("2021:05:06 07:08:09")), QStringLiteral("2021:05:06 07:08:09"));
    EXPECT_EQ(order::fitShotDate(QStringLiteral("2021:05:06")), QStringLiteral("2021:05:06         "));
    EXPECT_EQ(order::fitShotDate(QStringLiteral("2021:05:06 07:08:09.123+09:00")),
              QStringLiteral("2021:05:06 07:08:09"));
    EXPECT_EQ(order::folderNumberText(42), QStringLiteral("000042"));

    // The key a reading thread makes of the stored bytes gives the entry
    // the same 19 characters as the text made of them, whether it is kept
    // as a number (a camera's shape, whatever follows) or as text.
    const std::string stored[] = {
        "2021:05:06 07:08:09",
        "0000:00:00 00:00:00",
        "9999:12:31 23:59:59",
        "2021:05:06 07:08:09.123+09:00",
        std::string("2021:05:06 07:08:09\x93\xfa", 21),  // code page 932 after the date
        "2021:05:06",
        "2021-05-06 07:08:09",
        "    :  :     :  :  ",
        std::string("\x93\xfa\x95\x74", 4),  // a date in code page 932
    };
    for (const std::string& bytes : stored) {
        SCOPED_TRACE(bytes);
        const order::ShotDateKey key = order::shotDateKey(bytes);
        EXPECT_TRUE(key.found());
        EXPECT_EQ(key.text(), order::fitShotDate(order::decodeShotDate(bytes)));
        EXPECT_EQ(key.packed >= 0, bytes.size() >= 19 && bytes[4] == ':' && bytes[0] != ' ');
    }
    EXPECT_FALSE(order::shotDateKey(std::string()).found());
}

class ShotDateReadTest : public ::testing::Test {
protected:
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = dir.filePath(name);
        EXPECT_TRUE(testexif::writeFile(path, bytes));
        return path;
    }
    QTemporaryDir dir;
};

TEST_F(ShotDateReadTest, FindsTheDateWhereCamerasAndEditorsPutIt)
{
    struct Row {
        const char* name;
        Picture picture;
        const char* date;
    };
    Picture le;
    le.dateOriginal = "2019:01:02 03:04:05";
    Picture be = le;
    be.littleEndian = false;
    Picture xmp = le;
    xmp.xmpFirst = true;
    Picture digitizedOnly;
    digitizedOnly.dateDigitized = "2018:07:08 09:10:11";
    Picture both;
    both.dateOriginal = "2017:01:01 00:00:00";
    both.dateDigitized = "2016:01:01 00:00:00";
    Picture inIfd0 = le;
    inIfd0.dateInIfd0 = true;
    inIfd0.title = "t";
    Picture longDate;
    longDate.dateOriginal = "2015:02:03 04:05:06.789012345678";
    Picture shortInPlace;
    shortInPlace.dateOriginal = "ab";
    Picture noRoomForNul;
    noRoomForNul.dateOriginal = "2005:08:13 09:47:21";
    noRoomForNul.dateOriginalCount = 19;
    Picture noDate;
    noDate.title = "a title but no date";
    noDate.dateTime = "2014:01:01 00:00:00";  // DateTime is not the shooting date
    Picture noExif;
    noExif.noExif = true;
    const Row rows[] = {
        {"little-endian Exif IFD", le, "2019:01:02 03:04:05"},
        {"big-endian Exif IFD", be, "2019:01:02 03:04:05"},
        {"XMP segment before the Exif one", xmp, "2019:01:02 03:04:05"},
        {"only DateTimeDigitized", digitizedOnly, "2018:07:08 09:10:11"},
        {"DateTimeOriginal comes first", both, "2017:01:01 00:00:00"},
        {"date tag in IFD0", inIfd0, "2019:01:02 03:04:05"},
        {"long value cut to 24 bytes", longDate, "2015:02:03 04:05:06.7890"},
        {"value held in the entry", shortInPlace, "ab"},
        {"count leaving no room for the NUL", noRoomForNul, "2005:08:13 09:47:21"},
        {"no date tag", noDate, ""},
        {"no Exif segment", noExif, ""},
    };
    for (const Row& r : rows) {
        const QString path = write(QStringLiteral("p.jpg"), testexif::jpegBytes(r.picture));
        EXPECT_EQ(order::ShotDateRead(path).toStdString(), r.date) << r.name;
    }
}

TEST_F(ShotDateReadTest, DamagedFilesGiveNoDate)
{
    Picture p;
    p.dateOriginal = "2019:01:02 03:04:05";
    const QByteArray good = testexif::jpegBytes(p);
    QByteArray zeroLength = QByteArray("\xFF\xD8\xFF\xE0\x00\x00", 6) + QByteArray(200, '\0');
    QByteArray badOffset = good;
    // The Exif IFD pointer's value sits at a fixed place in the built file:
    // point it far outside the file.
    const int pointer = badOffset.indexOf(QByteArray("\x69\x87\x04\x00", 4));
    ASSERT_GT(pointer, 0);
    badOffset.replace(pointer + 8, 4, QByteArray("\xF0\xFF\xFF\x7F", 4));
    struct Row {
        const char* name;
        QByteArray bytes;
    };
    const Row rows[] = {
        {"not a JPEG", QByteArray("GIF89a") + QByteArray(200, '\0')},
        {"shorter than 100 bytes", good.left(99)},
        {"cut inside the Exif block", good.left(good.indexOf("2019") - 4)},
        {"segment length zero", zeroLength},
        {"Exif IFD offset beyond the end", badOffset},
        {"empty file", QByteArray()},
    };
    for (const Row& r : rows)
        EXPECT_EQ(order::ShotDateRead(write(QStringLiteral("bad.jpg"), r.bytes)), QString()) << r.name;
    EXPECT_EQ(order::ShotDateRead(dir.filePath(QStringLiteral("missing.jpg"))), QString());
}

TEST_F(ShotDateReadTest, AFileOpenedByNameInItsFolderGivesWhatItsPathGives)
{
    // The orders and the search open a folder's files by name within it;
    // every kind of name and folder must come out as by the whole path.
    Picture p;
    p.dateOriginal = "2019:01:02 03:04:05";
    const QByteArray jpeg = testexif::jpegBytes(p);
    const QString odd = QString::fromUtf8("写真 #1 ;'\"$(x).JPG");
    // A name that is no UTF-8, as an old camera card may hold.
    const QString raw = QFile::decodeName(QByteArray("caf\xE9.jpg"));
    for (const QString& name : {QStringLiteral("p.jpg"), odd, raw})
        write(name, jpeg);
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("sub")));
    write(QStringLiteral("sub/in.jpg"), jpeg);
    ASSERT_TRUE(testsupport::makeFifo(dir.filePath(QStringLiteral("fifo.jpg"))));
    ASSERT_TRUE(testsupport::makeLink(QStringLiteral("/dev/zero"), dir.filePath(QStringLiteral("zero.jpg"))));
    ASSERT_TRUE(testsupport::makeLink(dir.path(), dir.filePath(QStringLiteral("link"))));

    const order::Folder folder(order::nativePath(dir.path()));
    const order::Folder byLink(order::nativePath(dir.filePath(QStringLiteral("link"))));
    const order::Folder byPaths(order::nativePath(dir.path()), false);
    const order::Folder missing(order::nativePath(dir.filePath(QStringLiteral("gone"))));
    const order::Folder fifoFolder(order::nativePath(dir.filePath(QStringLiteral("fifo.jpg"))));
    for (const QString& name : {QStringLiteral("p.jpg"), odd, raw, QStringLiteral("sub/in.jpg")}) {
        const std::string want = order::ShotDateBytes(order::nativePath(dir.filePath(name)));
        EXPECT_EQ(want, "2019:01:02 03:04:05") << name.toStdString();
        for (const order::Folder* f : {&folder, &byLink, &byPaths})
            EXPECT_EQ(order::ShotDateBytes(*f, order::nativeName(name)), want) << name.toStdString();
    }
    for (const char* name : {"fifo.jpg", "zero.jpg", "missing.jpg", "", "sub", "."}) {
        EXPECT_FALSE(order::BufferedFile(folder, order::nativeName(QString::fromLatin1(name))).isOpen()) << name;
        EXPECT_EQ(order::ShotDateBytes(folder, order::nativeName(QString::fromLatin1(name))), std::string()) << name;
    }
    for (const order::Folder* f : {&missing, &fifoFolder})
        EXPECT_EQ(order::ShotDateBytes(*f, order::nativeName(QStringLiteral("p.jpg"))), std::string());
}

TEST_F(ShotDateReadTest, RealCameraFilesCarryTheirDate)
{
    REQUIRE_TESTDATA();
    int dated = 0;
    for (const auto& row : testsupport::manifestRows()) {
        std::string file;
        for (const auto& [k, v] : row)
            if (k == "file" || k == "path" || k == "name")
                file = v;
        if (file.empty())
            continue;
        const QString path = QString::fromStdString((testsupport::testDataDir() / file).string());
        if (!order::carriesExif(path))
            continue;
        const QString date = order::ShotDateRead(path);
        if (!date.isEmpty()) {
            ++dated;
            EXPECT_EQ(date.size(), 19) << file;
            EXPECT_EQ(date.at(4), QLatin1Char(':')) << file;
        }
    }
    EXPECT_GT(dated, 0);
}

TEST(DisplayOrderSort, EntriesCompareWholeAndDescendingIsTheExactReverse)
{
    // Same key: the name decides, then the folder number; letter case does
    // not count; hexadecimal keys order by value.
    QStringList entries = {
        QStringLiteral("2020:01:01 00:00:00b.jpg000000"),
        QStringLiteral("2020:01:01 00:00:00A.jpg000001"),
        QStringLiteral("2020:01:01 00:00:00a.jpg000000"),
        QStringLiteral("2019:12:31 23:59:59z.jpg000002"),
        QStringLiteral("2020:01:01         c.jpg000000"),
    };
    QStringList up = entries;
    QStringList folders;
    QStringList files;
    order::sortAndSplit(up, order::kShotDateKeyLength, true, folders, files);
    EXPECT_EQ(files, (QStringList{"z.jpg", "c.jpg", "a.jpg", "A.jpg", "b.jpg"}));
    EXPECT_EQ(folders, (QStringList{"000002", "000000", "000000", "000001", "000000"}));

    QStringList down = entries;
    QStringList downFolders;
    QStringList downFiles;
    order::sortAndSplit(down, order::kShotDateKeyLength, false, downFolders, downFiles);
    std::reverse(downFiles.begin(), downFiles.end());
    std::reverse(downFolders.begin(), downFolders.end());
    EXPECT_EQ(downFiles, files);
    EXPECT_EQ(downFolders, folders);

    QStringList hex = {QStringLiteral("506428C4b.jpg"), QStringLiteral("FFFFFFFFa.jpg"), QStringLiteral("00000000c.jpg"),
           QStringLiteral("5064A8C4a.jpg"), QStringLiteral("506428C4A.jpg")};
    order::sortEntries(hex);
    EXPECT_EQ(order::namesOfSorted(hex, order::kFileDateKeyLength, true),
              (QStringList{"c.jpg", "A.jpg", "b.jpg", "a.jpg", "a.jpg"}));
}

TEST(DisplayOrderSort, PlainAsciiEntriesOrderExactlyAsTheLocaleCollationDoes)
{
    // ASCII entries take a shortcut; a non-ASCII entry in the list makes the
    // whole list go through the collator. Both must agree on every pair.
    std::mt19937 rng(11);
    const std::string alphabet = " !#$%&'()+,-.0123456789:;=@ABCXYZ[]^_`abcxyz{}~";
    QStringList ascii;
    for (int i = 0; i < 400; ++i) {
        std::string s;
        const int len = 1 + int(rng() % 6);
        for (int k = 0; k < len; ++k)
            s += alphabet[rng() % alphabet.size()];
        ascii << QString::fromStdString(s);
    }
    QStringList fast = ascii;
    order::sortEntries(fast);
    QStringList slow = ascii;
    slow << QStringLiteral("写真");
    order::sortEntries(slow);
    slow.removeAll(QStringLiteral("写真"));
    EXPECT_EQ(fast, slow);

    // A date order's entries are sorted by their dates as numbers, and only
    // entries of one date collated: the same order as collating them all.
    // Few dates (many ties), names in either case and in Japanese, a folder
    // number behind; then one entry without a camera's date among them.
    QStringList dated;
    const QStringList names = {"a.jpg", "A.jpg", "b.JPG", "写真.jpg", "img_1.jpg", "IMG_1.jpg", "Z.heic"};
    for (int i = 0; i < 3000; ++i)
        dated << QStringLiteral("20%1:%2:0%3 1%4:00:0%5")
                         .arg(10 + rng() % 3)
                         .arg(10 + rng() % 3)
                         .arg(1 + rng() % 2)
                         .arg(rng() % 3)
                         .arg(rng() % 2) +
                     names[qsizetype(rng() % names.size())] + QStringLiteral("00000%1").arg(rng() % 3);
    for (const QString& odd : {QString(), QStringLiteral("2012:11:01 1O:00:00x.jpg000000"),
                               QStringLiteral("2012:11:01         x.jpg000000")}) {
        QStringList byNumbers = dated;
        if (!odd.isEmpty())
            byNumbers << odd;
        QStringList collated = byNumbers;
        order::sortEntries(byNumbers);
        platform::sortList(collated);
        EXPECT_EQ(byNumbers, collated) << odd.toStdString();
    }
}

TEST(DisplayOrderShuffle, KeepsEveryNameWithItsFolderAndDiffersBetweenSeeds)
{
    QStringList names;
    QStringList folders;
    for (int i = 0; i < 200; ++i) {
        names << QStringLiteral("n%1.jpg").arg(i);
        folders << QString::number(i % 7);
    }
    QStringList a = names;
    QStringList af = folders;
    order::Random32 r1(12345);
    order::shuffle(a, af, r1);
    EXPECT_NE(a, names);
    EXPECT_EQ(QSet<QString>(a.begin(), a.end()), QSet<QString>(names.begin(), names.end()));
    for (int k = 0; k < a.size(); ++k)
        EXPECT_EQ(af[k], QString::number(a[k].mid(1, a[k].size() - 5).toInt() % 7)) << a[k].toStdString();

    QStringList b = names;
    order::Random32 r2(12346);
    order::shuffle(b, r2);
    EXPECT_NE(a, b);

    // Every draw stays below its bound, even for the largest bound.
    order::Random32 r3(0xFFFFFFFFu);
    for (uint32_t m : {1u, 2u, 3u, 1000u, 0xFFFFFFFFu})
        for (int i = 0; i < 100; ++i)
            EXPECT_LT(r3.next(m), m);
}

}  // namespace

TEST_F(ShotDateReadTest, TodaysFormatsGiveTheDateTheirViewerLinesShow)
{
    REQUIRE_TESTDATA();
    // As the date caption, from wherever the container keeps the Exif: a
    // HEIF item at the end of the file, a WebP chunk, a JPEG XL box, CR3's
    // Exif block, the JPEG inside an RW2, a TIFF raw file.
    const std::pair<const char*, const char*> rows[] = {
        {"modern/me_exif-at-eof.heic", "2020:05:04 18:39:11"}, {"modern/ex2_Stonehenge.heic", "2015:07:16 15:38:54"},
        {"modern/ex2_avif.avif", "2018:08:15 11:37:35"},      {"modern/ex2_exiv2-bug1199.webp", "2015:07:16 15:38:54"},
        {"modern/ex2_Reagan.jxl", "2004:06:21 23:37:53"},     {"raw/et_CanonRaw.cr3", "2018:02:21 12:08:56"},
        {"raw/et_Panasonic.rw2", "2008:08:06 15:21:56"},      {"raw/et_Nikon.nef", "2004:06:09 16:02:35"},
        {"raw/et_CanonRaw.cr2", "2005:08:03 18:59:18"},       {"raw/et_DNG.dng", "2005:08:03 18:59:18"},
        {"modern/me_webpvp8.webp", ""},
    };
    for (const auto& [file, date] : rows) {
        const QString path = QString::fromStdString((testsupport::testDataDir() / file).string());
        EXPECT_TRUE(order::carriesExif(path)) << file;
        EXPECT_EQ(order::ShotDateRead(path), QString::fromLatin1(date)) << file;
    }
}
