// The picture decoders over the real sample files, cut and damaged copies,
// and headers that lie about their size.
#include <QFile>
#include <QImage>
#include <QBuffer>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "imaging/large_image.h"
#include "imaging/row_fitter.h"
#include "imaging/picture_decoder.h"
#include "support/test_support.h"

namespace fs = std::filesystem;
using imaging::DecodeError;
using imaging::DecodeRequest;
using imaging::decodePicture;
using imaging::PictureKind;

namespace {

QByteArray bytesOf(const fs::path& p)
{
    const auto v = testsupport::readFile(p);
    return QByteArray(reinterpret_cast<const char*>(v.data()), static_cast<qsizetype>(v.size()));
}

std::vector<fs::path> samples(const char* folder)
{
    std::vector<fs::path> out;
    const fs::path dir = testsupport::testDataDir() / folder;
    if (!fs::exists(dir))
        return out;
    for (const auto& e : fs::directory_iterator(dir))
        if (imaging::pictureKindFor(QString::fromStdString(e.path().filename().string())) != PictureKind::None)
            out.push_back(e.path());
    std::sort(out.begin(), out.end());
    return out;
}

QImage makePhoto(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.setPixel(x, y, qRgb((x * 255) / w, (y * 255) / h, ((x ^ y) & 0xFF)));
    return img;
}

QByteArray encode(const QImage& img, const char* format, int quality = 90)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    img.save(&buffer, format, quality);
    return out;
}

}  // namespace

TEST(Decoders, EndingsSelectTheDecoder)
{
    const struct {
        const char* name;
        PictureKind kind;
    } rows[] = {
        {"a.JPG", PictureKind::Jpeg}, {"a.jpeg", PictureKind::Jpeg}, {"a.Ico", PictureKind::Ico},
        {"a.gif", PictureKind::Gif},  {"a.PNG", PictureKind::Png},   {"a.wmf", PictureKind::Metafile},
        {"a.EMF", PictureKind::Metafile}, {"a.bmp", PictureKind::Bmp}, {"a.jpg.txt", PictureKind::None},
        {"jpg", PictureKind::None},   {".jpg", PictureKind::Jpeg},  {"a.b.JpG", PictureKind::Jpeg},
        {"a.jp", PictureKind::None},  {"a.jpgx", PictureKind::None}, {"a.", PictureKind::None},
    };
    for (const auto& r : rows)
        EXPECT_EQ(imaging::pictureKindFor(QString::fromUtf8(r.name)), r.kind) << r.name;
}

TEST(Decoders, EverySampleOfEveryFormatShows)
{
    REQUIRE_TESTDATA();
    const auto files = samples("nonjpeg");
    ASSERT_FALSE(files.empty());
    for (const auto& f : files) {
        const QString name = QString::fromStdString(f.filename().string());
        SCOPED_TRACE(name.toStdString());
        imaging::DecodedPicture d;
        ASSERT_NO_THROW(d = decodePicture(name, bytesOf(f), DecodeRequest{}));
        EXPECT_FALSE(d.image.isNull());
        EXPECT_EQ(d.fullSize, d.image.size());
        EXPECT_GT(d.fullSize.width(), 0);
        const QImage ours = d.image.convertToFormat(QImage::Format_ARGB32);
        const PictureKind kind = imaging::pictureKindFor(name);
        if (kind == PictureKind::Png || kind == PictureKind::Bmp) {
            // Qt's own readers agree pixel for pixel.
            const QImage qt = QImage::fromData(bytesOf(f)).convertToFormat(QImage::Format_ARGB32);
            if (qt.isNull())
                continue;  // a depth Qt does not read (2 bits)
            ASSERT_EQ(qt.size(), ours.size());
            int differing = 0;
            for (int y = 0; y < qt.height(); ++y)
                for (int x = 0; x < qt.width(); ++x)
                    differing += qAlpha(qt.pixel(x, y)) == 255 && qt.pixel(x, y) != ours.pixel(x, y);
            EXPECT_EQ(differing, 0);
        } else if (kind == PictureKind::Metafile) {
            // Not a blank page: some pixel differs from the first one.
            bool varied = false;
            for (int y = 0; y < ours.height() && !varied; y += std::max(1, ours.height() / 64))
                for (int x = 0; x < ours.width() && !varied; x += std::max(1, ours.width() / 64))
                    varied = ours.pixel(x, y) != ours.pixel(0, 0);
            EXPECT_TRUE(varied);
        }
    }
}

