// Files made to hurt the decoders: tiny files claiming huge pictures, cut
// files that end in a marker, bit fields that filled a division with zero,
// and genuine large pictures that must still open through a reduced copy.
#include <QBuffer>
#include <QImage>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include <gif_lib.h>
#include <jpeglib.h>

#include "imaging/picture_decoder.h"
#include "imaging/reduced_copy.h"
#include "support/libjpeg_writer.h"
#include "support/photos.h"
#include "support/test_support.h"
#include "viewer/viewer_logic.h"

namespace fs = std::filesystem;
using imaging::DecodeError;
using imaging::DecodeRequest;
using imaging::decodePicture;

namespace {

QByteArray bytesOf(const fs::path& p)
{
    const auto v = testsupport::readFile(p);
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

// What the viewer asks for in a 1280 x 960 window showing whole pictures.
DecodeRequest screenRequest()
{
    DecodeRequest r;
    r.drawnSize = [](QSize full) { return viewer::drawnSize(QSize(1280, 960), full, true, false); };
    return r;
}

QImage pattern(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 255) / w, (y * 255) / h, ((x / 16 + y / 16) & 1) * 200));
    return img;
}

QByteArray encode(const QImage& img, const char* format)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format, 90);
    return out;
}

enum class JpegContent { Ramp, Flat, Colour };

// A JPEG written by libjpeg: greyscale (a ramp or flat) with the given scan
// script (none: sequential), or colour at full chroma resolution with
// libjpeg's own ten-scan progressive script, as an editor saves it.
QByteArray jpegWithScans(int w, int h, const std::vector<jpeg_scan_info>& scans, JpegContent content = JpegContent::Ramp)
{
    const bool colour = content == JpegContent::Colour;
    return testsupport::libjpegWrite(
        w, h, colour ? 3 : 1,
        [&](jpeg_compress_struct& c) {
            if (colour) {
                for (int i = 0; i < 3; ++i)
                    c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
                jpeg_simple_progression(&c);
            } else if (!scans.empty()) {
                c.scan_info = scans.data();
                c.num_scans = static_cast<int>(scans.size());
                c.optimize_coding = TRUE;
            }
        },
        [&](int y, JSAMPLE* row) {
            for (int x = 0; x < w; ++x) {
                if (colour) {
                    JSAMPLE* p = row + static_cast<size_t>(x) * 3;
                    p[0] = static_cast<JSAMPLE>(x & 0xFF);
                    p[1] = 0x80;
                    p[2] = static_cast<JSAMPLE>(255 - (x & 0xFF));
                } else {
                    row[x] = content == JpegContent::Flat ? 0x80 : static_cast<JSAMPLE>((x * 7 + y * 3) & 0xFF);
                }
            }
        });
}

// Every coefficient in a band of its own, each in two bits of precision.
std::vector<jpeg_scan_info> manyScans()
{
    std::vector<jpeg_scan_info> s;
    s.push_back({1, {0}, 0, 0, 0, 1});
    s.push_back({1, {0}, 0, 0, 1, 0});
    for (int k = 1; k < 64; ++k) {
        s.push_back({1, {0}, k, k, 0, 1});
        s.push_back({1, {0}, k, k, 1, 0});
    }
    return s;
}

std::vector<jpeg_scan_info> tenScans()
{
    return {{1, {0}, 0, 0, 0, 1}, {1, {0}, 1, 5, 0, 2}, {1, {0}, 6, 63, 0, 2}, {1, {0}, 1, 63, 2, 1},
            {1, {0}, 0, 0, 1, 0}, {1, {0}, 1, 63, 1, 0}};
}

// The same file with its last scan repeated `times` more times before the
// end: libjpeg only warns of the bogus progression and refines again.
QByteArray withLastScanRepeated(const QByteArray& jpeg, int times)
{
    const qsizetype sos = jpeg.lastIndexOf("\xFF\xDA");
    const qsizetype eoi = jpeg.size() - 2;
    const QByteArray scan = jpeg.mid(sos, eoi - sos);
    QByteArray out = jpeg.left(eoi);
    for (int i = 0; i < times; ++i)
        out += scan;
    return out + QByteArray("\xFF\xD9", 2);
}

