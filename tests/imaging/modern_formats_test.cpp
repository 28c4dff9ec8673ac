// Today's formats through their libraries: HEIF/AVIF, WebP, JPEG XL and the
// raw files' embedded JPEGs, at full and at drawn size.
#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <gtest/gtest.h>
#include <jxl/encode.h>

#include <filesystem>
#include <map>
#include <vector>

#include "imaging/libraries/raw_stream.h"
#include "imaging/picture_decoder.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using imaging::DecodedPicture;
using imaging::PictureKind;

namespace {

QByteArray fileBytes(const fs::path& p)
{
    const auto v = testsupport::readFile(p);
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

DecodedPicture decode(const QString& name, const QByteArray& data, QSize drawn = QSize())
{
    imaging::DecodeRequest r;
    if (drawn.isValid())
        r.drawnSize = [drawn](QSize full) { return full.scaled(drawn, Qt::KeepAspectRatio); };
    return imaging::decodePicture(name, data, r);
}

QByteArray jpegOf(QSize size, QColor colour)
{
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "JPG", 90);
    return out;
}

void le16(QByteArray& s, uint16_t v) { s += char(v & 0xFF), s += char(v >> 8); }
void le32(QByteArray& s, uint32_t v) { le16(s, v & 0xFFFF), le16(s, v >> 16); }
void entry(QByteArray& s, uint16_t tag, uint16_t type, uint32_t count, uint32_t value)
{
    le16(s, tag), le16(s, type), le32(s, count), le32(s, value);
}

// A TIFF raw file as cameras write them: IFD0 with a thumbnail, a sub-IFD
// with the big preview as one JPEG strip, another with "raw data" that is no
// JPEG a viewer can decode (a lossless-JPEG marker).
QByteArray rawWithPreviews(const QByteArray& thumb, const QByteArray& preview)
{
    QByteArray t("II*\0", 4);
    le32(t, 8);
    const uint32_t ifd0 = 8, sub1 = ifd0 + 2 + 3 * 12 + 4, sub2 = sub1 + 2 + 3 * 12 + 4, data = sub2 + 2 + 3 * 12 + 4;
    const QByteArray lossless = QByteArray("\xFF\xD8\xFF\xC3\x00\x0B\x08\x00\x10\x00\x10\x01\x01\x11\x00", 15) +
                                QByteArray(preview.size() * 2, '\x55');
    const uint32_t thumbAt = data, previewAt = thumbAt + uint32_t(thumb.size()),
                   rawAt = previewAt + uint32_t(preview.size());
    QByteArray subIfds;
    le32(subIfds, sub1), le32(subIfds, sub2);
    le16(t, 3);
    entry(t, 0x014A, 4, 2, rawAt + uint32_t(lossless.size()));
    entry(t, 0x0201, 4, 1, thumbAt);
    entry(t, 0x0202, 4, 1, uint32_t(thumb.size()));
    le32(t, 0);
    le16(t, 3);
    entry(t, 0x0103, 3, 1, 6);
    entry(t, 0x0111, 4, 1, previewAt);
    entry(t, 0x0117, 4, 1, uint32_t(preview.size()));
    le32(t, 0);
    le16(t, 3);
    entry(t, 0x0103, 3, 1, 7);
    entry(t, 0x0111, 4, 1, rawAt);
    entry(t, 0x0117, 4, 1, uint32_t(lossless.size()));
    le32(t, 0);
    return t + thumb + preview + lossless + subIfds;
}

// A DNG without a preview: one strip of 16-bit photosites in an RGGB
// pattern, the colour cells all of the given red, green and blue.
QByteArray dngOf(QSize size, uint16_t red, uint16_t green, uint16_t blue)
{
    QByteArray t("II*\0", 4);
    le32(t, 8);
    const uint16_t entries = 14;
    const uint32_t stripAt = 8 + 2 + entries * 12 + 4;
    const uint32_t bytes = uint32_t(size.width() * size.height() * 2);
    le16(t, entries);
    entry(t, 0x00FE, 4, 1, 0);
    entry(t, 0x0100, 4, 1, uint32_t(size.width()));
    entry(t, 0x0101, 4, 1, uint32_t(size.height()));
    entry(t, 0x0102, 3, 1, 16);
    entry(t, 0x0103, 3, 1, 1);
    entry(t, 0x0106, 3, 1, 32803);
    entry(t, 0x0111, 4, 1, stripAt);
    entry(t, 0x0115, 3, 1, 1);
    entry(t, 0x0116, 4, 1, uint32_t(size.height()));
    entry(t, 0x0117, 4, 1, bytes);
    entry(t, 0x828D, 3, 2, 2 | (2u << 16));
    entry(t, 0x828E, 1, 4, 0x02010100);
    entry(t, 0xC612, 1, 4, 0x00000401);
    entry(t, 0xC614, 2, 4, 0x00545344);  // "DST"
    le32(t, 0);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            le16(t, y % 2 == 0 ? (x % 2 == 0 ? red : green) : (x % 2 == 0 ? green : blue));
    return t;
}

// A JPEG XL picture, red on its left half and blue on its right.
QByteArray jxlOf(QSize size)
{
    JxlEncoder* enc = JxlEncoderCreate(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(size.width());
    info.ysize = uint32_t(size.height());
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    JxlColorEncoding colours;
    JxlColorEncodingSetToSRGB(&colours, JXL_FALSE);
    JxlEncoderFrameSettings* frame = JxlEncoderFrameSettingsCreate(enc, nullptr);
    std::vector<uint8_t> pixels;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            const bool left = x < size.width() / 2;
            pixels.insert(pixels.end(), {uint8_t(left ? 220 : 20), 20, uint8_t(left ? 20 : 220)});
        }
    const JxlPixelFormat format{3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    QByteArray out;
    if (JxlEncoderSetBasicInfo(enc, &info) == JXL_ENC_SUCCESS &&
        JxlEncoderSetColorEncoding(enc, &colours) == JXL_ENC_SUCCESS &&
        JxlEncoderFrameSettingsSetOption(frame, JXL_ENC_FRAME_SETTING_EFFORT, 1) == JXL_ENC_SUCCESS &&
        JxlEncoderAddImageFrame(frame, &format, pixels.data(), pixels.size()) == JXL_ENC_SUCCESS) {
        JxlEncoderCloseInput(enc);
        out.resize(4096);
        size_t used = 0;
        for (;;) {
            uint8_t* next = reinterpret_cast<uint8_t*>(out.data()) + used;
            size_t left = size_t(out.size()) - used;
            const JxlEncoderStatus status = JxlEncoderProcessOutput(enc, &next, &left);
            used = size_t(next - reinterpret_cast<uint8_t*>(out.data()));
            if (status != JXL_ENC_NEED_MORE_OUTPUT) {
                out.resize(status == JXL_ENC_SUCCESS ? qsizetype(used) : 0);
                break;
            }
            out.resize(out.size() * 2);
        }
    }
    JxlEncoderDestroy(enc);
    return out;
}

}  // namespace

TEST(ModernFormats, EverySampleWithPixelsOpensAtItsSize)
{
    REQUIRE_TESTDATA();
    // Sizes as shown: an iPhone picture turned by its HEIF properties comes
    // out upright.
    const std::map<std::string, QSize> sizes = {
        {"ex2_2021-02-13-1929.heic", {3024, 4032}}, {"ex2_Stonehenge.heic", {300, 200}},
        {"me_IMG_1034.heic", {4032, 3024}},        {"me_IMG_2927.heic", {3024, 4032}},
        {"me_exif-at-eof.heic", {3024, 4032}},     {"me_cheers_1440x960.heic", {1440, 960}},
        {"ex2_avif.avif", {1920, 1080}},           {"ex2_avif_exif_xmp.avif", {120, 120}},
        {"me_32Bit-72dpi-sRGB-800x600.avif", {800, 600}},
        {"ex2_exiv2-bug1199.webp", {1200, 800}},   {"me_webpvp8.webp", {1600, 900}},
        {"me_webpvp8l.webp", {1200, 900}},         {"me_webpvp8x.webp", {1440, 900}},
        {"et_RIFF.webp", {1, 1}},                  {"ex2_Reagan.jxl", {200, 130}},
    };
    for (const auto& [name, size] : sizes) {
        SCOPED_TRACE(name);
        const QByteArray data = fileBytes(testsupport::testDataDir() / "modern" / name);
        const DecodedPicture full = decode(QString::fromStdString(name), data);
        EXPECT_EQ(full.fullSize, size);
        EXPECT_EQ(full.image.size(), size);
        EXPECT_FALSE(full.reduced);
        // Drawn at a quarter, the copy has the drawn size and the full size
        // is still reported.
        if (size.width() >= 800) {
            const QSize drawn = size / 4;
            const DecodedPicture small = decode(QString::fromStdString(name), data, drawn);
            EXPECT_EQ(small.fullSize, size);
            EXPECT_EQ(small.image.size(), size.scaled(drawn, Qt::KeepAspectRatio));
            EXPECT_TRUE(small.reduced);
            // The same picture in the same colours: the reduced copy (HEIF
            // ones averaged from the planes before the colour conversion)
            // is the full one scaled down, within rounding.
            const QImage ref = full.image.scaled(small.image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                   .convertToFormat(QImage::Format_RGB32);
            const QImage got = small.image.convertToFormat(QImage::Format_RGB32);
            double diff[3] = {0, 0, 0};
            for (int y = 2; y < got.height() - 2; ++y)
                for (int x = 2; x < got.width() - 2; ++x) {
                    const QRgb a = got.pixel(x, y), b = ref.pixel(x, y);
                    diff[0] += std::abs(qRed(a) - qRed(b));
                    diff[1] += std::abs(qGreen(a) - qGreen(b));
                    diff[2] += std::abs(qBlue(a) - qBlue(b));
                }
            for (double d : diff)
                EXPECT_LT(d / ((got.width() - 4) * (got.height() - 4)), 2.0);
        }
        // HEIF and JPEG XL pictures come out turned; the Exif orientation is
        // not applied again.
        const bool turnedByDecoder = name.ends_with(".heic") || name.ends_with(".avif") || name.ends_with(".jxl");
        EXPECT_EQ(full.oriented, turnedByDecoder);
    }
    // The other JPEG XL sample is a metadata tool's test file whose 34-byte
    // code stream libjxl refuses: it gives the error, not a crash.
    EXPECT_THROW(decode("a.jxl", fileBytes(testsupport::testDataDir() / "modern/et_JXL2.jxl")), imaging::DecodeError);
}

TEST(ModernFormats, DamagedFilesFailCleanly)
{
    REQUIRE_TESTDATA();
    int refused = 0;
    for (const char* name : {"ex2_issue_1793_poc.heic", "ex2_pr_2612_poc.heic", "ex2_issue_1841_poc.webp",
                             "ex2_issue_839_poc.rw2"}) {
        SCOPED_TRACE(name);
        EXPECT_THROW(decode(QString::fromLatin1(name), fileBytes(testsupport::testDataDir() / "broken" / name)),
                     imaging::DecodeError);
        ++refused;
    }
    EXPECT_EQ(refused, 4);
    // Every sample cut short, or with bytes flipped in its middle, gives a
    // picture or DecodeError, nothing else.
    for (const fs::path& p : {testsupport::testDataDir() / "modern/me_IMG_1034.heic",
                              testsupport::testDataDir() / "modern/me_webpvp8x.webp",
                              testsupport::testDataDir() / "modern/ex2_Reagan.jxl",
                              testsupport::testDataDir() / "modern/ex2_avif.avif"}) {
        const QByteArray whole = fileBytes(p);
        const QString name = QString::fromStdString(p.filename().string());
        for (qsizetype n : {qsizetype(16), whole.size() / 3, whole.size() - 100}) {
            try {
                decode(name, whole.left(n), QSize(200, 200));
            } catch (const imaging::DecodeError&) {
            }
            QByteArray flipped = whole;
            for (qsizetype i = n; i < std::min(whole.size(), n + 64); ++i)
                flipped[i] = char(~flipped[i]);
            try {
                decode(name, flipped, QSize(200, 200));
            } catch (const imaging::DecodeError&) {
            }
        }
    }
}

TEST(ModernFormats, JpegXlPicturesSmallAndLargeDecodeWhole)
{
    // One group of 256 x 256 pixels' worth is decoded on the calling
    // thread; a larger picture starts again on every core.
    for (const QSize size : {QSize(100, 80), QSize(600, 400)}) {
        SCOPED_TRACE(size.width());
        const QByteArray file = jxlOf(size);
        ASSERT_FALSE(file.isEmpty());
        const DecodedPicture full = decode("a.jxl", file);
        EXPECT_EQ(full.fullSize, size);
        ASSERT_EQ(full.image.size(), size);
        const QRgb left = full.image.pixel(size.width() / 4, size.height() / 2);
        const QRgb right = full.image.pixel(size.width() * 3 / 4, size.height() - 1);
        EXPECT_GT(qRed(left), 180);
        EXPECT_LT(qBlue(left), 60);
        EXPECT_GT(qBlue(right), 180);
        EXPECT_LT(qRed(right), 60);
        const DecodedPicture half = decode("a.jxl", file, size / 2);
        EXPECT_EQ(half.image.size(), size / 2);
        EXPECT_GT(qBlue(half.image.pixel(size.width() * 3 / 8, size.height() / 4)), 180);
    }
}

TEST(ModernFormats, RawFilesShowTheirBiggestJpegWithDctScaling)
{
    const QByteArray thumb = jpegOf({160, 120}, Qt::red);
    const QByteArray preview = jpegOf({1600, 1200}, Qt::darkGreen);
    const QByteArray raw = rawWithPreviews(thumb, preview);
    const DecodedPicture full = decode("IMG_0001.NEF", raw);
    EXPECT_EQ(full.kind, PictureKind::Raw);
    EXPECT_EQ(full.fullSize, QSize(1600, 1200));
    EXPECT_EQ(qGreen(full.image.pixel(800, 600)) > 80 && qRed(full.image.pixel(800, 600)) < 60, true);
    EXPECT_FALSE(full.oriented);  // the Exif orientation turns it, as a JPEG
    const DecodedPicture small = decode("IMG_0001.dng", raw, QSize(400, 300));
    EXPECT_EQ(small.scaleDenom, 4);
    EXPECT_EQ(small.image.size(), QSize(400, 300));
    // Only a thumbnail and raw data LibRaw cannot develop: the thumbnail.
    const QByteArray thumbOnly = rawWithPreviews(thumb, jpegOf({200, 150}, Qt::blue).left(20));
    EXPECT_EQ(decode("IMG_0002.CR2", thumbOnly).fullSize, QSize(160, 120));
    // Nothing decodable at all.
    EXPECT_THROW(decode("IMG_0003.CR2", rawWithPreviews(QByteArray(30, 'x'), QByteArray(30, 'y'))),
                 imaging::DecodeError);
}

TEST(ModernFormats, RawFilesWithoutAPreviewAreDevelopedAtHalfSizeEachAsIfFirst)
{
    const QByteArray red = dngOf({64, 48}, 60000, 4000, 4000);
    const QByteArray blue = dngOf({80, 60}, 4000, 4000, 60000);
    const DecodedPicture first = decode("a.dng", red);
    EXPECT_EQ(first.kind, PictureKind::Raw);
    EXPECT_EQ(first.fullSize, QSize(64, 48));
    ASSERT_EQ(first.image.size(), QSize(32, 24));
    const QRgb centre = first.image.pixel(16, 12);
    EXPECT_GT(qRed(centre), qBlue(centre) + 60);
    // LibRaw's state is kept from one file to the next: neither a damaged
    // file nor one of another size and colour in between changes a picture.
    QByteArray damaged = red;
    damaged.truncate(200);
    EXPECT_THROW(decode("b.dng", damaged), imaging::DecodeError);
    const DecodedPicture other = decode("c.dng", blue);
    EXPECT_EQ(other.image.size(), QSize(40, 30));
    EXPECT_GT(qBlue(other.image.pixel(20, 15)), qRed(other.image.pixel(20, 15)) + 60);
    EXPECT_EQ(decode("d.dng", red).image, first.image);
}

TEST(ModernFormats, LibRawReadsLinesAndNumbersOnlyWithinTheFileAndItsArrays)
{
    // A line that fills the array, and one whose newline comes last in it:
    // both end inside the array, and the byte after it stays as it was.
    QByteArray text = QByteArray(200, 'a');
    text[127] = '\n';
    imaging::RawStream lines(text.constData(), size_t(text.size()));
    char line[129];
    line[128] = 'Z';
    ASSERT_NE(lines.gets(line, 128), nullptr);
    EXPECT_EQ(QByteArray(line), QByteArray(127, 'a'));
    EXPECT_EQ(line[128], 'Z');
    ASSERT_NE(lines.gets(line, 128), nullptr);
    EXPECT_EQ(QByteArray(line), "\n");
    ASSERT_NE(lines.gets(line, 128), nullptr);
    EXPECT_EQ(qstrlen(line), 72u);  // the rest, without a newline
    EXPECT_EQ(lines.gets(line, 128), nullptr);
    // A number at the very end of data that is followed by more memory
    // but no NUL: it is read, and nothing past it.
    const QByteArray memory("  42 7 12345");
    imaging::RawStream numbers(memory.constData(), 10);  // "  42 7 123"
    int value = 0;
    EXPECT_EQ(numbers.scanf_one("%d", &value), 1);
    EXPECT_EQ(value, 42);
    numbers.seek(7, SEEK_SET);
    EXPECT_EQ(numbers.scanf_one("%d", &value), 1);
    EXPECT_EQ(value, 123);
    EXPECT_EQ(numbers.tell(), 10);
    EXPECT_EQ(numbers.scanf_one("%d", &value), 0);
    // A tag search that goes on reading at the end of the data (as one of
    // LibRaw's maker-note parsers does when the tag never comes) is stopped
    // with LibRaw's end-of-file exception, which LibRaw answers with an error.
    imaging::RawStream ended(memory.constData(), 4);
    int reads = 0;
    bool stopped = false;
    try {
        for (char two[2]; reads <= 4 * imaging::RawStream::kReadsAtEndLimit; ++reads) {
            ended.seek(10, SEEK_CUR);
            reads % 2 ? (void)ended.read(two, 1, 2) : (void)ended.get_char();
        }
    } catch (LibRaw_exceptions e) {
        stopped = e == LIBRAW_EXCEPTION_IO_EOF;
    }
    EXPECT_TRUE(stopped);
    EXPECT_EQ(reads, imaging::RawStream::kReadsAtEndLimit);
    // A file of another kind named as a camera's raw file never reaches
    // LibRaw's parsers for that kind.
    QByteArray other("DSC-Image\nDAT=1\n");
    other += QByteArray(4000, 'x');
    EXPECT_THROW(decode("a.nef", other), imaging::DecodeError);
}

TEST(ModernFormats, RawSamplesGiveTheirPreviewOrAnError)
{
    REQUIRE_TESTDATA();
    // The sample raw files had their pixels stripped: RW2 keeps an 8 x 8
    // embedded JPEG, the others nothing a viewer can show.
    const QByteArray rw2 = fileBytes(testsupport::testDataDir() / "raw/et_Panasonic.rw2");
    EXPECT_EQ(decode("a.rw2", rw2).fullSize, QSize(8, 8));
    for (const char* name : {"et_CanonRaw.cr2", "et_Nikon.nef", "et_DNG.dng"})
        EXPECT_THROW(decode(QString::fromLatin1(name), fileBytes(testsupport::testDataDir() / "raw" / name)),
                     imaging::DecodeError)
            << name;
}

TEST(ModernFormats, TheFormatTableGivesEveryEndingItsReaderAndMasks)
{
    const std::pair<const char*, PictureKind> rows[] = {
        {"a.HEIC", PictureKind::Heif}, {"a.heif", PictureKind::Heif}, {"a.avif", PictureKind::Heif},
        {"a.WebP", PictureKind::Webp}, {"a.jxl", PictureKind::Jxl},   {"a.CR2", PictureKind::Raw},
        {"a.cr3", PictureKind::Raw},   {"a.nef", PictureKind::Raw},   {"a.RW2", PictureKind::Raw},
        {"a.dng", PictureKind::Raw},   {"a.jpeg", PictureKind::Jpeg}, {"a.heic.txt", PictureKind::None},
    };
    for (const auto& [name, kind] : rows)
        EXPECT_EQ(imaging::pictureKindFor(QString::fromLatin1(name)), kind) << name;
    // The old formats keep their mask order; the Exif mask holds every
    // format with Exif and none without.
    EXPECT_TRUE(imaging::pictureMask().startsWith("*.jpg;*.jpeg;*.bmp;*.wmf;*.emf;*.png;*.gif;*.ico;"));
    EXPECT_EQ(imaging::exifPictureMask(), "*.jpg;*.jpeg;*.heic;*.heif;*.avif;*.webp;*.jxl;*.cr2;*.nef;*.dng;*.rw2;*.cr3");
}