TEST(Decoders, BitmapsKeepTheirStoredDepth)
{
    REQUIRE_TESTDATA();
    const struct {
        const char* file;
        int bpp;
    } rows[] = {
        {"pil_bmpsuite_g_pal4.bmp", 4}, {"pil_bmpsuite_g_pal4rle.bmp", 4}, {"pil_bmpsuite_g_pal8.bmp", 8},
        {"pil_bmpsuite_g_pal8rle.bmp", 8}, {"pil_bmpsuite_g_rgb24.bmp", 24}, {"pil_bmpsuite_g_rgb32.bmp", 32},
    };
    for (const auto& r : rows) {
        const auto d = decodePicture(QString::fromUtf8(r.file), bytesOf(testsupport::testDataDir() / "nonjpeg" / r.file), {});
        EXPECT_EQ(d.bitmap.bpp, r.bpp) << r.file;
    }
    // Top-down and bottom-up storage of the same picture come out alike.
    const auto a = decodePicture("a.bmp", bytesOf(testsupport::testDataDir() / "nonjpeg/pil_bmpsuite_g_pal8.bmp"), {});
    const auto b = decodePicture("b.bmp", bytesOf(testsupport::testDataDir() / "nonjpeg/pil_bmpsuite_g_pal8topdown.bmp"), {});
    EXPECT_EQ(a.image, b.image);
}

TEST(Decoders, BrokenSamplesAreRefused)
{
    REQUIRE_TESTDATA();
    for (const char* f : {"pil_bmpsuite_b_badbitcount.bmp", "pil_bmpsuite_b_reallybig.bmp", "pil_broken.png",
                          "pil_truncated_image.png", "pil_truncated_jpeg.jpg"}) {
        EXPECT_THROW(decodePicture(QString::fromUtf8(f), bytesOf(testsupport::testDataDir() / "broken" / f), {}),
                     DecodeError)
            << f;
    }
    // Damaged metafiles and the remaining broken files never crash.
    for (const auto& f : samples("broken")) {
        try {
            decodePicture(QString::fromStdString(f.filename().string()), bytesOf(f), {});
        } catch (const DecodeError&) {
        }
    }
}

TEST(Decoders, CutAndDamagedCopiesFailCleanly)
{
    REQUIRE_TESTDATA();
    std::vector<fs::path> files = samples("nonjpeg");
    for (const auto& f : samples("orientation"))
        if (files.size() < 48)
            files.push_back(f);
    for (const auto& f : files) {
        const QString name = QString::fromStdString(f.filename().string());
        const QByteArray whole = bytesOf(f);
        const PictureKind kind = imaging::pictureKindFor(name);
        // Raster formats check their own structure: a file cut anywhere
        // before its end is an error, not a partly grey picture.
        const bool strict = kind == PictureKind::Jpeg || kind == PictureKind::Png || kind == PictureKind::Gif ||
                            (kind == PictureKind::Bmp && !name.contains("rle"));
        for (int i = 1; i <= 12; ++i) {
            const qsizetype cut = whole.size() * i / 13;
            bool threw = false;
            try {
                decodePicture(name, whole.left(cut), {});
            } catch (const DecodeError&) {
                threw = true;
            }
            if (strict) {
                EXPECT_TRUE(threw) << name.toStdString() << " cut at " << cut;
            }
        }
        for (int i = 0; i < 16; ++i) {
            QByteArray bad = whole;
            const qsizetype at = (whole.size() * (2 * i + 1)) / 33;
            bad[at] = static_cast<char>(~bad[at]);
            try {
                decodePicture(name, bad, {});
            } catch (const DecodeError&) {
            }
        }
    }
}

