// The real sample pictures: every JPEG is read, and the values we show are
// compared with exiftool's numeric output where exiftool is installed.
#include <gtest/gtest.h>

#ifndef DAREDAZI_CORE_ONLY
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#endif

#include <cmath>
#include <iostream>
#include <filesystem>
#include <map>

#include "metadata/jpeg_reader.h"
#include "metadata/string_sink.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

bool isJpegName(const fs::path& p)
{
    std::string ext = p.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".jpg" || ext == ".jpeg";
}

std::vector<fs::path> sampleJpegs()
{
    std::vector<fs::path> out;
    for (const auto& e : fs::recursive_directory_iterator(testsupport::testDataDir()))
        if (e.is_regular_file() && isJpegName(e.path()))
            out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

bool isBroken(const fs::path& p) { return p.parent_path().filename() == "broken"; }

struct Read {
    metadata::StringSink sink;
    bool threw = false;
};

Read readFile(const fs::path& p)
{
    Read r;
    const auto bytes = testsupport::readFile(p);
    try {
        metadata::JpegRead(bytes.data(), bytes.size(), r.sink, {});
    } catch (const metadata::MetadataError&) {
        r.threw = true;
    }
    return r;
}

TEST(SampleFiles, EveryJpegIsReadWithoutError)
{
    REQUIRE_TESTDATA();
    const auto files = sampleJpegs();
    ASSERT_FALSE(files.empty());
    size_t withLines = 0;
    for (const fs::path& p : files) {
        SCOPED_TRACE(p.string());
        const Read r = readFile(p);
        // Damaged files may end in the error message; they must not crash.
        if (!isBroken(p)) {
            EXPECT_FALSE(r.threw);
        }
        withLines += r.sink.lines.empty() ? 0 : 1;
    }
    EXPECT_GT(withLines, files.size() / 2);
}

#ifndef DAREDAZI_CORE_ONLY
// Without Qt (the core built alone) the comparison with exiftool is left out.

// The value text after a line's label, or empty when no line has the label.
std::optional<std::string> valueOf(const std::vector<std::string>& lines, const std::string& label)
{
    for (const std::string& l : lines)
        if (l.starts_with(label))
            return l.substr(label.size());
    return std::nullopt;
}

std::string trimmed(std::string s)
{
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ')
        s.pop_back();
    size_t b = 0;
    while (b < s.size() && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    return s.substr(b);
}

// "2.8", ".6", "" (a zero under '#' positions) as numbers.
double number(const std::string& text)
{
    return text.empty() ? 0.0 : std::stod(text[0] == '.' ? "0" + text : text);
}

std::string stripSuffix(std::string s, const std::string& suffix)
{
    if (s.ends_with(suffix))
        s.resize(s.size() - suffix.size());
    return s;
}

QJsonArray exiftoolOutput(const std::vector<fs::path>& files)
{
    QStringList args{"-n", "-j", "-G1", "-q", "-q", "-m",
                     "-IFD0:Make", "-IFD0:Model", "-IFD0:ModifyDate", "-ExifIFD:DateTimeOriginal",
                     "-ExifIFD:CreateDate", "-ExifIFD:FNumber", "-ExifIFD:ExposureTime", "-ExifIFD:ISO",
                     "-ExifIFD:FocalLength", "-ExifIFD:Flash", "-IFD0:Orientation",
                     "-Composite:GPSLatitude", "-Composite:GPSLongitude"};
    for (const fs::path& p : files)
        args << QString::fromStdString(p.string());
    QProcess proc;
    proc.start(QStringLiteral("exiftool"), args);
    proc.waitForFinished(120000);
    return QJsonDocument::fromJson(proc.readAllStandardOutput()).array();
}

TEST(SampleFiles, ValuesMatchExiftool)
{
    REQUIRE_TESTDATA();
    if (QStandardPaths::findExecutable(QStringLiteral("exiftool")).isEmpty())
        GTEST_SKIP() << "exiftool not installed";
    std::vector<fs::path> files;
    for (const fs::path& p : sampleJpegs())
        if (!isBroken(p))
            files.push_back(p);
    const QJsonArray all = exiftoolOutput(files);
    ASSERT_EQ(static_cast<size_t>(all.size()), files.size());

    // exiftool's Flash codes and our words for the ones cameras write most.
    const std::map<int, std::string> flashWords = {
        {0, "非発光"}, {1, "発光(反射検出機構なし)"}, {9, "強制発光"}, {16, "強制非発光"},
        {24, "オートモード非発光"}, {25, "オートモード発光"}, {32, "ストロボ機能なし"}};

    int compared = 0;
    int positions = 0;
    for (const QJsonValue& v : all) {
        const QJsonObject o = v.toObject();
        const fs::path file = o.value("SourceFile").toString().toStdString();
        SCOPED_TRACE(file.string());
        const Read r = readFile(file);
        const auto& lines = r.sink.lines;

        auto text = [&](const char* key, const std::string& label) {
            if (!o.contains(key))
                return;
            ++compared;
            const auto ours = valueOf(lines, label);
            ASSERT_TRUE(ours.has_value()) << key;
            EXPECT_EQ(trimmed(*ours), trimmed(o.value(key).toVariant().toString().toStdString())) << key;
        };
        text("IFD0:Make", "メーカ名：");
        text("IFD0:Model", "機種：");
        text("IFD0:ModifyDate", "ファイル変更日時：");
        text("ExifIFD:DateTimeOriginal", "原画作成日時:");
        text("ExifIFD:CreateDate", "デジタル化日時");

        auto close = [&](const char* key, const std::string& label, const std::string& suffix, double tol) {
            if (!o.contains(key) || !o.value(key).isDouble())
                return;
            ++compared;
            const auto ours = valueOf(lines, label);
            ASSERT_TRUE(ours.has_value()) << key;
            EXPECT_NEAR(number(stripSuffix(*ours, suffix)), o.value(key).toDouble(), tol) << key;
        };
        close("ExifIFD:FNumber", "絞　り　値：F", "", 0.0051);
        close("ExifIFD:FocalLength", "焦点距離：", "mm", 0.0051);
        close("ExifIFD:ISO", "撮影感度：", "", 0.0);

        if (o.value("ExifIFD:ExposureTime").isDouble()) {
            ++compared;
            const auto ours = valueOf(lines, "シャッター：");
            ASSERT_TRUE(ours.has_value());
            const double expected = o.value("ExifIFD:ExposureTime").toDouble();
            if (ours->ends_with("分の1秒"))
                EXPECT_NEAR(number(stripSuffix(*ours, "分の1秒")), 1.0 / expected, 0.0051);
            else
                EXPECT_NEAR(number(stripSuffix(*ours, "秒")), expected, 0.0051);
        }
        if (o.value("ExifIFD:Flash").isDouble()) {
            ++compared;
            const auto ours = valueOf(lines, "ストロボ：");
            ASSERT_TRUE(ours.has_value());
            const auto word = flashWords.find(o.value("ExifIFD:Flash").toInt());
            if (word != flashWords.end()) {
                EXPECT_EQ(*ours, word->second);
            }
        }
        if (o.value("IFD0:Orientation").isDouble()) {
            ++compared;
            EXPECT_EQ(r.sink.orientation, o.value("IFD0:Orientation").toInt());
        }
        if (o.value("Composite:GPSLatitude").isDouble() && o.value("Composite:GPSLongitude").isDouble()) {
            ++positions;
            ASSERT_FALSE(r.sink.latitude.empty());
            ASSERT_FALSE(r.sink.longitude.empty());
            EXPECT_NEAR(std::stod(r.sink.latitude), o.value("Composite:GPSLatitude").toDouble(), 0.000002);
            EXPECT_NEAR(std::stod(r.sink.longitude), o.value("Composite:GPSLongitude").toDouble(), 0.000002);
        }
    }
    std::cout << "compared with exiftool: " << files.size() << " files, " << compared << " values, "
              << positions << " positions\n";
    EXPECT_GT(compared, 300);
    EXPECT_GT(positions, 5);
}
#endif

}  // namespace
