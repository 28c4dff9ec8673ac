// The first look made from the blocks' DC coefficients, against libjpeg's own
// decode at 1/8 scale of the same files.
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

#include "imaging/jpeg_dc_look.h"
#include "imaging/picture_decoder.h"
#include "support/libjpeg_writer.h"
#include "support/photos.h"
#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

struct Encoding {
    int components = 3;   // 1: greyscale
    int lumaH = 2, lumaV = 2;
    unsigned restartInterval = 0;  // in MCUs
    bool rgb = false;              // stored as RGB, not YCbCr
    bool progressive = false;
    bool optimized = false;  // Huffman tables made for the picture
    bool harsh = false;      // black and white noise: the largest coefficients
};

// Noise in the luma, and colour that is flat over each 16 x 16 square, so
// the chroma blocks of every sampling have no AC energy and libjpeg's
// reduced chroma (which sums a few AC terms) equals their DC.
QByteArray encodeJpeg(int w, int h, const Encoding& e, int quality = 90)
{
    std::mt19937 random(7);
    return testsupport::libjpegWrite(
        w, h, e.components,
        [&](jpeg_compress_struct& c) {
            if (e.rgb)
                jpeg_set_colorspace(&c, JCS_RGB);
            jpeg_set_quality(&c, quality, TRUE);
            if (e.components == 3) {
                c.comp_info[0].h_samp_factor = e.lumaH;
                c.comp_info[0].v_samp_factor = e.lumaV;
                for (int i = 1; i < 3; ++i)
                    c.comp_info[i].h_samp_factor = c.comp_info[i].v_samp_factor = 1;
            }
            c.restart_interval = e.restartInterval;
            c.optimize_coding = e.optimized ? TRUE : FALSE;
            if (e.progressive)
                jpeg_simple_progression(&c);
        },
        [&](int y, JSAMPLE* row) {
            for (int x = 0; x < w; ++x) {
                const int noise = e.harsh ? static_cast<int>(random() & 1) * 255 : static_cast<int>(random() % 96);
                const int square = (x / 16) * 7 + (y / 16) * 13;
                JSAMPLE* p = row + static_cast<size_t>(x) * static_cast<size_t>(e.components);
                if (e.harsh) {
                    std::fill(p, p + e.components, static_cast<JSAMPLE>(noise));
                } else if (e.components == 1) {
                    p[0] = static_cast<JSAMPLE>(40 + noise + (square % 60));
                } else {
                    // Equal noise in R, G and B is luma alone.
                    p[0] = static_cast<JSAMPLE>(30 + noise + (square * 5) % 100);
                    p[1] = static_cast<JSAMPLE>(30 + noise + (square * 3) % 100);
                    p[2] = static_cast<JSAMPLE>(30 + noise + (square * 11) % 100);
                }
            }
        });
}

QImage libjpegEighth(const QByteArray& jpg)
{
    imaging::JpegInfo info;
    return imaging::decodeJpeg(reinterpret_cast<const uchar*>(jpg.constData()), static_cast<size_t>(jpg.size()), {},
                               &info, 8)
        .convertToFormat(QImage::Format_RGB32);
}

QImage look(const QByteArray& jpg)
{
    return imaging::jpegDcLook(reinterpret_cast<const uchar*>(jpg.constData()), static_cast<size_t>(jpg.size()));
}

// The largest difference of any channel of any pixel.
int largestDifference(const QImage& a, const QImage& b)
{
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            most = std::max({most, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                             std::abs(qBlue(p) - qBlue(q))});
        }
    return most;
}


}  // namespace

