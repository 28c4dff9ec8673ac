// The Exif of today's formats (HEIF, AVIF, WebP, JPEG XL, raw files) found by
// the container walks and read by the JPEG's rules; the walks read little
// and never leave the file, whatever its boxes and IFDs claim.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "makernotes/makernote_test_support.h"
#include "metadata/containers.h"
#include "metadata/picture_reader.h"
#include "metadata/string_sink.h"
#include "support/test_support.h"
#ifndef DAREDAZI_CORE_ONLY
#include "imaging/brotli_inflate.h"
#endif

namespace fs = std::filesystem;
using metadata::Container;
using metadata::ExifPlace;

namespace {

metadata::BrotliInflate inflater()
{
#ifndef DAREDAZI_CORE_ONLY
    return imaging::inflateBrotli;
#else
    return {};
#endif
}

metadata::StringSink readPicture(const fs::path& path)
{
    const auto bytes = testsupport::readFile(path);
    metadata::StringSink sink;
    metadata::PictureRead(bytes.data(), bytes.size(), metadata::containerForName(path.filename().string()), sink, {},
                          inflater());
    return sink;
}

bool hasLine(const metadata::StringSink& s, const std::string& line)
{
    return std::find(s.lines.begin(), s.lines.end(), line) != s.lines.end();
}

bool hasLineStarting(const metadata::StringSink& s, const std::string& start)
{
    return std::any_of(s.lines.begin(), s.lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; });
}

std::vector<fs::path> todaysFiles()
{
    std::vector<fs::path> out;
    for (const char* dir : {"modern", "raw"})
        for (const fs::path& p : mntest::sampleFiles(dir))
            out.push_back(p);
    return out;
}

// Counts what a walk reads.
class CountingSource : public metadata::ByteSource {
public:
    explicit CountingSource(const std::vector<unsigned char>& d) : inner_(d.data(), d.size()) {}
    int64_t readAt(int64_t at, void* dest, int64_t n) override
    {
        const int64_t got = inner_.readAt(at, dest, n);
        read += std::max<int64_t>(got, 0);
        return got;
    }
    int64_t size() override { return inner_.size(); }
    int64_t read = 0;

private:
    metadata::MemorySource inner_;
};