// A GIF of one frame placed at (left, top) on a larger screen.
QByteArray gifOf(const QImage& img, QSize screen, QPoint at, bool interlaced)
{
    struct Sink {
        QByteArray bytes;
    } sink;
    auto write = [](GifFileType* g, const GifByteType* d, int n) -> int {
        static_cast<Sink*>(g->UserData)->bytes.append(reinterpret_cast<const char*>(d), n);
        return n;
    };
    int err = 0;
    GifFileType* g = EGifOpen(&sink, write, &err);
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    for (int i = 0; i < 256; ++i)  // 3-3-2 colour cube
        map->Colors[i] = {static_cast<GifByteType>((i >> 5) * 255 / 7), static_cast<GifByteType>(((i >> 2) & 7) * 255 / 7),
                          static_cast<GifByteType>((i & 3) * 255 / 3)};
    EGifPutScreenDesc(g, screen.width(), screen.height(), 8, 0, map);
    EGifPutImageDesc(g, at.x(), at.y(), img.width(), img.height(), interlaced, nullptr);
    std::vector<GifPixelType> line(static_cast<size_t>(img.width()));
    auto putRow = [&](int y) {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb p = img.pixel(x, y);
            line[static_cast<size_t>(x)] =
                static_cast<GifPixelType>(((qRed(p) * 7 / 255) << 5) | ((qGreen(p) * 7 / 255) << 2) | (qBlue(p) * 3 / 255));
        }
        EGifPutLine(g, line.data(), img.width());
    };
    if (interlaced) {
        static const int start[] = {0, 4, 2, 1}, step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = start[pass]; y < img.height(); y += step[pass])
                putRow(y);
    } else {
        for (int y = 0; y < img.height(); ++y)
            putRow(y);
    }
    EGifCloseFile(g, &err);
    GifFreeMapObject(map);
    return sink.bytes;
}

}  // namespace

TEST(HostileFiles, EachIsShownOrRefusedWithoutHarm)
{
    REQUIRE_TESTDATA();
    const fs::path dir = testsupport::testDataDir() / "hostile";
    const struct {
        const char* name;
        QSize full;  // empty: refused
    } rows[] = {
        {"bmp_bitfields16_mask_ffffffff.bmp", {4, 2}},
        {"bmp_rle8_bomb_22000.bmp", {}},
        {"gif_screen_22000_frame_1x1.gif", {}},
        {"jpeg_progressive_22000_padded.jpg", {}},
        {"png_bomb_1bit_22000.png", {22000, 22000}},
    };
    for (const auto& r : rows) {
        const QByteArray data = bytesOf(dir / r.name);
        ASSERT_FALSE(data.isEmpty()) << r.name;
        if (r.full.isEmpty()) {
            EXPECT_THROW(decodePicture(QString::fromUtf8(r.name), data, screenRequest()), DecodeError) << r.name;
            continue;
        }
        const auto d = decodePicture(QString::fromUtf8(r.name), data, screenRequest());
        EXPECT_EQ(d.fullSize, r.full) << r.name;
        const QSize drawn = viewer::drawnSize(QSize(1280, 960), r.full, true, false);
        EXPECT_EQ(d.image.size(), drawn.isValid() ? drawn : r.full) << r.name;
    }
}

TEST(HostileFiles, JpegDataEndingBeforeItsLastRowIsAnError)
{
    const QByteArray jpg = encode(pattern(640, 480), "JPG");
    const QByteArray eoi("\xFF\xD9", 2);
    // Half of the entropy data, then an end-of-image marker: at every scale.
    const QByteArray half = jpg.left(jpg.size() / 2) + eoi;
    EXPECT_THROW(decodePicture("half.jpg", half, {}), DecodeError);
    EXPECT_THROW(decodePicture("half.jpg", half, screenRequest()), DecodeError);
    DecodeRequest eighth;
    eighth.drawnSize = [](QSize) { return QSize(80, 60); };
    EXPECT_THROW(decodePicture("half.jpg", half, eighth), DecodeError);
    // A few bytes short of the end fall within the last row of blocks and
    // still show, as they always did.
    const QByteArray nearlyWhole = jpg.left(jpg.size() - 12) + eoi;
    EXPECT_EQ(decodePicture("near.jpg", nearlyWhole, {}).fullSize, QSize(640, 480));

    // 64 x 48 pixels of data under a header claiming more.
    const QByteArray small = jpegWithScans(64, 48, {});
    const qsizetype sof = small.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    auto claim = [&](int w, int h) {
        QByteArray b = small;
        b[sof + 5] = static_cast<char>(h >> 8);
        b[sof + 6] = static_cast<char>(h);
        b[sof + 7] = static_cast<char>(w >> 8);
        b[sof + 8] = static_cast<char>(w);
        return b;
    };
    EXPECT_THROW(decodePicture("lie.jpg", claim(20000, 20000), {}), DecodeError);
    EXPECT_THROW(decodePicture("lie.jpg", claim(20000, 20000), screenRequest()), DecodeError);
    // Small enough for the byte bound, so only the missing rows tell.
    EXPECT_THROW(decodePicture("lie.jpg", claim(64, 960), {}), DecodeError);
    EXPECT_EQ(decodePicture("true.jpg", small, {}).fullSize, QSize(64, 48));
}

