// The info tool run as a user runs it, over files written to a temporary
// folder and over the sample pictures.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include <fstream>

#include "support/hostile_folders.h"
#include "support/hostile_rows.h"
#include "support/test_support.h"

namespace {

struct ToolRun {
    int exitCode = -1;
    QString out;
    QString err;
};

ToolRun info(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(DAREDAZI_BIN_DIR "/daredazi-info"), args);
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
}

// A JPEG with a big-endian Exif block holding Make, DateTimeOriginal and
// a GPS latitude and longitude, and a JPEG comment of two lines.
std::string sampleJpeg()
{
    auto be16 = [](std::string& s, unsigned v) { s += char(v >> 8), s += char(v & 0xFF); };
    auto be32 = [&](std::string& s, unsigned v) { be16(s, v >> 16), be16(s, v & 0xFFFF); };
    std::string t = "MM";
    be16(t, 42), be32(t, 8);
    // IFD0 at 8: Make, Exif pointer, GPS pointer (3 entries, 42 bytes).
    const unsigned exifAt = 8 + 2 + 36 + 4, gpsAt = exifAt + 2 + 12 + 4, dataAt = gpsAt + 2 + 48 + 4;
    be16(t, 3);
    be16(t, 271), be16(t, 2), be32(t, 4), t += std::string("Fox\0", 4);
    be16(t, 34665), be16(t, 4), be32(t, 1), be32(t, exifAt);
    be16(t, 34853), be16(t, 4), be32(t, 1), be32(t, gpsAt);
    be32(t, 0);
    be16(t, 1);
    be16(t, 36867), be16(t, 2), be32(t, 20), be32(t, dataAt);
    be32(t, 0);
    be16(t, 4);
    be16(t, 1), be16(t, 2), be32(t, 2), t += std::string("N\0\0\0", 4);
    be16(t, 2), be16(t, 5), be32(t, 3), be32(t, dataAt + 20);
    be16(t, 3), be16(t, 2), be32(t, 2), t += std::string("E\0\0\0", 4);
    be16(t, 4), be16(t, 5), be32(t, 3), be32(t, dataAt + 44);
    be32(t, 0);
    t += std::string("2020:01:02 03:04:05\0", 20);
    for (unsigned v : {35u, 1u, 30u, 1u, 0u, 1u, 139u, 1u, 45u, 1u, 0u, 1u})
        be32(t, v);
    std::string f = "\xFF\xD8\xFF\xE1";
    be16(f, static_cast<unsigned>(t.size() + 8));
    f += std::string("Exif\0\0", 6) + t;
    const std::string comment = std::string("one\ntwo\0", 8);
    f += "\xFF\xFE";
    be16(f, static_cast<unsigned>(comment.size() + 2));
    f += comment;
    f += "\xFF\xDA";
    f.resize(f.size() + 200, '\0');
    return f;
}

TEST(DaredaziInfo, PrintsWhatTheViewerShows)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString good = dir.filePath("photo.jpg");
    std::ofstream(good.toStdString(), std::ios::binary) << sampleJpeg();
    const QString missing = dir.filePath("missing.jpg");

    ToolRun r = info({good});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "file: " + good + "\n"
                     "date: 2020:01:02 03:04:05\n"
                     "title: \n"
                     "line: メーカ名：Fox\n"
                     "line: 原画作成日時:2020:01:02 03:04:05\n"
                     "line: GPS緯度：北緯35度30分00秒\n"
                     "line: GPS経度：東経139度45分00秒\n"
                     "line: Jpegコメント：one\n"
                     "\ttwo\n"
                     "latitude: 35.500000\n"
                     "longitude: 139.750000\n"
                     "orientation: 0\n");

    // The map choice decides the sign; a missing file and a folder are each
    // reported in one line on
    // standard error while the others are still printed.
    r = info({"--google", missing, dir.path(), good});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.contains("latitude: +35.500000\nlongitude: +139.750000\n"));
    EXPECT_FALSE(r.out.contains("missing.jpg"));
    EXPECT_EQ(r.err.count('\n'), 2);
    EXPECT_TRUE(r.err.contains("missing.jpg"));
}

