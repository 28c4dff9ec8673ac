// The viewer's reads: a file that is no picture file is refused without a
// byte read, and a read that stops answering (a network or FUSE folder) is
// given up so the window's thread goes on.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <condition_variable>
#include <mutex>

#include "imaging/decode_budget.h"
#include "metadata/picture_reader.h"
#include "metadata/string_sink.h"
#include "support/hostile_folders.h"
#include "viewer/picture_cache.h"

namespace {

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
