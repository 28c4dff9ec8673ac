// The viewer's reads: a file that is no picture file is refused without a
// byte read, and a read that stops answering (a network or FUSE folder) is
// given up so the window's thread goes on.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTransform>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "imaging/decode_budget.h"
#include "metadata/picture_reader.h"
#include "metadata/string_sink.h"
#include "support/photos.h"
#include "support/hostile_folders.h"
#include "viewer/picture_cache.h"
#include "viewer/viewer_logic.h"

namespace {

using testsupport::photo;
using testsupport::psnr;

viewer::PictureRequest request(const QString& path)
{
    viewer::PictureRequest r;
    r.path = path;
    r.area = QSize(800, 600);
    return r;
}

// A read that hangs until released, like a folder whose server went away.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    void release()
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            open = true;
        }
        opened.notify_all();
    }
};

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

void le16(QByteArray& s, uint32_t v) { s.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); }
void le32(QByteArray& s, uint32_t v) { le16(s, v & 0xFFFF), le16(s, v >> 16); }

// A camera's raw file: IFD0 with the model and a sub-IFD whose strip is
// the JPEG preview, then megabytes of sensor data.
QByteArray rawFile(const QByteArray& preview, qsizetype sensorBytes)
{
    const QByteArray model("EOS TEST\0", 9);
    QByteArray t("II*\0", 4);
    le32(t, 8);
    const uint32_t sub = 8 + 2 + 2 * 12 + 4, modelAt = sub + 2 + 3 * 12 + 4, previewAt = modelAt + 9;
    auto entry = [&t](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        le16(t, tag), le16(t, type), le32(t, count), le32(t, value);
    };
    le16(t, 2);
    entry(0x0110, 2, uint32_t(model.size()), modelAt);
    entry(0x014A, 4, 1, sub);
    le32(t, 0);
    le16(t, 3);
    entry(0x0103, 3, 1, 6);
    entry(0x0111, 4, 1, previewAt);
    entry(0x0117, 4, 1, uint32_t(preview.size()));
    le32(t, 0);
    return t + model + preview + QByteArray(sensorBytes, '\x5A');
}

}  // namespace