TEST(DaredaziInfo, AFifoA64GBFileAndANoteOfSixteenMillionLinesEachEndAtOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    // A FIFO nobody writes to (a plain open waits for ever) and a sparse
    // 64 GB file (read whole, it aborted the tool): each is one line on
    // standard error or an empty record, and the tool goes on.
    testsupport::RowSetup setup;
    setup.info = qEnvironmentVariable("DAREDAZI_INFO_UNDER_TEST", QStringLiteral(DAREDAZI_BIN_DIR "/daredazi-info"));
    setup.folder = dir.path();
    const testsupport::RowResult r = testsupport::runRow(7, setup);
    EXPECT_TRUE(r.reached) << r.detail.toStdString();
    EXPECT_TRUE(r.detail.contains(QStringLiteral("fifo.jpg: status 1"))) << r.detail.toStdString();
    EXPECT_TRUE(r.detail.contains(QStringLiteral("not a regular file"))) << r.detail.toStdString();

    // 57 KB whose maker note asks for sixteen million lines: the Make line
    // and the note's lines up to its budget.
    const QString flood = dir.filePath(QStringLiteral("flood.jpg"));
    ASSERT_TRUE(testsupport::writeFile(flood, testsupport::canonNoteFlood()));
    QProcess p;
    p.start(setup.info, {flood});
    ASSERT_TRUE(p.waitForFinished(30000));  // it used to take 11-29 s and 2.4 GB
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).count(QStringLiteral("\nline: ")), 1001);
}

TEST(DaredaziInfo, HelpAndBadArguments)
{
    const ToolRun help = info({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("--google"));
    EXPECT_NE(info({}).exitCode, 0);
    EXPECT_NE(info({"--bogus"}).exitCode, 0);
}

TEST(DaredaziInfo, ReadsEverySamplePicture)
{
    REQUIRE_TESTDATA();
    QStringList files;
    for (const auto& row : testsupport::manifestRows())
        for (const auto& [key, value] : row)
            if (key == "path" && (value.ends_with(".jpg") || value.ends_with(".JPG")) && !value.starts_with("broken/"))
                files << QString::fromStdString((testsupport::testDataDir() / value).string());
    ASSERT_FALSE(files.isEmpty());
    const ToolRun r = info(files);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out.count("\nfile: ") + 1, files.size());
}

}  // namespace

namespace {

TEST(DaredaziInfo, ReadsTodaysFormatsAsTheViewerDoes)
{
    REQUIRE_TESTDATA();
    // Make, model, date, exposure and the maker note's heading of phones'
    // and cameras' HEIC, WebP, JPEG XL and raw files.
    const std::pair<const char*, QStringList> rows[] = {
        {"modern/ex2_2021-02-13-1929.heic",
         {"date: 2021:02:13 11:03:31", "line: メーカ名：Apple", "line: 機種：iPhone XR", "line: シャッター：30分の1秒"}},
        {"modern/ex2_exiv2-bug1199.webp", {"line: 機種：NIKON D5300", "line: 絞　り　値：F10"}},
        {"modern/ex2_Reagan.jxl", {"date: 2004:06:21 23:37:53", "line: 機種：NIKON D1X"}},
        {"modern/et_JXL2.jxl", {"line: アーティスト：me"}},
        {"raw/et_CanonRaw.cr3", {"line: 機種：Canon EOS M50", "line: --Canonメーカノート情報（参考）--"}},
        {"raw/et_Nikon.nef", {"line: 機種：NIKON D70", "line: 撮影感度：200"}},
        {"raw/et_Panasonic.rw2", {"line: 機種：DMC-LX3", "line: -Panasonicメーカノート情報（参考）-"}},
    };
    QStringList files;
    for (const auto& [file, want] : rows) {
        const QString path = QString::fromStdString((testsupport::testDataDir() / file).string());
        files << path;
        const ToolRun r = info({path});
        EXPECT_EQ(r.exitCode, 0) << file << r.err.toStdString();
        for (const QString& line : want)
            EXPECT_TRUE(r.out.contains(line + "\n")) << file << ": " << line.toStdString();
    }
}

}  // namespace
