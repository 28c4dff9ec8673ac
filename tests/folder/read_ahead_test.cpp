// The pool that reads files ahead of the folder window and the search: the
// taker sees every result in list order, whatever order the threads finish
// in, and never waits for ever.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include "folder/buffered_file.h"
#include "folder/display_order.h"
#include "folder/read_ahead.h"
#include "search/search_match.h"
#include "support/hostile_folders.h"

TEST(ReadAhead, ResultsArriveInListOrderWhateverTheThreadsDo)
{
    for (size_t count : {0u, 1u, 3u, 257u}) {
        SCOPED_TRACE(count);
        // Early entries take longest, so later ones are done first; every
        // fifth throws and gives the default result.
        order::ReadAhead<std::string> reads(count, [&](size_t i) {
            if (i < 8)
                std::this_thread::sleep_for(std::chrono::milliseconds(8 - i));
            if (i % 5 == 4)
                throw std::runtime_error("unreadable");
            return std::to_string(i);
        }, 4);
        for (size_t i = 0; i < count; ++i)
            EXPECT_EQ(reads.take(i), i % 5 == 4 ? std::string() : std::to_string(i));
    }
}

// While the files come from the cache a few threads read; once reads wait
// for the disk the rest join them, and the question is let go (reads are
// timed only while it is kept).
TEST(ReadAhead, AFewThreadsReadFromTheCacheAndMoreOnceReadsWaitForTheDisk)
{
    for (const bool turnsCold : {false, true}) {
        SCOPED_TRACE(turnsCold);
        std::atomic<int> running{0}, most{0};
        std::atomic<bool> cold{false};
        const auto asked = std::make_shared<int>(0);
        order::ReadAhead<int> reads(
            400,
            [&](size_t i) {
                const int now = ++running;
                for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                if (turnsCold && i == 20)
                    cold.store(true);
                --running;
                return static_cast<int>(i);
            },
            32, [&, asked] { return cold.load(); });
        for (size_t i = 0; i < 400; ++i)
            ASSERT_EQ(reads.take(i), static_cast<int>(i));
        if (turnsCold) {
            EXPECT_GT(most.load(), order::kWarmReadThreads * 2);
            EXPECT_EQ(asked.use_count(), 1);
        } else {
            EXPECT_LE(most.load(), order::kWarmReadThreads);
            EXPECT_EQ(asked.use_count(), 2);
        }
    }
}

TEST(ReadAhead, LeavingEarlyStopsTheThreads)
{
    // A taker that stops halfway (an error in the caller) must not hang.
    std::atomic<int> done{0};
    {
        order::ReadAhead<int> reads(10000, [&](size_t i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++done;
            return static_cast<int>(i);
        });
        EXPECT_EQ(reads.take(0), 0);
    }
    EXPECT_LT(done.load(), 10000);
}

