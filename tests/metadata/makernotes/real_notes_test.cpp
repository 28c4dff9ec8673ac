// The maker notes of real camera files: every sample decodes, gives its
// heading and lines, the same lines come through the JPEG reader, and the
// raw values both sides expose agree with exiftool.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "makernote_test_support.h"
#include "metadata/jpeg_reader.h"
#include "metadata/number_format.h"
#include "metadata/string_sink.h"
#include "support/test_support.h"

using namespace mntest;

namespace {

// What the sample list says about each file's maker note.
struct Sample {
    std::filesystem::path path;
    std::string form;
    std::string notes;
};

std::vector<Sample> samples(const std::string& folder)
{
    std::vector<Sample> out;
    for (const auto& row : testsupport::manifestRows()) {
        std::map<std::string, std::string> m(row.begin(), row.end());
        if (m["path"].rfind(folder + "/", 0) != 0)
            continue;
        out.push_back({testsupport::testDataDir() / m["path"], m["makernote_form"], m["notes"]});
    }
    return out;
}

// Notes whose offsets count from somewhere else than the TIFF header (the
// files were edited) or whose IFD is not little-endian: the decoder reads
// them by its rules, which may give the heading alone.
bool readsAsDesigned(const Sample& s, const std::string& folder)
{
    if (s.notes.find("base") != std::string::npos || s.notes.find("offsets") != std::string::npos)
        return false;
    if (folder == "canon")
        return s.form.find(", II)") != std::string::npos;
    if (folder == "nikon")
        return s.form.rfind("Nikon-type2", 0) == 0;
    return s.form.rfind("Panasonic", 0) == 0 && s.form.find("MM") == std::string::npos &&
           s.notes.find("EXIF MM") == std::string::npos;
}

const std::map<std::string, std::string> kHeadings = {
    {"canon", "--Canonメーカノート情報（参考）--"},
    {"nikon", "--Nikonメーカノート（Type3）情報（参考）--"},
    {"panasonic", "-Panasonicメーカノート情報（参考）-"},
};

std::string lineAfter(const std::vector<std::string>& lines, const std::string& label)
{
    for (const auto& line : lines)
        if (line.rfind(label, 0) == 0)
            return line.substr(label.size());
    return "\x01(none)";
}

class RealNotes : public ::testing::TestWithParam<std::string> {};

TEST_P(RealNotes, DecodeWithHeadingAndLines)
{
    REQUIRE_TESTDATA();
    const std::string folder = GetParam();
    const auto files = samples(folder);
    ASSERT_FALSE(files.empty());
    int decoded = 0;
    for (const auto& s : files) {
        SCOPED_TRACE(s.path.filename().string());
        auto note = locateMakerNote(s.path);
        if (!note)
            continue;
        const auto result = decodeRealNote(*note);
        EXPECT_EQ(result.littleEndianAfter, note->littleEndian);
        if (!readsAsDesigned(s, folder))
            continue;
        ASSERT_GT(result.lines.size(), 10u);
        EXPECT_EQ(result.lines[0], kHeadings.at(folder));
        for (size_t i = 1; i < result.lines.size(); ++i)
            EXPECT_EQ(result.lines[i].substr(0, 1), " ") << result.lines[i];
        ++decoded;

        // Through the JPEG reader the maker-note lines follow the Exif lines.
        metadata::StringSink sink;
        const auto file = testsupport::readFile(s.path);
        metadata::JpegRead(file.data(), file.size(), sink, {});
        const auto at = std::search(sink.lines.begin(), sink.lines.end(), result.lines.begin(), result.lines.end());
        EXPECT_NE(at, sink.lines.end()) << "maker-note lines missing from the reader's lines";
        EXPECT_EQ(sink.lines.end() - at, std::ptrdiff_t(result.lines.size()));
    }
    EXPECT_GE(decoded, 5);
}

INSTANTIATE_TEST_SUITE_P(Makers, RealNotes, ::testing::Values("canon", "nikon", "panasonic"));

// Files of other makers and damaged files pass through every decoder
// without harm.
TEST(RealNotesTest, AnyNoteThroughEveryDecoder)
{
    REQUIRE_TESTDATA();
    for (const std::string folder : {"broken", "other-makes", "canon", "nikon", "panasonic"}) {
        for (const auto& path : sampleFiles(folder)) {
            auto note = locateMakerNote(path);
            if (!note)
                continue;
            for (const char* make : {"Canon", "Panasonic", "NIKON"}) {
                note->make = make;
                const auto result = decodeRealNote(*note);
                EXPECT_EQ(result.littleEndianAfter, note->littleEndian) << path;
            }
        }
    }
}

class ExiftoolCompare : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (testsupport::testDataDir().empty())
            GTEST_SKIP() << "sample pictures not available";
        if (!exiftoolAvailable())
            GTEST_SKIP() << "exiftool not installed";
    }

    // Decoded lines of every file of the folder that reads as designed.
    std::vector<std::pair<std::filesystem::path, std::vector<std::string>>> decoded(const std::string& folder)
    {
        std::vector<std::pair<std::filesystem::path, std::vector<std::string>>> out;
        for (const auto& s : samples(folder)) {
            if (!readsAsDesigned(s, folder))
                continue;
            auto note = locateMakerNote(s.path);
            if (note)
                out.emplace_back(s.path, decodeRealNote(*note).lines);
        }
        return out;
    }
};