// Every sampling, restart intervals (also ones that split rows of MCUs),
// sizes that leave part-filled MCUs, optimized tables and stored RGB: the
// look is libjpeg's 1/8 decode, pixel for pixel.
TEST(JpegDcLook, EqualsLibjpegsEighthScaleForEveryLayout)
{
    struct Case {
        const char* what;
        int w, h;
        Encoding e;
        int quality = 90;
    };
    const Case cases[] = {
        {"4:2:0", 640, 480, {}},
        {"4:2:0, ragged edges", 1001, 757, {}},
        {"4:2:2", 333, 250, {3, 2, 1}},
        {"4:4:4", 250, 333, {3, 1, 1}},
        {"4:4:0", 200, 300, {3, 1, 2}},
        {"greyscale", 517, 389, {1}},
        {"restart every 7 MCUs", 1001, 757, {3, 2, 2, 7}},
        {"restart every MCU", 130, 70, {3, 2, 2, 1}},
        {"optimized tables", 640, 480, {3, 2, 2, 0, false, false, true}},
        {"stored as RGB", 320, 200, {3, 1, 1, 0, true}},
        {"one block", 8, 8, {3, 1, 1}},
        {"one pixel", 1, 1, {}},
        // Long codes with long values: bits past the reader's window.
        {"quality 100, black and white noise", 640, 480, {3, 2, 2, 0, false, false, false, true}, 100},
        // Files large enough to be walked from their middle too.
        {"two walks", 2400, 1600, {}},
        {"two walks, 4:2:2, black and white noise", 1600, 1200, {3, 2, 1, 0, false, false, false, true}, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray jpg = encodeJpeg(c.w, c.h, c.e, c.quality);
        const QImage expected = libjpegEighth(jpg);
        const QImage got = look(jpg);
        ASSERT_FALSE(got.isNull());
        ASSERT_EQ(got.size(), QSize((c.w + 7) / 8, (c.h + 7) / 8));
        ASSERT_EQ(got.size(), expected.size());
        EXPECT_EQ(largestDifference(got, expected), 0);
    }
}

// Camera files (Canon, Nikon, and whatever else the samples hold): their
// chroma has AC energy, which the look leaves out, so it comes near
// libjpeg's 1/8 decode, not equal (1.5 levels for a 24-megapixel file,
// 4.5 for a small busy one); a layout fault would be far off.
TEST(JpegDcLook, CameraFilesComeNearLibjpegsEighthScale)
{
    int compared = 0;
    for (const char* folder : {"canon", "nikon", "gps"}) {
        const fs::path dir = testsupport::testDataDir() / folder;
        if (!fs::exists(dir))
            continue;
        for (const auto& entry : fs::directory_iterator(dir)) {
            const auto v = testsupport::readFile(entry.path());
            const QByteArray jpg(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
            QImage expected;
            try {
                expected = libjpegEighth(jpg);
            } catch (const imaging::DecodeError&) {
                continue;
            }
            const QImage got = look(jpg);
            if (got.isNull())
                continue;  // progressive and the like: libjpeg makes their look
            SCOPED_TRACE(entry.path().filename().string());
            ASSERT_EQ(got.size(), expected.size());
            EXPECT_LT(testsupport::meanDifference(got, expected), 6.0);
            ++compared;
        }
    }
    if (compared == 0)
        GTEST_SKIP() << "no camera JPEG samples beside the repository";
}

// What the look does not take goes back to libjpeg (null), damaged data
// never reads outside the file (cut anywhere, bytes overwritten anywhere),
// and a cancelled look stops.
TEST(JpegDcLook, OtherKindsAndDamagedDataGiveNoLook)
{
    EXPECT_TRUE(look(encodeJpeg(64, 64, {3, 2, 2, 0, false, true})).isNull()) << "progressive";
    EXPECT_TRUE(look(QByteArray("\xFF\xD8\xFF\xD9", 4)).isNull());
    EXPECT_TRUE(look(QByteArray()).isNull());

    const QByteArray jpg = encodeJpeg(400, 400, {});
    // Cut in the first half: the file is broken, libjpeg says so.
    EXPECT_TRUE(look(jpg.left(jpg.size() / 2)).isNull());
    // Cut within the last row of MCUs: shown, the missing blocks flat, as
    // libjpeg shows such a file.
    EXPECT_FALSE(look(jpg.left(jpg.size() - 40)).isNull());

    // Codes no table holds (a run of one bits, stored as 0xFF 0x00) late in
    // a file walked from its middle too: no look, as from one walk.
    {
        QByteArray bad = encodeJpeg(2400, 1600, {});
        bad.replace(bad.size() * 3 / 4, 64, QByteArray("\xFF\x00", 2).repeated(32));
        EXPECT_TRUE(look(bad).isNull());
    }

    std::mt19937 random(3);
    for (int i = 0; i < 300; ++i) {
        QByteArray bad = jpg;
        const int at = 600 + static_cast<int>(random() % static_cast<unsigned>(bad.size() - 600));
        for (int k = 0; k < 4 && at + k < bad.size(); ++k)
            bad[at + k] = static_cast<char>(random());
        bad.truncate(static_cast<int>(random() % 2) ? bad.size() : at + 8);
        // Copied to a buffer of its own size, so AddressSanitizer sees any
        // read past it.
        std::vector<uchar> exact(bad.begin(), bad.end());
        const QImage got = imaging::jpegDcLook(exact.data(), exact.size());
        if (!got.isNull()) {
            EXPECT_EQ(got.size(), QSize(50, 50));
        }
    }

    // A cancelled look stops.
    const std::atomic<bool> cancelled{true};
    EXPECT_TRUE(imaging::jpegDcLook(reinterpret_cast<const uchar*>(jpg.constData()), static_cast<size_t>(jpg.size()),
                                    &cancelled)
                    .isNull());
}