TEST(HostileFiles, ProgressiveJpegsWithAbsurdlyManyScansAreRefused)
{
    const QByteArray many = jpegWithScans(64, 64, manyScans());
    const QByteArray usual = jpegWithScans(64, 64, tenScans());
    EXPECT_THROW(decodePicture("many.jpg", many, {}), DecodeError);
    const auto d = decodePicture("usual.jpg", usual, {});
    EXPECT_EQ(d.fullSize, QSize(64, 64));
    // Grey ramp along x: the progressive decode is the picture.
    EXPECT_NEAR(qRed(d.image.pixel(10, 0)), 70, 6);

    // Few scans can cost as much as many: a refining scan over a whole band
    // visits every coefficient of every block. 60 repeats of one over 16
    // megapixels of flat grey (a second of work in a file of 33 kilobytes)
    // are refused; the same scan a few times over is only an odd file.
    const std::vector<jpeg_scan_info> refining{{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 1}, {1, {0}, 1, 63, 1, 0}};
    const QByteArray big = jpegWithScans(4000, 4000, refining, JpegContent::Flat);
    EXPECT_THROW(decodePicture("refined.jpg", withLastScanRepeated(big, 60), screenRequest()), DecodeError);
    EXPECT_EQ(decodePicture("refined.jpg", withLastScanRepeated(big, 3), screenRequest()).fullSize, QSize(4000, 4000));

    // The bound holds a genuine large progressive picture: libjpeg's
    // ten-scan script over 100 megapixels at full chroma resolution.
    const auto large = decodePicture("large.jpg", jpegWithScans(10000, 10000, {}, JpegContent::Colour), screenRequest());
    EXPECT_EQ(large.fullSize, QSize(10000, 10000));
    EXPECT_NEAR(qGreen(large.image.pixel(large.image.width() / 2, 0)), 0x80, 8);
}