TEST_F(ExiftoolCompare, CanonTextsAndSerialNumber)
{
    int compared = 0;
    for (const auto& [path, lines] : decoded("canon")) {
        SCOPED_TRACE(path.filename().string());
        const struct {
            const char* tag;
            const char* label;
        } texts[] = {{"CanonImageType", " イメージタイプ："},
                     {"CanonFirmwareVersion", " ファームウェアバージョン："},
                     {"OwnerName", " カメラ所有者名："}};
        auto values = exiftoolValues(path, {"Canon:CanonImageType", "Canon:CanonFirmwareVersion", "Canon:OwnerName",
                                            "Canon:SerialNumber"});
        for (const auto& t : texts) {
            const std::string theirs = values[t.tag];
            const std::string ours = lineAfter(lines, t.label);
            if (theirs.empty() && ours == "\x01(none)")
                continue;
            EXPECT_EQ(ours, theirs) << t.tag;
            ++compared;
        }
        const std::string serial = values["SerialNumber"];
        if (!serial.empty()) {
            const std::string ours = lineAfter(lines, " カメラ製造番号：&H");
            EXPECT_EQ(std::stoull(ours, nullptr, 16), std::stoull(serial)) << ours;
            ++compared;
        }
    }
    EXPECT_GE(compared, 30);
}

TEST_F(ExiftoolCompare, NikonIsoVersionAndLens)
{
    int compared = 0;
    for (const auto& [path, lines] : decoded("nikon")) {
        SCOPED_TRACE(path.filename().string());
        auto values = exiftoolValues(path, {"Nikon:MakerNoteVersion", "Nikon:ISO", "Nikon:Lens"});
        EXPECT_EQ(lineAfter(lines, " メーカーノートバージョン："), values["MakerNoteVersion"]);
        ++compared;
        // ISO: two whole numbers where exiftool shows them raw.
        std::istringstream iso(values["ISO"]);
        unsigned a = 0, b = 0;
        std::string rest;
        if (iso >> a >> b && !(iso >> rest)) {
            EXPECT_EQ(lineAfter(lines, " ＩＳＯ："), std::to_string(a) + "／" + std::to_string(b));
            ++compared;
        }
        std::istringstream lens(values["Lens"]);
        double f1, f2, n1, n2;
        if (lens >> f1 >> f2 >> n1 >> n2) {
            auto num = [](double v) { return metadata::formatNumber(v, "####0.##"); };
            EXPECT_EQ(lineAfter(lines, " レンズ："),
                      num(f1) + "mm～" + num(f2) + "mm、Ｆ" + num(n1) + "～Ｆ" + num(n2));
            ++compared;
        }
    }
    EXPECT_GE(compared, 25);
}

TEST_F(ExiftoolCompare, PanasonicWhiteBalanceAndFirmware)
{
    const std::map<std::string, std::string> whiteBalance = {{"1", "オート"}, {"2", "晴天"}, {"3", "曇り"},
                                                             {"4", "白熱灯"}, {"5", "マニュアル"}};
    int compared = 0;
    for (const auto& [path, lines] : decoded("panasonic")) {
        SCOPED_TRACE(path.filename().string());
        auto values = exiftoolValues(path, {"Panasonic:WhiteBalance", "Panasonic:FirmwareVersion"});
        const std::string wb = values["WhiteBalance"];
        if (whiteBalance.count(wb)) {
            EXPECT_EQ(lineAfter(lines, " ホワイトバランス："), whiteBalance.at(wb));
            ++compared;
        }
        // exiftool prints the four bytes as "0 1 0 8" or as digits "0100".
        std::string expected;
        for (char c : values["FirmwareVersion"])
            if (c >= '0' && c <= '9')
                expected += std::string(".") + c;
        if (!expected.empty()) {
            EXPECT_EQ(lineAfter(lines, " ファームウェア版数："), expected);
            ++compared;
        }
    }
    EXPECT_GE(compared, 10);
}

}  // namespace