TEST(Decoders, HeadersClaimingAbsurdSizesAreRefused)
{
    // A BMP of 30000 x 30000 pixels at 32 bits in a 60-byte file.
    QByteArray bmp(60, '\0');
    auto put32 = [&bmp](int pos, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[pos + i] = static_cast<char>(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(10, 54);
    put32(14, 40);
    put32(18, 30000);
    put32(22, 30000);
    bmp[26] = 1;
    bmp[28] = 32;
    EXPECT_THROW(decodePicture("big.bmp", bmp, {}), DecodeError);
    put32(18, 100000);
    put32(22, 100000);  // 10 gigapixels
    EXPECT_THROW(decodePicture("big.bmp", bmp, {}), DecodeError);

    // A PNG whose header says 60000 x 60000: the compressed data cannot
    // hold that many pixels.
    QByteArray png = encode(makePhoto(16, 16), "PNG");
    ASSERT_GT(png.size(), 33);
    auto be32 = [&png](int pos, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            png[pos + i] = static_cast<char>(v >> (24 - 8 * i));
    };
    be32(16, 60000);
    be32(20, 60000);
    EXPECT_THROW(decodePicture("big.png", png, {}), DecodeError);

    // A JPEG whose frame header claims 65000 x 65000.
    QByteArray jpg = encode(makePhoto(16, 16), "JPG");
    const qsizetype sof = jpg.indexOf(QByteArray("\xFF\xC0", 2));
    ASSERT_GT(sof, 0);
    jpg[sof + 5] = jpg[sof + 7] = static_cast<char>(0xFD);
    jpg[sof + 6] = jpg[sof + 8] = static_cast<char>(0xE8);
    EXPECT_THROW(decodePicture("big.jpg", jpg, {}), DecodeError);
}

TEST(Decoders, LargePngAndBmpOpenBeyondQtsDefaultLimit)
{
    // 8200 x 4200 at 32 bits is about 138 MB, above Qt 6.4's 128 MB reader
    // limit.
    QImage big(8200, 4200, QImage::Format_RGB32);
    big.fill(qRgb(10, 120, 200));
    for (int y = 0; y < big.height(); y += 7)
        big.setPixel((y * 13) % big.width(), y, qRgb(255, 255, 0));
    const QByteArray png = encode(big, "PNG");
    const auto d = decodePicture("big.png", png, {});
    EXPECT_EQ(d.fullSize, big.size());
    EXPECT_EQ(d.image.pixel(1, 0), qRgb(10, 120, 200));
    EXPECT_EQ(d.image.pixel(13 * 7 % 8200, 7), qRgb(255, 255, 0));
    const QByteArray bmp = encode(big, "BMP");
    const auto b = decodePicture("big.bmp", bmp, {});
    EXPECT_EQ(b.fullSize, big.size());
}

TEST(Decoders, JpegIsDecodedReducedForTheDrawnSizeButReportsItsFullSize)
{
    const QImage photo = makePhoto(1600, 1200);
    const QByteArray jpg = encode(photo, "JPG", 92);
    const struct {
        QSize drawn;
        int denom;
    } rows[] = {
        {QSize(800, 600), 2}, {QSize(400, 300), 4}, {QSize(399, 299), 4}, {QSize(401, 300), 2},
        {QSize(200, 150), 8}, {QSize(100, 75), 8}, {QSize(), 1}, {QSize(1600, 1200), 1},
    };
    for (const auto& r : rows) {
        DecodeRequest req;
        req.drawnSize = [d = r.drawn](QSize) { return d; };
        const auto d = decodePicture("p.jpg", jpg, req);
        EXPECT_EQ(d.fullSize, photo.size());
        EXPECT_EQ(d.scaleDenom, r.denom) << r.drawn.width();
        EXPECT_EQ(d.image.size(), r.drawn.isValid() ? r.drawn : photo.size());
        EXPECT_EQ(d.reduced, r.denom > 1);
    }
}

// A reduced JPEG is fitted while it is decoded, its rows given in bands of
// whatever size the library hands out; a first look is enlarged, by two
// fitters sharing the drawn rows. Every drawn row must be written, with each
// channel blended from the source pixels about its sample point, also at the
// edges and for one-pixel sources and targets, and two fitters must draw
// what one does.
TEST(RowFitter, EveryDrawnRowBlendsTheSourceAboutItsSamplePoint)
{
    const struct {
        QSize source, target;
    } cases[] = {
        {{3000, 2000}, {1620, 1080}}, {{801, 601}, {401, 300}}, {{640, 480}, {640, 240}}, {{640, 480}, {320, 480}},
        {{257, 1}, {100, 1}},         {{1, 300}, {1, 7}},       {{5, 5}, {1, 1}},        {{16, 16}, {16, 16}},
        {{750, 500}, {1620, 1080}},   {{160, 120}, {1001, 751}}, {{3, 2}, {7, 9}},
    };
    // Each channel its own noise, so a wrong weight, a pixel taken from the
    // wrong place or a channel leaking into another shows.
    const auto source = [](int x, int y) {
        const uint32_t v = uint32_t(x) * 2654435761u ^ uint32_t(y) * 2246822519u;
        return qRgb(int(v >> 24), int((v >> 12) & 0xFF), int((v ^ (v >> 7)) & 0xFF));
    };
    for (const auto& c : cases) {
        const int w = c.source.width(), h = c.source.height();
        QImage target(c.target, QImage::Format_RGB32), shared(c.target, QImage::Format_RGB32);
        target.fill(qRgb(255, 0, 255));
        shared.fill(qRgb(255, 0, 255));
        const auto fit = [&](QImage& into, int from, int to) {
            imaging::RowFitter fitter(c.source, &into, from, to);
            const int stride = fitter.padded();
            std::vector<uint32_t> rows;
            int y = fitter.firstSourceRow();
            for (int step = 1; y < h; step = step % 16 + 5) {
                const int n = std::min(step, h - y);
                // Spare pixels hold a colour no blend may show.
                rows.assign(size_t(stride) * size_t(n), qRgb(0, 255, 0));
                for (int i = 0; i < n; ++i)
                    for (int x = 0; x < w; ++x)
                        rows[size_t(i) * size_t(stride) + size_t(x)] = source(x, y + i);
                fitter.addRows(y, n, rows.data(), stride);
                y += n;
            }
            EXPECT_TRUE(fitter.done()) << w << "x" << h << " rows " << from << " to " << to;
        };
        fit(target, 0, -1);
        const int half = c.target.height() / 2 + 1;
        fit(shared, 0, half);
        fit(shared, half, c.target.height());
        EXPECT_EQ(shared, target) << w << "x" << h << " to " << target.width() << "x" << target.height();
        int worst = 0;
        for (int ty = 0; ty < target.height(); ++ty)
            for (int tx = 0; tx < target.width(); ++tx) {
                const double sx = std::clamp((tx + 0.5) * w / target.width() - 0.5, 0.0, double(w - 1));
                const double sy = std::clamp((ty + 0.5) * h / target.height() - 0.5, 0.0, double(h - 1));
                const int x0 = int(sx), y0 = int(sy), x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
                const double fx = sx - x0, fy = sy - y0;
                const auto bilinear = [&](int (*channel)(QRgb)) {
                    return (1 - fy) * ((1 - fx) * channel(source(x0, y0)) + fx * channel(source(x1, y0))) +
                           fy * ((1 - fx) * channel(source(x0, y1)) + fx * channel(source(x1, y1)));
                };
                const QRgb p = target.pixel(tx, ty);
                worst = std::max({worst, int(std::abs(qRed(p) - bilinear(qRed))),
                                  int(std::abs(qGreen(p) - bilinear(qGreen))),
                                  int(std::abs(qBlue(p) - bilinear(qBlue))), 255 - qAlpha(p)});
            }
        EXPECT_LE(worst, 3) << w << "x" << h << " to " << target.width() << "x" << target.height();
    }
}

// The decoder fits a reduced picture as it decodes it: the result is the
// picture, as a full decode scaled down shows it.
TEST(Decoders, AReducedJpegIsFittedAsAFullDecodeScaledDownWouldBe)
{
    QImage photo(1600, 1200, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y)
        for (int x = 0; x < photo.width(); ++x)
            photo.setPixel(x, y, qRgb((x * 255) / 1600, (y * 255) / 1200, 128 + int(60 * std::sin(x / 90.0 + y / 70.0))));
    const QByteArray jpg = encode(photo, "JPG", 95);
    for (const QSize drawn : {QSize(700, 525), QSize(350, 262), QSize(533, 400)}) {
        DecodeRequest req;
        req.drawnSize = [drawn](QSize) { return drawn; };
        const auto d = decodePicture("p.jpg", jpg, req);
        ASSERT_EQ(d.image.size(), drawn);
        const QImage reference = photo.scaled(drawn, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        double sum = 0;
        int worst = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x) {
                const QRgb a = d.image.pixel(x, y), b = reference.pixel(x, y);
                const int e = std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                                        std::abs(qBlue(a) - qBlue(b))});
                sum += e;
                worst = std::max(worst, e);
            }
        EXPECT_LT(sum / (drawn.width() * drawn.height()), 2.0) << drawn.width();
        EXPECT_LE(worst, 12) << drawn.width();
    }
}

