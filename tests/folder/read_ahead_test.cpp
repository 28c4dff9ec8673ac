// The pool that reads files ahead of the folder window and the search: the
// taker sees every result in list order, whatever order the threads finish in.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

#include "folder/read_ahead.h"

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