// Big-endian and little-endian writers for hand-made containers.
void be32(std::string& s, uint32_t v)
{
    for (int i = 3; i >= 0; --i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void le16(std::string& s, uint16_t v) { s += static_cast<char>(v & 0xFF), s += static_cast<char>(v >> 8); }
void le32(std::string& s, uint32_t v) { le16(s, v & 0xFFFF), le16(s, v >> 16); }
std::string box(const char* type, const std::string& payload)
{
    std::string s;
    be32(s, static_cast<uint32_t>(8 + payload.size()));
    return s + type + payload;
}
// A little-endian TIFF block with Make "Fox" and DateTime.
std::string smallTiff()
{
    std::string t = "II";
    le16(t, 42), le32(t, 8);
    le16(t, 2);
    le16(t, 271), le16(t, 2), le32(t, 4), t += std::string("Fox\0", 4);
    le16(t, 306), le16(t, 2), le32(t, 20), le32(t, 8 + 2 + 24 + 4);
    le32(t, 0);
    return t + std::string("2021:03:04 05:06:07\0", 20);
}

ExifPlace locate(const std::string& file, Container c)
{
    metadata::MemorySource src(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    return metadata::locateExif(src, c);
}

// A HEIF file whose Exif item 1 lies at `offset` for `length` bytes.
std::string heif(uint32_t offset, uint32_t length, const std::string& tail)
{
    std::string infe;
    infe += std::string("\x02\0\0\0", 4);          // version 2
    infe += std::string("\0\x01\0\0", 4) + "Exif";  // item 1, protection 0
    infe += std::string("\0", 1);
    std::string iinf = std::string("\0\0\0\0\0\x01", 6) + box("infe", infe);
    std::string iloc = std::string("\x01\0\0\0", 4);  // version 1
    iloc += std::string("\x44\0", 2);                 // offset and length: 4 bytes; no base, no index
    iloc += std::string("\0\x01", 2);                 // one item
    iloc += std::string("\0\x01", 2) + std::string("\0\0", 2) + std::string("\0\0", 2) + std::string("\0\x01", 2);
    be32(iloc, offset), be32(iloc, length);
    const std::string meta = box("meta", std::string("\0\0\0\0", 4) + box("iinf", iinf) + box("iloc", iloc));
    return box("ftyp", "heic\0\0\0\0mif1heic") + meta + tail;
}

}  // namespace

TEST(Containers, TodaysFilesGiveTheLinesOfTheirCamera)
{
    REQUIRE_TESTDATA();
    int checked = 0;
    for (const fs::path& path : todaysFiles()) {
        SCOPED_TRACE(path.filename().string());
        const metadata::StringSink s = readPicture(path);
        if (!mntest::exiftoolAvailable())
            continue;
        auto v = mntest::exiftoolValues(path, {"IFD0:Make", "IFD0:Model", "ExifIFD:DateTimeOriginal",
                                               "ExifIFD:ExposureTime", "ExifIFD:FNumber"});
        if (v.count("Make")) {
            std::string make = v["Make"];
            EXPECT_TRUE(hasLine(s, "メーカ名：" + make));
            EXPECT_TRUE(hasLine(s, "機種：" + v["Model"]));
        }
        if (v.count("DateTimeOriginal")) {
            EXPECT_EQ(s.dateCaption, v["DateTimeOriginal"]);
        }
        EXPECT_EQ(hasLineStarting(s, "シャッター："), v.count("ExposureTime") == 1);
        EXPECT_EQ(hasLineStarting(s, "絞　り　値："), v.count("FNumber") == 1);
        const std::string make = v.count("Make") ? v["Make"] : "";
        const bool noted = make.rfind("Canon", 0) == 0 || make.rfind("NIKON", 0) == 0 || make.rfind("Panasonic", 0) == 0;
        // Cameras write their maker notes in raw files.
        if (noted && path.parent_path().filename() == "raw") {
            EXPECT_TRUE(hasLineStarting(s, "--") || hasLineStarting(s, "-Panasonic")) << "no maker-note heading";
        }
        ++checked;
    }
    if (mntest::exiftoolAvailable()) {
        EXPECT_GE(checked, 20);
    }
}

TEST(Containers, RawFilesAndTheirCamerasJpegsShareTheMakerNoteHeading)
{
    REQUIRE_TESTDATA();
    const fs::path d = testsupport::testDataDir();
    const std::pair<const char*, const char*> pairs[] = {
        {"raw/et_Nikon.nef", "nikon/ex2_exiv2-nikon-d70.jpg"},
        {"raw/et_CanonRaw.cr2", "canon/dc_Canon_Rebel_XT_350D__MG_9382.JPG"},
        {"raw/et_CanonRaw.cr3", "canon/dc_Canon_Rebel_XT_350D__MG_9382.JPG"},
        {"raw/et_DNG.dng", "canon/dc_Canon_Rebel_XT_350D__MG_9382.JPG"},
    };
    for (const auto& [raw, jpeg] : pairs) {
        SCOPED_TRACE(raw);
        const metadata::StringSink r = readPicture(d / raw);
        const metadata::StringSink j = readPicture(d / jpeg);
        auto heading = [](const metadata::StringSink& s) {
            for (const std::string& l : s.lines)
                if (l.find("（参考）") != std::string::npos)
                    return l;
            return std::string();
        };
        ASSERT_FALSE(heading(j).empty());
        EXPECT_EQ(heading(r), heading(j));
        // The note's lines follow, as for the JPEG.
        EXPECT_GT(r.lines.size(), 40u);
    }
    // Panasonic's RW2 keeps its Exif in the JPEG it embeds.
    const metadata::StringSink rw2 = readPicture(d / "raw/et_Panasonic.rw2");
    EXPECT_TRUE(hasLine(rw2, "-Panasonicメーカノート情報（参考）-"));
    EXPECT_EQ(rw2.dateCaption, "2008:08:06 15:21:56");
}

TEST(Containers, HeifExifAtTheEndOfTheFileIsReachedByReadingLittle)
{
    REQUIRE_TESTDATA();
    // The Exif item at the end of a 700 KB file: the walk reads the meta box
    // and the item's head only.
    const auto bytes = testsupport::readFile(testsupport::testDataDir() / "modern/me_exif-at-eof.heic");
    ASSERT_GT(bytes.size(), 700000u);
    CountingSource src(bytes);
    const ExifPlace place = metadata::locateExif(src, Container::Isobmff);
    ASSERT_EQ(place.form, ExifPlace::Form::Tiff);
    EXPECT_GT(place.where.offset, static_cast<int64_t>(bytes.size()) * 9 / 10);
    EXPECT_LE(place.where.offset + place.where.size, static_cast<int64_t>(bytes.size()));
    EXPECT_LT(src.read, 16 * 1024);
    const metadata::StringSink s = readPicture(testsupport::testDataDir() / "modern/me_exif-at-eof.heic");
    EXPECT_EQ(s.dateCaption, "2020:05:04 18:39:11");
    EXPECT_TRUE(hasLine(s, "機種：iPhone 11 Pro"));
}

TEST(Containers, CompressedJpegXlExifIsInflatedWhereBrotliIsThere)
{
    REQUIRE_TESTDATA();
    const fs::path path = testsupport::testDataDir() / "modern/et_JXL2.jxl";
    const auto bytes = testsupport::readFile(path);
    metadata::MemorySource src(bytes.data(), bytes.size());
    const ExifPlace place = metadata::locateExif(src, Container::Jxl);
    EXPECT_EQ(place.form, ExifPlace::Form::Tiff);
    EXPECT_TRUE(place.brotli);
    // Without a decoder the compressed Exif is absent, never misread.
    metadata::StringSink plain;
    metadata::PictureRead(bytes.data(), bytes.size(), Container::Jxl, plain, {}, {});
    EXPECT_TRUE(plain.lines.empty());
#ifndef DAREDAZI_CORE_ONLY
    EXPECT_TRUE(hasLine(readPicture(path), "アーティスト：me"));
#endif
}

TEST(Containers, HandMadeContainersAreReadWithinTheirBytes)
{
    const std::string tiff = smallTiff();
    {
        // The Exif item in the file, after its TIFF-header offset.
        std::string exifItem;
        be32(exifItem, 6);
        exifItem += std::string("Exif\0\0", 6) + tiff;
        std::string file = heif(0, static_cast<uint32_t>(exifItem.size()), "");
        const uint32_t at = static_cast<uint32_t>(file.size() + 8);
        file = heif(at, static_cast<uint32_t>(exifItem.size()), box("mdat", exifItem));
        const ExifPlace p = locate(file, Container::Isobmff);
        ASSERT_EQ(p.form, ExifPlace::Form::Tiff);
        EXPECT_EQ(file.substr(static_cast<size_t>(p.where.offset), 4), std::string("II*\0", 4));
        metadata::StringSink s;
        metadata::PictureRead(reinterpret_cast<const uint8_t*>(file.data()), file.size(), Container::Isobmff, s, {});
        EXPECT_TRUE(hasLine(s, "メーカ名：Fox"));
        // An item that claims more than the file holds, or lies past it.
        EXPECT_EQ(locate(heif(at, 1u << 30, box("mdat", exifItem)), Container::Isobmff).form, ExifPlace::Form::None);
        EXPECT_EQ(locate(heif(0xFFFFFFF0u, 16, box("mdat", exifItem)), Container::Isobmff).form,
                  ExifPlace::Form::None);
        // A TIFF-header offset beyond the item.
        std::string bad;
        be32(bad, 0x7FFFFFFF);
        EXPECT_EQ(locate(heif(at, 8, box("mdat", bad + "abcd")), Container::Isobmff).form, ExifPlace::Form::None);
    }
    {
        // Boxes whose sizes run past their parent, or wrap.
        std::string big;
        be32(big, 1);
        big += "meta";
        be32(big, 0xFFFFFFFF), be32(big, 0xFFFFFFF0);
        EXPECT_EQ(locate(box("ftyp", "heic") + big, Container::Isobmff).form, ExifPlace::Form::None);
        std::string tiny;
        be32(tiny, 3);
        EXPECT_EQ(locate(tiny + "meta" + std::string(64, '\0'), Container::Isobmff).form, ExifPlace::Form::None);
    }
    {
        // WebP: the EXIF chunk, with or without the JPEG segment's name.
        for (const std::string& prefix : {std::string(), std::string("Exif\0\0", 6)}) {
            const std::string chunk = "EXIF";
            std::string body = "WEBP" + chunk;
            le32(body, static_cast<uint32_t>(prefix.size() + tiff.size()));
            body += prefix + tiff;
            std::string file = "RIFF";
            le32(file, static_cast<uint32_t>(body.size()));
            file += body;
            const ExifPlace p = locate(file, Container::Webp);
            ASSERT_EQ(p.form, ExifPlace::Form::Tiff);
            EXPECT_EQ(file.substr(static_cast<size_t>(p.where.offset), 2), "II");
        }
        std::string lying = "RIFF";
        le32(lying, 100);
        lying += "WEBPEXIF";
        le32(lying, 0x7FFFFFF0);
        EXPECT_EQ(locate(lying + tiff, Container::Webp).form, ExifPlace::Form::None);
    }
    {
        // JPEG XL: the Exif box; a bare code stream has none.
        std::string exifBox;
        be32(exifBox, 0);
        exifBox += tiff;
        const std::string sig("\0\0\0\x0CJXL \x0D\x0A\x87\x0A", 12);
        const ExifPlace p = locate(sig + box("ftyp", "jxl \0\0\0\0jxl ") + box("Exif", exifBox), Container::Jxl);
        EXPECT_EQ(p.form, ExifPlace::Form::Tiff);
        EXPECT_FALSE(p.brotli);
        EXPECT_EQ(locate("\xFF\x0A" + tiff, Container::Jxl).form, ExifPlace::Form::None);
    }
    {
        // RW2: an embedded JPEG that lies outside the file is no Exif.
        std::string rw2 = "IIU";
        rw2 += '\0';
        le32(rw2, 8);
        le16(rw2, 1);
        le16(rw2, 0x2E), le16(rw2, 7), le32(rw2, 1000), le32(rw2, 30);
        le32(rw2, 0);
        EXPECT_EQ(locate(rw2 + std::string(100, 'x'), Container::Rw2).form, ExifPlace::Form::None);
    }
}

TEST(Containers, RawPreviewsLieInsideTheFileWhateverTheIfdsClaim)
{
    // A TIFF whose IFD chain loops, whose sub-IFD points at itself and whose
    // JPEG offsets point outside the file.
    std::string t = "II";
    le16(t, 42), le32(t, 8);
    le16(t, 4);
    le16(t, 0x0201), le16(t, 4), le32(t, 1), le32(t, 70);       // JPEG at 70
    le16(t, 0x0202), le16(t, 4), le32(t, 1), le32(t, 10);       // 10 bytes
    le16(t, 0x014A), le16(t, 4), le32(t, 1), le32(t, 8);        // sub-IFD: itself
    le16(t, 0x0111), le16(t, 4), le32(t, 1), le32(t, 0xFFFFFF);  // a strip outside
    le32(t, 8);                                                   // next: itself
    t.resize(70, '\0');
    t += std::string("\xFF\xD8\xFF\xDB", 4) + std::string(6, '\0');
    metadata::MemorySource src(reinterpret_cast<const uint8_t*>(t.data()), t.size());
    const auto previews = metadata::rawJpegPreviews(src, Container::Tiff);
    ASSERT_EQ(previews.size(), 1u);
    EXPECT_EQ(previews[0].offset, 70);
    EXPECT_EQ(previews[0].size, 10);
}

TEST(Containers, CutShortFilesGiveNoMoreThanTheirBytes)
{
    REQUIRE_TESTDATA();
    // Every sample cut at many lengths: whatever is found lies inside the
    // cut file, and reading it neither throws nor reads outside (the
    // sanitizer builds check the latter).
    for (const fs::path& path : todaysFiles()) {
        const auto whole = testsupport::readFile(path);
        const Container c = metadata::containerForName(path.filename().string());
        for (size_t n : {size_t(0), size_t(7), size_t(12), size_t(40), size_t(200), size_t(1000), whole.size() / 3,
                         whole.size() / 2, whole.size() - 1}) {
            n = std::min(n, whole.size());
            const std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
            metadata::MemorySource src(cut.data(), cut.size());
            const ExifPlace p = metadata::locateExif(src, c);
            if (p.form == ExifPlace::Form::Tiff || p.form == ExifPlace::Form::JpegStream) {
                EXPECT_LE(p.where.offset + p.where.size, static_cast<int64_t>(n)) << path << " cut at " << n;
            }
            for (const auto& e : metadata::rawJpegPreviews(src, c))
                EXPECT_LE(e.offset + e.size, static_cast<int64_t>(n));
            metadata::StringSink s;
            try {
                metadata::PictureRead(cut.data(), cut.size(), c, s, {}, inflater());
            } catch (const metadata::MetadataError&) {
            }
        }
    }
}

TEST(Containers, AHeifGridMustBeMadeOfCodedPicturesAndNeverOfItself)
{
    // Items 1 and 2 are coded tiles, 3 is the grid (the primary), 4 another
    // grid, 5 an identity over the grid.
    auto file = [](uint16_t primary, const std::vector<std::pair<uint16_t, std::vector<uint16_t>>>& dimg) {
        std::string iinf = std::string("\0\0\0\0\0\x06", 6);
        const std::pair<uint16_t, const char*> items[] = {{1, "hvc1"}, {2, "hvc1"}, {3, "grid"}, {4, "grid"},
                                                           {5, "iden"}, {6, "Exif"}};
        for (const auto& [id, type] : items) {
            std::string infe("\x02\0\0\0", 4);
            infe += static_cast<char>(id >> 8), infe += static_cast<char>(id & 0xFF);
            infe += std::string("\0\0", 2) + type + std::string("\0", 1);
            iinf += box("infe", infe);
        }
        std::string pitm("\0\0\0\0", 4);
        pitm += static_cast<char>(primary >> 8), pitm += static_cast<char>(primary & 0xFF);
        std::string iref("\0\0\0\0", 4);
        for (const auto& [from, to] : dimg) {
            std::string ref;
            ref += static_cast<char>(from >> 8), ref += static_cast<char>(from & 0xFF);
            ref += static_cast<char>(to.size() >> 8), ref += static_cast<char>(to.size() & 0xFF);
            for (uint16_t t : to)
                ref += static_cast<char>(t >> 8), ref += static_cast<char>(t & 0xFF);
            iref += box("dimg", ref);
        }
        return box("ftyp", "heic\0\0\0\0mif1heic") +
               box("meta", std::string("\0\0\0\0", 4) + box("pitm", pitm) + box("iinf", iinf) + box("iref", iref));
    };
    auto sound = [](const std::string& f) {
        metadata::MemorySource src(reinterpret_cast<const uint8_t*>(f.data()), f.size());
        return metadata::heifDerivationSound(src);
    };
    // A phone's grid of tiles (one used twice), a coded primary, and an
    // identity over a grid.
    EXPECT_TRUE(sound(file(3, {{3, {1, 2, 1, 2}}})));
    EXPECT_TRUE(sound(file(1, {})));
    EXPECT_TRUE(sound(file(5, {{5, {3}}, {3, {1, 2}}})));
    // A grid made of itself, of another grid, or of nothing; an identity
    // that comes back to itself through a grid; a grid of 5,000 tiles.
    EXPECT_FALSE(sound(file(3, {{3, {3}}})));
    EXPECT_FALSE(sound(file(3, {{3, {1, 4}}, {4, {1}}})));
    EXPECT_FALSE(sound(file(3, {})));
    EXPECT_FALSE(sound(file(5, {{5, {3}}, {3, {5}}})));
    EXPECT_FALSE(sound(file(3, {{3, std::vector<uint16_t>(5000, 1)}})));
    // An identity or a grid over an item that is no picture: the Exif item,
    // or an item without an entry (a damaged one), which the decoder took
    // for a picture and asserted on.
    EXPECT_FALSE(sound(file(5, {{5, {6}}})));
    EXPECT_FALSE(sound(file(5, {{5, {9}}})));
    EXPECT_FALSE(sound(file(3, {{3, {1, 6}}})));
    EXPECT_TRUE(sound(file(5, {{5, {1}}})));
}

TEST(Containers, TheCodedPictureSizeOfAHeifIsReadFromItsHevcConfiguration)
{
    // An hvcC as an encoder writes it: VPS, SPS (64 x 64) and PPS.
    static const char kVps[] = "\x40\x01\x0c\x01\xff\xff\x03\x70\x00\x00\x03\x00\x90\x00\x00\x03\x00\x00\x03\x00\x1e\xba"
                            "\x02\x40";
    static const char kSps[] = "\x42\x01\x01\x03\x70\x00\x00\x03\x00\x90\x00\x00\x03\x00\x00\x03\x00\x1e\xa0\x20\x81\x05"
                            "\x96\xea\xe4\xa6\xb9\xb0\x20\x00\x00\x03\x00\x20\x00\x00\x03\x00\x21";
    const std::string vps(kVps, sizeof kVps - 1), sps(kSps, sizeof kSps - 1), pps("\x44\x01\xc1\x73\xc0\x89", 6);
    auto array = [](char type, const std::string& nal) {
        std::string a(1, type);
        a += std::string("\x00\x01", 2);
        a += static_cast<char>(nal.size() >> 8), a += static_cast<char>(nal.size() & 0xFF);
        return a + nal;
    };
    const std::string head("\x01\x03\x70\x00\x00\x00\x00\x00\x00\x00\x00\x00\x1e\xf0\x00\xfc\xfd\xf8\xf8\x00\x00\x0f\x03",
                           23);
    auto heif = [&](const std::string& hvcc) {
        return box("ftyp", "heic\0\0\0\0mif1heic") +
               box("meta", std::string("\0\0\0\0", 4) + box("iprp", box("ipco", box("hvcC", hvcc))));
    };
    auto coded = [](const std::string& f) {
        metadata::MemorySource src(reinterpret_cast<const uint8_t*>(f.data()), f.size());
        return metadata::heifLargestCodedPixels(src);
    };
    const std::string whole = head + array('\x20', vps) + array('\x21', sps) + array('\x22', pps);
    EXPECT_EQ(coded(heif(whole)), 64 * 64);
    EXPECT_EQ(coded(heif(head.substr(0, 22) + std::string(1, '\0'))), 0) << "no parameter sets: nothing told";
    EXPECT_EQ(coded(heif(whole.substr(0, 23 + 3 + 2 + vps.size() + 3 + 2 + 10))), -1) << "an SPS cut short";
    std::string wrong = whole;
    wrong[23 + 3 + 2 + vps.size() + 3] = '\x7f';  // an SPS longer than the box
    EXPECT_EQ(coded(heif(wrong)), -1);

    // Today's phone files: tiles of a few hundred pixels a side.
    if (testsupport::testDataDir().empty())
        return;
    for (const fs::path& path : todaysFiles()) {
        const std::string ext = path.extension().string();
        if (ext != ".heic" && ext != ".HEIC")
            continue;
        const auto bytes = testsupport::readFile(path);
        metadata::MemorySource src(bytes.data(), bytes.size());
        const int64_t pixels = metadata::heifLargestCodedPixels(src);
        EXPECT_GT(pixels, 0) << path;
        EXPECT_LE(pixels, 4096 * 4096) << path;
    }
}

TEST(Containers, TheCodedPictureSizeOfAnAvifIsReadFromItsAv1Configuration)
{
    // A still picture's sequence header (reduced), for a frame of w x h.
    auto sequence = [](int w, int h) {
        std::string bits = "000" "1" "1" "00000";  // profile, still, reduced, level
        auto put = [&](uint32_t v, int n) {
            for (int i = n - 1; i >= 0; --i)
                bits += (v >> i) & 1 ? '1' : '0';
        };
        put(15, 4), put(15, 4), put(uint32_t(w - 1), 16), put(uint32_t(h - 1), 16);
        bits += "1";  // trailing bits
        while (bits.size() % 8)
            bits += '0';
        std::string out;
        for (size_t i = 0; i < bits.size(); i += 8)
            out += static_cast<char>(std::stoi(bits.substr(i, 8), nullptr, 2));
        return out;
    };
    auto avif = [](const std::string& units) {
        const std::string av1c = std::string("\x81\x00\x0c\x00", 4) + units;
        return box("ftyp", "avif\0\0\0\0mif1avif") +
               box("meta", std::string("\0\0\0\0", 4) + box("iprp", box("ipco", box("av1C", av1c))));
    };
    auto unit = [](const std::string& payload) { return std::string(1, '\x0a') + static_cast<char>(payload.size()) + payload; };
    auto coded = [](const std::string& f) {
        metadata::MemorySource src(reinterpret_cast<const uint8_t*>(f.data()), f.size());
        return metadata::heifLargestCodedPixels(src);
    };
    EXPECT_EQ(coded(avif(unit(sequence(64, 48)))), 64 * 48);
    EXPECT_EQ(coded(avif(unit(sequence(65536, 65536)))), int64_t(65536) * 65536) << "a frame far beyond its picture";
    EXPECT_EQ(coded(avif("")), 0) << "no configuration units: nothing told";
    EXPECT_EQ(coded(avif(unit(sequence(64, 48).substr(0, 3)))), -1) << "a header cut short";
    std::string longer = unit(sequence(64, 48));
    longer[1] = '\x7f';  // a unit longer than the box
    EXPECT_EQ(coded(avif(longer)), -1);

    // Files written by today's encoders: the frame is the picture's
    // (1920 x 1080 in the one whose configuration carries its header).
    if (testsupport::testDataDir().empty())
        return;
    int read = 0;
    for (const fs::path& path : todaysFiles()) {
        if (path.extension() != ".avif")
            continue;
        const auto bytes = testsupport::readFile(path);
        metadata::MemorySource src(bytes.data(), bytes.size());
        const int64_t pixels = metadata::heifLargestCodedPixels(src);
        EXPECT_GE(pixels, 0) << path;
        EXPECT_LE(pixels, 8192 * 8192) << path;
        read += pixels > 0;
    }
    EXPECT_GT(read, 0);
}

TEST(Containers, IsoBoxesMustLieInsideTheirParents)
{
    auto nested = [](const std::string& f) {
        metadata::MemorySource src(reinterpret_cast<const uint8_t*>(f.data()), f.size());
        return metadata::isoBoxesNested(src);
    };
    const std::string ftyp = box("ftyp", std::string("crx \0\0\0\x01", 8));
    const std::string trak = box("trak", box("mdia", box("minf", box("stbl", box("stsz", std::string(12, '\0'))))));
    EXPECT_TRUE(nested(ftyp + box("moov", trak + trak) + box("mdat", std::string(100, 'x'))));
    // A movie box claiming more than the file, in 32 or 64 bits (LibRaw
    // spent 96 s over 2.6 KB of this); a track claiming more than its movie.
    std::string huge = ftyp + box("moov", trak);
    huge[ftyp.size() + 3] = '\x7f';
    EXPECT_FALSE(nested(huge));
    std::string large = ftyp + std::string("\0\0\0\x01moov\x1b\0\0\0\0\0\0\0", 16) + trak;
    EXPECT_FALSE(nested(large));
    std::string deep = ftyp + box("moov", trak);
    deep[ftyp.size() + 8 + 3] = '\x7f';
    EXPECT_FALSE(nested(deep));
    // Nested deeper than a camera writes them.
    std::string tower = box("stsz", "");
    for (int i = 0; i < 12; ++i)
        tower = box("trak", tower);
    EXPECT_FALSE(nested(ftyp + box("moov", tower)));

    if (testsupport::testDataDir().empty())
        return;
    for (const fs::path& path : todaysFiles())
        if (metadata::containerForName(path.filename().string()) == Container::Isobmff) {
            const auto bytes = testsupport::readFile(path);
            metadata::MemorySource src(bytes.data(), bytes.size());
            EXPECT_TRUE(metadata::isoBoxesNested(src)) << path;
        }
}