// Pictures of many megabytes live in memory of their own (large pages on
// Linux): they behave as any QImage, copies included, and a decode into
// them gives the same pixels.
TEST(LargeImage, APictureInLargePagesIsAnOrdinaryPicture)
{
    QImage big = imaging::largeImage(QSize(3001, 2000));
    ASSERT_FALSE(big.isNull());
    EXPECT_EQ(big.format(), QImage::Format_RGB32);
    EXPECT_EQ(big.bytesPerLine(), 3001 * 4);
    big.fill(qRgb(10, 20, 30));
    QImage copy = big;
    copy.setPixel(5, 5, qRgb(200, 0, 0));
    EXPECT_EQ(big.pixel(5, 5), qRgb(10, 20, 30)) << "a copy written to is a copy";
    EXPECT_EQ(copy.pixel(3000, 1999), qRgb(10, 20, 30));
    big = QImage();
    EXPECT_EQ(copy.pixel(5, 5), qRgb(200, 0, 0));
    const QImage odd = imaging::largeImage(QSize(1777, 1333), QImage::Format_Grayscale8);
    EXPECT_EQ(odd.bytesPerLine(), 1780) << "rows padded to 32 bits as QImage pads them";
    EXPECT_TRUE(imaging::largeImage(QSize(0, 10)).isNull());
    EXPECT_EQ(imaging::largeImage(QSize(10, 10)).size(), QSize(10, 10));
}