TEST(HostileFiles, BitFieldMasksOfEveryWidthConvert)
{
    // 2 x 1 pixels at 16 bits; red mask all 32 bits, green 0x07E0, blue 0x001F.
    QByteArray bmp(70, '\0');
    auto put32 = [&bmp](int pos, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[pos + i] = static_cast<char>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(10, 66);
    put32(14, 40);
    put32(18, 2);
    put32(22, 1);
    bmp[26] = 1;
    bmp[28] = 16;
    put32(30, 3);
    put32(54, 0xFFFFFFFFu);
    put32(58, 0x07E0);
    put32(62, 0x001F);
    bmp[66] = static_cast<char>(0xFF);  // pixel 0: 0xFFFF
    bmp[67] = static_cast<char>(0xFF);
    bmp[68] = 0x1F;  // pixel 1: pure blue
    const auto d = decodePicture("m.bmp", bmp, {});
    ASSERT_EQ(d.image.size(), QSize(2, 1));
    // 0xFFFF of a 32-bit mask is a dim red; green and blue are full.
    EXPECT_EQ(d.image.pixel(0, 0), qRgb(0, 255, 255));
    EXPECT_EQ(d.image.pixel(1, 0), qRgb(0, 0, 255));
    // Turned, the bitmap keeps its depth and masks.
    const imaging::Bitmap turned = imaging::RotateBitmap90(d.bitmap, 1);
    EXPECT_EQ(turned.bpp, 16);
    EXPECT_EQ(turned.toImage().pixel(0, 1), qRgb(0, 0, 255));
}

TEST(HostileFiles, GifControlBlocksOfAnotherLengthSetNoTransparentColour)
{
    // 2 x 1 pixels of colours 0 (red) and 1 (green), after a graphics control
    // block of `length` bytes that marks colour 0 transparent.
    auto gif = [](char length) {
        QByteArray g("GIF89a\x02\x00\x01\x00\x80\x00\x00"
                     "\xFF\x00\x00\x00\xFF\x00",
                     19);
        g += QByteArray("\x21\xF9", 2) + length + QByteArray("\x01\x00\x00\x00", 4);
        g += QByteArray(length - 4 + 1, '\0');  // the rest of the block, then its end
        // LZW of minimum code size 2: clear, 0, 1, end of information.
        g += QByteArray("\x2C\x00\x00\x00\x00\x02\x00\x01\x00\x00\x02\x02\x44\x0A\x00\x3B", 16);
        return g;
    };
    DecodeRequest blue;
    blue.background = Qt::blue;
    const auto four = decodePicture("t.gif", gif(4), blue);
    EXPECT_EQ(four.image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(four.image.pixel(1, 0), qRgb(0, 255, 0));
    // giflib reads only a block of four bytes; the colour it would have
    // left unset must not decide what is transparent.
    for (char length : {5, 8, 16}) {
        const auto other = decodePicture("t.gif", gif(length), blue);
        EXPECT_EQ(other.image.pixel(0, 0), qRgb(255, 0, 0)) << int(length);
        EXPECT_EQ(other.image.pixel(1, 0), qRgb(0, 255, 0)) << int(length);
    }
}

TEST(ReducedDecoding, LargePicturesMatchTheirFullDecodeScaledDown)
{
    const QImage big = pattern(2600, 1900);
    // Coarse blocks of eight colours: no dithering in any stored form, so
    // sampling differs from averaging only along block edges.
    QImage wide(6600, 700, QImage::Format_RGB32);
    for (int y = 0; y < wide.height(); ++y)
        for (int x = 0; x < wide.width(); ++x) {
            const int c = (x / 60 + y / 60) % 8;
            wide.setPixel(x, y, qRgb((c & 1) * 255, (c & 2) * 127, (c & 4) * 63));
        }
    // A hand-made RLE8 bitmap: each row runs of 200 pixels of palette
    // colours changing down the picture, written bottom-up.
    QByteArray rle;
    {
        const int w = 2600, h = 1900;
        QByteArray head(54 + 1024, '\0');
        auto put32 = [&head](int pos, uint32_t v) {
            for (int i = 0; i < 4; ++i)
                head[pos + i] = static_cast<char>(v >> (8 * i));
        };
        head[0] = 'B';
        head[1] = 'M';
        put32(10, 54 + 1024);
        put32(14, 40);
        put32(18, w);
        put32(22, h);
        head[26] = 1;
        head[28] = 8;
        put32(30, 1);
        for (int i = 0; i < 256; ++i)
            put32(54 + 4 * i, qRgb(i, 255 - i, (i * 3) & 0xFF));
        rle = head;
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; x += 200) {
                rle.append(static_cast<char>(200));
                rle.append(static_cast<char>((x / 10 + y / 8) & 0xFF));
            }
            rle.append('\0');
            rle.append(y + 1 < h ? '\0' : '\1');
        }
    }
    const struct {
        const char* name;
        QByteArray data;
    } rows[] = {
        {"big.png", encode(big, "PNG")},
        {"big.bmp", encode(big, "BMP")},
        {"rle.bmp", rle},
        {"flat.gif", gifOf(big, QSize(2800, 2000), QPoint(150, 60), false)},
        {"interlaced.gif", gifOf(big, QSize(2800, 2000), QPoint(150, 60), true)},
        // Five times the drawn width: rows and columns are sampled, from
        // the stored form of each colour type.
        {"wide_palette.png", encode(wide.convertToFormat(QImage::Format_Indexed8), "PNG")},
        {"wide_mono.png", encode(wide.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither), "PNG")},
        {"wide_16bit_alpha.png", encode(wide.convertToFormat(QImage::Format_RGBA64), "PNG")},
        {"wide_grey.png", encode(wide.convertToFormat(QImage::Format_Grayscale8), "PNG")},
    };
    for (const auto& r : rows) {
        const auto full = decodePicture(QString::fromUtf8(r.name), r.data, {});
        ASSERT_FALSE(full.reduced) << r.name;
        DecodeRequest req;
        req.drawnSize = [](QSize f) { return viewer::drawnSize(QSize(1280, 960), f, true, false); };
        const auto reduced = decodePicture(QString::fromUtf8(r.name), r.data, req);
        const QSize want = viewer::drawnSize(QSize(1280, 960), full.fullSize, true, false);
        EXPECT_TRUE(reduced.reduced) << r.name;
        EXPECT_TRUE(reduced.bitmap.isNull()) << r.name;
        EXPECT_EQ(reduced.fullSize, full.fullSize) << r.name;
        ASSERT_EQ(reduced.image.size(), want) << r.name;
        const QImage expected = full.image.scaled(want, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LT(testsupport::meanDifference(reduced.image, expected), 4.0) << r.name;
    }
}