TEST(PictureLoad, ARawFileIsReadOnlyAsFarAsItsPreviewAndItsExif)
{
    QTemporaryDir dir;
    const QByteArray preview = jpegOf({1600, 1200}, Qt::darkGreen);
    const QString path = dir.filePath(QStringLiteral("IMG_0001.CR2"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(rawFile(preview, 8 << 20));
    f.close();

    const auto read = viewer::loadPicture(request(path), false, nullptr, false);
    ASSERT_FALSE(read->failed);
    EXPECT_EQ(read->fileBytes, preview);  // not the 8 MB of sensor data
    viewer::decodeLoaded(request(path), false, *read);
    ASSERT_FALSE(read->failed);
    EXPECT_EQ(read->picture.fullSize, QSize(1600, 1200));
    EXPECT_EQ(read->picture.image.size(), QSize(800, 600));
    metadata::StringSink sink;
    metadata::ExifBlobRead(read->exif, sink, {});
    EXPECT_NE(std::find(sink.lines.begin(), sink.lines.end(), "機種：EOS TEST"), sink.lines.end());

    // Without a preview big enough (a thumbnail), the whole file is read
    // for the raw data, and the thumbnail is what shows.
    const QString small = dir.filePath(QStringLiteral("IMG_0002.NEF"));
    QFile g(small);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    const QByteArray whole = rawFile(jpegOf({160, 120}, Qt::red), 1 << 20);
    g.write(whole);
    g.close();
    const auto thumb = viewer::loadPicture(request(small), false, nullptr, false);
    EXPECT_EQ(thumb->fileBytes.size(), whole.size());
    viewer::decodeLoaded(request(small), false, *thumb);
    EXPECT_FALSE(thumb->failed);
    EXPECT_EQ(thumb->picture.fullSize, QSize(160, 120));
    EXPECT_FALSE(thumb->exif.empty());
}

TEST(PictureLoad, AFifoADeviceAndAFileAboveItsCapAreRefusedUnread)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    auto at = [&](const char* name) { return dir.filePath(QString::fromLatin1(name)); };
    ASSERT_TRUE(testsupport::writeFile(at("good.jpg"), testsupport::plainJpeg(320, 240)));
    ASSERT_TRUE(testsupport::makeFifo(at("fifo.jpg")));
    ASSERT_TRUE(testsupport::makeLink(QStringLiteral("/dev/zero"), at("zero.jpg")));
    ASSERT_TRUE(testsupport::makeSparseFile(at("huge.jpg"), 64ll << 30));
    ASSERT_TRUE(testsupport::makeSparseFile(at("big.png"), imaging::maxFileBytes(QStringLiteral("x.png")) + 1));

    const auto good = viewer::loadPicture(request(at("good.jpg")));
    EXPECT_FALSE(good->failed);
    EXPECT_EQ(good->picture.fullSize, QSize(320, 240));
    for (const char* name : {"fifo.jpg", "zero.jpg", "huge.jpg", "big.png"}) {
        SCOPED_TRACE(name);
        viewer::LoadProgress progress;
        const auto p = viewer::loadPicture(request(at(name)), false, &progress);
        EXPECT_TRUE(p->failed);
        EXPECT_EQ(progress.bytes.load(), 0) << "nothing is read";
        EXPECT_FALSE(progress.reading.load());
    }
    // A name no reader takes loads nothing and is no failure.
    EXPECT_FALSE(viewer::loadPicture(request(at("note.txt")))->failed);
}

TEST(PictureCache, AReadThatStopsAnsweringIsGivenUpAndTheNextPictureLoads)
{
    auto gate = std::make_shared<Gate>();
    // stuck.jpg hangs; every other picture loads at once.
    viewer::PictureCache cache(64ll << 20, [gate](const viewer::PictureRequest& r, bool, viewer::LoadProgress* p,
                                                  bool) {
        if (r.path.endsWith(QLatin1String("stuck.jpg"))) {
            std::unique_lock<std::mutex> lock(gate->mutex);
            gate->opened.wait(lock, [&] { return gate->open; });
        }
        if (p)
            p->reading.store(false);
        auto out = std::make_shared<viewer::LoadedPicture>();
        out->picture.kind = imaging::PictureKind::Jpeg;
        return out;
    });
    cache.setStallLimit(300);
    int pumped = 0;
    cache.setWaitPump([&] {
        ++pumped;
        return true;
    });

    // Asked for directly: the window's thread waits a bounded time, and is
    // kept alive (pumped) meanwhile.
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(cache.take(request(QStringLiteral("/x/stuck.jpg"))), nullptr);
    EXPECT_LT(t.elapsed(), 5000);  // without the bound this waits for ever
    EXPECT_GT(pumped, 0);
    EXPECT_EQ(cache.abandoned(), 1);
    EXPECT_NE(cache.take(request(QStringLiteral("/x/next.jpg"))), nullptr);

    // Read ahead: the prefetch thread hangs in it; the picture is given up
    // and the next ones, read ahead behind it, still come.
    cache.prefetch(request(QStringLiteral("/y/stuck.jpg")));
    cache.prefetch(request(QStringLiteral("/y/after.jpg")));
    EXPECT_EQ(cache.take(request(QStringLiteral("/y/stuck.jpg"))), nullptr);
    EXPECT_EQ(cache.abandoned(), 2);
    cache.prefetch(request(QStringLiteral("/y/later.jpg")));
    EXPECT_NE(cache.take(request(QStringLiteral("/y/after.jpg"))), nullptr);
    EXPECT_NE(cache.take(request(QStringLiteral("/y/later.jpg"))), nullptr);

    // A pump that says stop (the window closes) ends the wait at once.
    cache.setWaitPump([] { return false; });
    cache.setStallLimit(60000);
    t.restart();
    EXPECT_EQ(cache.take(request(QStringLiteral("/z/stuck.jpg"))), nullptr);
    EXPECT_LT(t.elapsed(), 5000);
    // The hung reads end when the server answers again.
    gate->release();
}

namespace {

QByteArray jpegOf(const QImage& img)
{
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    img.save(&b, "JPEG", 90);
    return out;
}

QByteArray progressiveJpegOf(const QImage& img)
{
    QByteArray out;
    QBuffer b(&out);
    b.open(QIODevice::WriteOnly);
    QImageWriter writer(&b, "JPEG");
    writer.setProgressiveScanWrite(true);
    writer.write(img);
    return out;
}

// The JPEG with an Exif block that says how to turn it.
QByteArray withOrientation(const QByteArray& jpeg, int orientation)
{
    QByteArray tiff("II\x2a\x00\x08\x00\x00\x00", 8);
    tiff += QByteArray("\x01\x00", 2);                      // one entry
    tiff += QByteArray("\x12\x01\x03\x00\x01\x00\x00\x00", 8);  // orientation, SHORT, 1
    tiff += char(orientation);
    tiff += QByteArray("\x00\x00\x00", 3);
    tiff += QByteArray("\x00\x00\x00\x00", 4);  // no next IFD
    const QByteArray body = QByteArray("Exif\x00\x00", 6) + tiff;
    QByteArray app1("\xff\xe1", 2);
    app1 += char((body.size() + 2) >> 8);
    app1 += char((body.size() + 2) & 0xff);
    return jpeg.left(2) + app1 + body + jpeg.mid(2);
}

using testsupport::paddedThumbnail;
using testsupport::withThumbnail;

}  // namespace

TEST(PicturePreview, ACamerasThumbnailIsTheFirstLookWhenItShowsThePictureAtItsShape)
{
    using viewer::FirstLook;
    const QImage img = photo({3000, 2000}, 1);
    const QByteArray jpg = jpegOf(img);
    const viewer::PictureRequest r = request(QStringLiteral("/x/a.jpg"));
    auto look = [&](const QByteArray& file) { return viewer::decodePreview(r, file, nullptr, FirstLook::Thumbnail); };
    // Compared coarsely: a thumbnail's band is cut a pixel or so apart
    // from the picture's own scaling.
    auto like = [](const QImage& shown, const QImage& picture) {
        const QSize coarse(20, std::max(1, 20 * shown.height() / std::max(1, shown.width())));
        return psnr(shown.scaled(coarse, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                    picture.scaled(coarse, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    };

    // Padded with bars to 4:3, as cameras do: the band between them.
    const imaging::DecodedPicture padded = look(withThumbnail(jpg, paddedThumbnail(img)));
    ASSERT_FALSE(padded.isNull());
    EXPECT_EQ(padded.fullSize, QSize(3000, 2000));
    EXPECT_EQ(padded.image.size(), QSize(800, 533)) << "fitted to the drawn size";
    auto rowMean = [](const QImage& image, int y) {
        int sum = 0;
        for (int x = 0; x < image.width(); ++x)
            sum += qGray(image.pixel(x, y));
        return sum / image.width();
    };
    EXPECT_GT(rowMean(padded.image, 0), 40) << "no bar left in";
    EXPECT_GT(rowMean(padded.image, padded.image.height() - 1), 40) << "no bar left in";
    EXPECT_GT(like(padded.image, img), 25.0);
    EXPECT_LT(like(padded.image, photo({3000, 2000}, 2)), 20.0);
    // A tall picture's bars stand left and right.
    const QImage tall = photo({2000, 3000}, 3);
    const imaging::DecodedPicture pillar = look(withThumbnail(jpegOf(tall), paddedThumbnail(tall)));
    ASSERT_FALSE(pillar.isNull());
    EXPECT_EQ(pillar.image.size(), QSize(400, 600));
    EXPECT_GT(like(pillar.image, tall), 25.0);
    // Of the picture's own shape: the whole thumbnail.
    const QImage same = img.scaled(160, 107, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_GT(like(look(withThumbnail(jpg, jpegOf(same))).image, img), 25.0);
    // Turned as the picture will be.
    const imaging::DecodedPicture turned = look(withThumbnail(jpg, paddedThumbnail(img), 6));
    ASSERT_FALSE(turned.isNull());
    EXPECT_EQ(turned.fullSize, QSize(2000, 3000));
    QTransform right;
    right.rotate(90);
    EXPECT_GT(like(turned.image, img.transformed(right)), 25.0);

    // None that would show the picture wrongly, or from outside its block.
    const QImage squeezed = img.scaled(160, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    EXPECT_TRUE(look(withThumbnail(jpg, jpegOf(squeezed))).isNull()) << "squeezed to 4:3";
    QImage grey(160, 120, QImage::Format_RGB32);
    grey.fill(Qt::black);
    QPainter(&grey).drawImage(0, 6, photo({160, 108}, 4));
    QPainter(&grey).fillRect(0, 114, 160, 6, Qt::white);
    EXPECT_TRUE(look(withThumbnail(jpg, jpegOf(grey))).isNull()) << "bars of two colours";
    EXPECT_TRUE(look(jpg).isNull()) << "no thumbnail";
    EXPECT_TRUE(look(withThumbnail(jpg, paddedThumbnail(img), 1, 1000000)).isNull()) << "pointing past its block";
    EXPECT_TRUE(look(withThumbnail(jpg, QByteArray(3000, '\xff'))).isNull()) << "no JPEG";
    EXPECT_TRUE(look(withThumbnail(jpg, paddedThumbnail(img)).left(4000)).isNull()) << "a cut file";
}

TEST(PicturePreview, AnEighthScaleFirstLookOfTheSamePictureTurnedAsItsExifSays)
{
    const QImage img = photo({3000, 2000}, 1);
    const QByteArray jpg = jpegOf(img);
    viewer::PictureRequest r = request(QStringLiteral("/x/a.jpg"));  // 800x600: the picture at 1/2
    const imaging::DecodedPicture look = viewer::decodePreview(r, jpg);
    ASSERT_FALSE(look.isNull());
    EXPECT_EQ(look.fullSize, QSize(3000, 2000));
    EXPECT_EQ(look.scaleDenom, 8);
    EXPECT_EQ(look.image.size(), QSize(800, 533)) << "fitted to the drawn size";
    // Made of the blocks' mean values, colour means over 16 x 16 pixels
    // included (libjpeg's own 1/8 scale, 1.5 dB nearer, was twice as slow).
    EXPECT_GT(psnr(look.image, img), 19.0);
    EXPECT_LT(psnr(look.image, photo({3000, 2000}, 2)), 16.0) << "another picture is told apart";

    // Turned as the viewer turns the picture: 6 is a quarter right.
    const imaging::DecodedPicture turned = viewer::decodePreview(r, withOrientation(jpg, 6));
    ASSERT_FALSE(turned.isNull());
    EXPECT_EQ(turned.fullSize, QSize(2000, 3000));
    QTransform right;
    right.rotate(90);
    EXPECT_GT(psnr(turned.image, img.transformed(right)), 19.0);
    EXPECT_EQ(viewer::decodePreview(r, withOrientation(jpg, 3)).fullSize, QSize(3000, 2000));

    // None where it would be no quicker or not a first look of the picture.
    EXPECT_TRUE(viewer::decodePreview(request(QStringLiteral("/x/small.jpg")), jpegOf(photo({1800, 1200}, 1))).isNull())
        << "a small picture is decoded whole as quickly";
    EXPECT_TRUE(viewer::decodePreview(request(QStringLiteral("/x/a.png")), jpg).isNull());
    EXPECT_TRUE(viewer::decodePreview(r, jpg.left(jpg.size() / 2)).isNull()) << "a cut file gives no first look";
    viewer::PictureRequest oneToOne = r;
    oneToOne.proportional = false;
    EXPECT_TRUE(viewer::decodePreview(oneToOne, jpg).isNull());
    // A picture decoded at 1/4 gets a look of its blocks' means, which
    // comes in half the decode's time; libjpeg's 1/8 scale would come barely
    // sooner than the decode, so a progressive file gets none.
    const QImage wide = photo({4000, 2800}, 3);
    EXPECT_FALSE(viewer::decodePreview(r, jpegOf(wide)).isNull());
    EXPECT_TRUE(viewer::decodePreview(r, progressiveJpegOf(wide)).isNull());
    // A decode told to stop stops.
    std::atomic<bool> cancel{true};
    EXPECT_TRUE(viewer::decodePreview(r, jpg, &cancel).isNull());
    imaging::DecodeRequest dr;
    dr.cancel = &cancel;
    EXPECT_THROW(imaging::decodePicture(QStringLiteral("a.jpg"), jpg, dr), imaging::DecodeError);
}

TEST(PictureCache, AFirstLookComesBeforeThePictureAndThePictureIsTodaysDecode)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("a.jpg"));
    const QByteArray jpg = jpegOf(photo({2400, 1800}, 3));
    ASSERT_TRUE(testsupport::writeFile(path, jpg));
    // The picture is held back until its first look has been handed on,
    // as a 24-megapixel decode would be.
    std::atomic<bool> looked{false};
    viewer::PictureCache cache(64ll << 20, [&](const viewer::PictureRequest& r, bool full, viewer::LoadProgress* p,
                                               bool decode) {
        auto out = viewer::loadPicture(r, full, p, decode);
        for (int i = 0; i < 500 && !looked.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return out;
    });
    std::vector<imaging::DecodedPicture> looks;
    const auto sink = [&](const imaging::DecodedPicture& p) {
        looks.push_back(p);
        looked.store(true);
    };
    const auto loaded = cache.take(request(path), sink);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(looks.size(), 1u);
    EXPECT_EQ(looks[0].fullSize, QSize(2400, 1800));
    EXPECT_GT(psnr(looks[0].image, loaded->picture.image), 19.0);
    // The picture itself is exactly what the decode without a first look gives.
    imaging::DecodeRequest dr;
    dr.drawnSize = [](QSize full) { return viewer::drawnSize(QSize(800, 600), full, true, false); };
    const imaging::DecodedPicture today = imaging::decodePicture(path, jpg, dr);
    EXPECT_EQ(loaded->picture.image, today.image);
    EXPECT_EQ(loaded->picture.scaleDenom, 2);

    // Taken from the cache, or with first looks off, none comes.
    looks.clear();
    looked.store(true);
    EXPECT_NE(cache.take(request(path), sink), nullptr);
    cache.clear();
    cache.setPreviewEnabled(false);
    EXPECT_NE(cache.take(request(path), sink), nullptr);
    EXPECT_TRUE(looks.empty());

    // A camera's thumbnail of the picture's shape is the first look, and
    // the only one: the 1/8 scale would come little before the picture.
    cache.clear();
    cache.setPreviewEnabled(true);
    const QString camera = dir.filePath(QStringLiteral("b.jpg"));
    const QImage b = photo({2400, 1800}, 5);
    ASSERT_TRUE(testsupport::writeFile(camera, withThumbnail(jpegOf(b), jpegOf(b.scaled(160, 120)))));
    looks.clear();
    looked.store(false);
    ASSERT_NE(cache.take(request(camera), sink), nullptr);
    ASSERT_EQ(looks.size(), 1u);
    EXPECT_EQ(looks[0].image.size(), QSize(800, 600)) << "brought to the drawn size off the window's thread";
    EXPECT_NE(looks[0].scaleDenom, 8);
    EXPECT_GT(psnr(looks[0].image.scaled(20, 15, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                   b.scaled(20, 15, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)),
              25.0);

    // The thumbnail's look is made from the file's first segments while the
    // rest is read; where those do not reach the picture's frame (large
    // segments between), it is made once the whole file is in.
    const QByteArray withThumb = withThumbnail(jpegOf(b), jpegOf(b.scaled(160, 120)));
    const int afterApp1 = 4 + ((uchar(withThumb[4]) << 8) | uchar(withThumb[5]));
    QByteArray padding;
    for (int i = 0; i < 6; ++i)
        padding += QByteArray("\xff\xe2\xea\x62", 4) + QByteArray(60000, char('a' + i));  // 60,000-byte segments
    const QString farFrame = dir.filePath(QStringLiteral("c.jpg"));
    ASSERT_TRUE(testsupport::writeFile(farFrame, withThumb.left(afterApp1) + padding + withThumb.mid(afterApp1)));
    for (const QString& path : {camera, farFrame}) {
        cache.clear();
        looks.clear();
        looked.store(false);
        const auto shown = cache.take(request(path), sink);
        ASSERT_NE(shown, nullptr);
        EXPECT_FALSE(shown->failed) << path.toStdString();
        ASSERT_EQ(looks.size(), 1u) << path.toStdString();
        EXPECT_EQ(looks[0].image.size(), QSize(800, 600));
        EXPECT_NE(looks[0].scaleDenom, 8) << "the thumbnail, not the 1/8 scale";
    }
}

TEST(PictureCache, AGivenUpLoadStopsAndAJumpDropsTheDecodesAhead)
{
    // Every load runs until it is told to stop (or five seconds pass); the
    // log outlives the test for the loads still winding down.
    struct Log {
        std::mutex mutex;
        QStringList started, stopped;
    };
    const auto log = std::make_shared<Log>();
    std::mutex& mutex = log->mutex;
    QStringList& started = log->started;
    QStringList& stopped = log->stopped;
    viewer::PictureCache cache(64ll << 20, [log](const viewer::PictureRequest& r, bool, viewer::LoadProgress* p, bool) {
        {
            std::lock_guard<std::mutex> lock(log->mutex);
            log->started << r.path;
        }
        p->reading.store(false);
        auto out = std::make_shared<viewer::LoadedPicture>();
        out->picture.kind = imaging::PictureKind::Jpeg;
        for (int i = 0; i < 500 && !p->cancelled.load(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (p->cancelled.load()) {
            std::lock_guard<std::mutex> lock(log->mutex);
            log->stopped << r.path;
            out->failed = true;
        }
        return out;
    });
    auto wasStopped = [&](const QString& path) {
        for (int i = 0; i < 300; ++i) {
            {
                std::lock_guard<std::mutex> lock(mutex);
                if (stopped.contains(path))
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    };
    // The waiter gives up (a newer jump): the load is told to stop.
    cache.setWaitPump([] { return false; });
    EXPECT_EQ(cache.take(request(QStringLiteral("/x/a.jpg"))), nullptr);
    EXPECT_TRUE(wasStopped(QStringLiteral("/x/a.jpg")));
    EXPECT_EQ(cache.cancelled(), 1);

    // A jump: the decode running ahead stops, the one queued never starts,
    // and neither leaves a failure in the cache.
    cache.prefetch(request(QStringLiteral("/x/next.jpg")));
    cache.prefetch(request(QStringLiteral("/x/back.jpg")));
    for (int i = 0; i < 300; ++i) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (started.contains(QStringLiteral("/x/next.jpg")))
                break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // The picture jumped to goes on decoding.
    cache.cancelAhead(QStringLiteral("/x/next.jpg"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_FALSE(stopped.contains(QStringLiteral("/x/next.jpg")));
    }
    cache.cancelAhead();
    EXPECT_TRUE(wasStopped(QStringLiteral("/x/next.jpg")));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    {
        std::lock_guard<std::mutex> lock(mutex);
        EXPECT_FALSE(started.contains(QStringLiteral("/x/back.jpg")));
    }
    EXPECT_EQ(cache.cachedBytes(), 0);
    int pumps = 0;
    cache.setWaitPump([&] { return ++pumps < 3; });
    EXPECT_EQ(cache.take(request(QStringLiteral("/x/next.jpg"))), nullptr) << "loaded again, not the stopped result";
    EXPECT_GE(pumps, 3);
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(started.count(QStringLiteral("/x/next.jpg")), 2);
}

TEST(PictureCache, TodaysFormatsAreDecodedAheadLikeJpegsButNotMetafilesOrIcons)
{
    // A show of HEIC or raw files waited for every picture at each advance
    // while only the formats of old were taken ahead.
    for (const char* name : {"a.jpg", "a.png", "a.gif", "a.bmp", "a.HEIC", "a.avif", "a.webp", "a.jxl", "a.CR2",
                             "a.cr3", "a.nef", "a.rw2", "a.dng"})
        EXPECT_TRUE(viewer::prefetchable(QString::fromLatin1(name))) << name;
    for (const char* name : {"a.wmf", "a.emf", "a.ico", "a.txt"})
        EXPECT_FALSE(viewer::prefetchable(QString::fromLatin1(name))) << name;
}
