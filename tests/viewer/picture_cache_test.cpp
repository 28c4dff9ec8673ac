// The viewer's reads: a file that is no picture file is refused without a
// byte read, and a read that stops answering (a network or FUSE folder) is
// given up so the window's thread goes on.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <condition_variable>
#include <mutex>

#include "imaging/decode_budget.h"
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

}  // namespace

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