TEST(ReducedDecoding, BandsAverageAndEmptyBandsRepeatTheOneAbove)
{
    // 4 x 5 at factor 2: bands of rows {0,1}, {2,3}, {4}; columns {0,1}, {2,3}.
    imaging::ReducedCopy copy(QSize(4, 5), 2, false);
    const QRgb white = qRgb(255, 255, 255), black = qRgb(0, 0, 0);
    const QRgb rowA[] = {white, white, black, black}, rowB[] = {black, black, black, black};
    copy.addRow(0, rowA);
    copy.addRow(1, rowB);
    copy.addRow(2, rowA);  // band 1 only gets one row of its two
    const QImage out = copy.finish(QSize());
    ASSERT_EQ(out.size(), QSize(2, 3));
    EXPECT_EQ(out.pixel(0, 0), qRgb(128, 128, 128));
    EXPECT_EQ(out.pixel(1, 0), black);
    EXPECT_EQ(out.pixel(0, 1), white);
    EXPECT_EQ(out.pixel(0, 2), white);  // band 2 had none
}

// A few hundred bytes of HEIF whose grid canvas, or whose coded tile, is
// far larger than the picture it claims: the library would allocate and
// convert the canvas (680 MB and seconds) before anything could look.
TEST(HostileFiles, AHeifWhoseCanvasOrTilesExceedItsPictureIsRefusedBeforeDecoding)
{
    QFile f(QStringLiteral(DAREDAZI_SOURCE_DIR "/fuzz/corpus/fuzz_heif_decode/grid-canvas-far-beyond-its-picture"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray grid = f.readAll();
    EXPECT_THROW(decodePicture(QStringLiteral("a.heic"), grid, screenRequest()), DecodeError);
    EXPECT_THROW(decodePicture(QStringLiteral("a.heic"), grid, {}), DecodeError);
    // The same file with the canvas the picture's own size (1472 x 65487
    // in its grid description, 64 x 48 in its properties) is decoded.
    QByteArray sound = grid;
    const qsizetype canvas = sound.indexOf("idat") + 4 + 4;
    ASSERT_EQ(sound.mid(canvas, 4), QByteArray("\x05\xc0\xff\xcf", 4));
    sound.replace(canvas, 4, QByteArray("\x00\x40\x00\x30", 4));
    EXPECT_EQ(decodePicture(QStringLiteral("a.heic"), sound, {}).fullSize, QSize(64, 48));
}

// An identity whose one part is an item without an entry (its entry box
// damaged): the library took the part for a picture and asserted, ending
// the viewer.
TEST(HostileFiles, AHeifIdentityOverAnItemThatIsNoPictureIsRefused)
{
    QFile f(QStringLiteral(DAREDAZI_SOURCE_DIR "/fuzz/corpus/fuzz_heif_decode/identity-over-an-item-without-an-entry"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray identity = f.readAll();
    EXPECT_THROW(decodePicture(QStringLiteral("a.heic"), identity, screenRequest()), DecodeError);
    EXPECT_THROW(decodePicture(QStringLiteral("a.heic"), identity, {}), DecodeError);
}