// The memory of a picture that has gone is handed to the next: never while
// the first is still in use, and never with the first one's pixels in it.
TEST(LargeImage, MemoryGivenBackComesAgainEmptyAndOnlyOnceFree)
{
    const QSize size(1620, 1080);
    const auto allZero = [](const uchar* p, size_t n) { return std::all_of(p, p + n, [](uchar c) { return c == 0; }); };
    for (int round = 0; round < 3; ++round) {
        QImage first = imaging::largeImage(size);
        ASSERT_FALSE(first.isNull());
        first.fill(qRgb(171, 205, 239));
        QImage second = imaging::largeImage(size);
        ASSERT_FALSE(second.isNull());
        EXPECT_NE(second.constBits(), first.constBits()) << "memory in use is not handed out";
        second.fill(Qt::white);
        EXPECT_EQ(first.pixel(800, 500), qRgb(171, 205, 239));
        first = QImage();
        second = QImage();
        const QImage next = imaging::largeImage(size);
        EXPECT_TRUE(allZero(next.constBits(), static_cast<size_t>(next.sizeInBytes())))
            << "an earlier picture shows through, round " << round;
    }
    for (const size_t bytes : {size_t(700'000), size_t(5 << 20)}) {
        {
            imaging::LargeBuffer used(bytes);
            ASSERT_NE(used.data(), nullptr);
            std::memset(used.data(), 0xEE, bytes);
        }
        const imaging::LargeBuffer again(bytes);
        ASSERT_NE(again.data(), nullptr);
        EXPECT_TRUE(allZero(again.data(), bytes)) << bytes;
    }
}

// Kept memory is cut to the size asked for and joined again when its parts
// come back: through a long mix of pictures and buffers of many sizes, no
// two in use ever share a byte, each keeps what was written to it, and each
// comes zeroed.
TEST(LargeImage, KeptMemoryCutAndJoinedIsNeverHandedOutTwice)
{
    struct Held {
        std::unique_ptr<imaging::LargeBuffer> buffer;
        QImage image;
        uint8_t mark = 0;
        const uint8_t* begin() const { return buffer ? buffer->data() : image.constBits(); }
        size_t size() const { return buffer ? buffer->size() : static_cast<size_t>(image.sizeInBytes()); }
    };
    std::vector<Held> held;
    uint32_t seed = 12345;
    const auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 8) & 0xFFFF; };
    for (int step = 0; step < 400; ++step) {
        if (!held.empty() && (next() % 3 == 0 || held.size() > 6)) {
            const size_t gone = next() % held.size();
            const Held& h = held[gone];
            ASSERT_TRUE(std::all_of(h.begin(), h.begin() + h.size(), [&h](uint8_t c) { return c == h.mark; }))
                << "overwritten while in use, step " << step;
            held.erase(held.begin() + static_cast<std::ptrdiff_t>(gone));
            continue;
        }
        Held h;
        h.mark = static_cast<uint8_t>(1 + step % 250);
        // 0.6 to 10.4 MB, and now and then more than is ever kept.
        const size_t bytes = step % 50 == 25 ? size_t(45) << 20 : size_t(600'000) + next() * 150;
        if (step % 2) {
            h.buffer = std::make_unique<imaging::LargeBuffer>(bytes);
            ASSERT_NE(h.buffer->data(), nullptr);
        } else {
            h.image = imaging::largeImage(QSize(1000, static_cast<int>(bytes / 4000)));
            ASSERT_FALSE(h.image.isNull());
        }
        uint8_t* at = h.buffer ? h.buffer->data() : h.image.bits();
        ASSERT_TRUE(std::all_of(at, at + h.size(), [](uint8_t c) { return c == 0; })) << "not zeroed, step " << step;
        for (const Held& other : held)
            ASSERT_TRUE(at + h.size() <= other.begin() || other.begin() + other.size() <= at)
                << "handed out while in use, step " << step;
        std::memset(at, h.mark, h.size());
        held.push_back(std::move(h));
    }
}

// A file's bytes read into large pages, and scratch memory in them: of the
// size asked for, whole, and as any other array or buffer.
TEST(LargeImage, FileBytesAndScratchInLargePagesBehaveAsAnyOther)
{
    for (const qsizetype size : {qsizetype(100), qsizetype(600'000), qsizetype(2'621'441), qsizetype(8 << 20)}) {
        QByteArray bytes = imaging::largeByteArray(size);
        ASSERT_EQ(bytes.size(), size);
        EXPECT_EQ(bytes.constData()[size], '\0') << "terminated as a QByteArray is";
        std::memset(bytes.data(), 0x5A, static_cast<size_t>(size));
        QByteArray copy = bytes;
        copy[size - 1] = 'x';
        EXPECT_EQ(bytes[size - 1], char(0x5A)) << "a copy written to is a copy";
#ifdef __linux__
        if (size >= 600'000) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes.constData()) % (2 << 20), 0u) << size;
        }
#endif
        bytes.append("tail");
        EXPECT_EQ(bytes.size(), size + 4);
        EXPECT_EQ(bytes.right(5), QByteArray("\x5A" "tail", 5));
    }
    for (const size_t size : {size_t(16), size_t(700'000), size_t(3 << 20)}) {
        imaging::LargeBuffer buffer(size);
        ASSERT_NE(buffer.data(), nullptr);
        ASSERT_EQ(buffer.size(), size);
        EXPECT_EQ(buffer.data()[0] | buffer.data()[size / 2] | buffer.data()[size - 1], 0) << "zeroed";
        std::memset(buffer.data(), 1, size);
        imaging::LargeBuffer moved(std::move(buffer));
        EXPECT_EQ(buffer.data(), nullptr);
        EXPECT_EQ(moved.data()[size - 1], 1);
        buffer = std::move(moved);
        EXPECT_EQ(buffer.size(), size);
    }
    EXPECT_EQ(imaging::LargeBuffer(0).data(), nullptr);
}