TEST(ReadAhead, AReadThatNeverReturnsIsGivenUpAndTheOthersStillCome)
{
    // Entry 3 hangs until released, like a file on a server that went away;
    // the taker gives it up once no read has finished for the stall limit.
    auto release = std::make_shared<std::atomic<bool>>(false);
    QElapsedTimer t;
    t.start();
    {
        order::ReadAhead<std::string> reads(40, [release](size_t i) {
            while (i == 3 && !release->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return std::to_string(i);
        }, 4);
        reads.setStallLimit(300);
        for (size_t i = 0; i < 40; ++i)
            EXPECT_EQ(reads.take(i), i == 3 ? std::string() : std::to_string(i));
        EXPECT_EQ(reads.abandoned(), 1u);
    }
    // The pool ended without waiting for the hung read.
    EXPECT_LT(t.elapsed(), 5000);  // without the bound the taker waits for ever
    release->store(true);

    // Every thread stuck: each later entry is given up at once, not after a
    // stall limit of its own; a pump that says stop gives up at once too.
    auto hold = std::make_shared<std::atomic<bool>>(false);
    t.restart();
    {
        order::ReadAhead<int> reads(400, [hold](size_t i) {
            while (!hold->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return static_cast<int>(i) + 1;
        }, 8);
        reads.setStallLimit(300);
        for (size_t i = 0; i < 400; ++i)
            EXPECT_EQ(reads.take(i), 0);
        EXPECT_EQ(reads.abandoned(), 400u);
    }
    EXPECT_LT(t.elapsed(), 5000);
    {
        order::ReadAhead<int> reads(10, [hold](size_t) {
            while (!hold->load())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            return 1;
        }, 2);
        reads.setWaitPump([] { return false; });
        EXPECT_EQ(reads.take(0), 0);
    }
    hold->store(true);
}

TEST(ReadAhead, TheDateAndSearchReadersRefuseAFifoAndADeviceAtOnce)
{
    // A plain open of a FIFO waits for a writer for ever.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fifo = dir.filePath(QStringLiteral("fifo.jpg")), zero = dir.filePath(QStringLiteral("zero.jpg"));
    ASSERT_TRUE(testsupport::makeFifo(fifo));
    ASSERT_TRUE(testsupport::makeLink(QStringLiteral("/dev/zero"), zero));
    const order::Folder folder(order::nativePath(dir.path()));
    for (const QString& path : {fifo, zero}) {
        order::BufferedFile file(path);
        EXPECT_FALSE(file.isOpen()) << path.toStdString();
        EXPECT_EQ(order::ShotDateBytes(order::nativePath(path)), std::string());
        EXPECT_FALSE(search::matchPicture(path, search::Conditions{}).opened);
        // And opened by name in the folder, as the orders and the search do.
        const order::NativePath name = order::nativeName(QFileInfo(path).fileName());
        EXPECT_FALSE(order::BufferedFile(folder, name).isOpen());
        EXPECT_FALSE(search::matchPicture(folder, name, search::Conditions{}).opened);
        // Asking for it ahead returns at once too.
        folder.hint(name);
    }
}

// Once reads wait for the disk, every entry is asked for once, well before
// its read begins, by the pool's own threads.
TEST(ReadAhead, FilesAheadAreAskedForOnceReadsWaitForTheDisk)
{
    constexpr size_t kCount = 2000;
    std::atomic<bool> cold{false};
    std::unique_ptr<std::atomic<int>[]> asked(new std::atomic<int>[kCount]);
    std::unique_ptr<std::atomic<bool>[]> askedFirst(new std::atomic<bool>[kCount]);
    for (size_t i = 0; i < kCount; ++i) {
        asked[i] = 0;
        askedFirst[i] = false;
    }
    const auto taker = std::this_thread::get_id();
    std::atomic<int> onTaker{0};
    order::ReadAhead<int> reads(
        kCount,
        [&](size_t i) {
            askedFirst[i] = asked[i].load() > 0;
            if (i == 10)
                cold.store(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            return static_cast<int>(i);
        },
        order::kReadThreads, [&] { return cold.load(); });
    reads.setHint([&](size_t j) {
        ++asked[j];
        if (std::this_thread::get_id() == taker)
            ++onTaker;
    });
    for (size_t i = 0; i < kCount; ++i)
        ASSERT_EQ(reads.take(i), static_cast<int>(i));
    size_t before = 0;
    for (size_t i = 0; i < kCount; ++i) {
        EXPECT_LE(asked[i].load(), 1) << i;
        // The first window is asked for as one run, which the reads may
        // overtake; beyond it each entry is asked for as the one a window
        // before it begins.
        if (i >= 2 * order::kHintDistance) {
            EXPECT_EQ(asked[i].load(), 1) << i;
            before += askedFirst[i].load() ? 1 : 0;
        }
    }
    EXPECT_EQ(before, kCount - 2 * order::kHintDistance);
    EXPECT_EQ(onTaker.load(), 0);

    // A folder in the cache is not asked for.
    std::atomic<int> warmAsked{0};
    order::ReadAhead<int> warm(400, [](size_t i) { return static_cast<int>(i); }, order::kReadThreads,
                               [] { return false; });
    warm.setHint([&](size_t) { ++warmAsked; });
    for (size_t i = 0; i < 400; ++i)
        ASSERT_EQ(warm.take(i), static_cast<int>(i));
    EXPECT_EQ(warmAsked.load(), 0);
}
