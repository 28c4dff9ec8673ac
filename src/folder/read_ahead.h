#pragma once
// Reads of many small files on a few threads ahead of the caller, who takes
// the results one by one in list order on its own thread (and so keeps its
// progress bar and event handling as they were). A folder not yet in the
// system's cache costs one disk wait per file when read one after another;
// with a dozen reads under way the disk serves them together.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace order {

// Enough reads under way to keep a disk's queue full (a folder not in the
// cache read fastest with 64 here); the work of each is small.
inline constexpr int kReadThreads = 64;

template <class Result>
class ReadAhead {
public:
    // work(i) runs once for every i in [0, count), on the pool's threads;
    // it must not touch widgets or shared state. An exception gives a
    // default Result.
    ReadAhead(size_t count, std::function<Result(size_t)> work, int threads = kReadThreads)
        : work_(std::move(work)), count_(count), results_(count), ready_(new std::atomic<bool>[count])
    {
        for (size_t i = 0; i < count; ++i)
            ready_[i].store(false, std::memory_order_relaxed);
        // A handful of files is not worth a thread each.
        const size_t n = std::min<size_t>(static_cast<size_t>(std::max(threads, 1)), (count + 3) / 4);
        threads_.reserve(n);
        for (size_t t = 0; t < n; ++t)
            threads_.emplace_back([this] { run(); });
        if (n == 0)
            for (size_t i = 0; i < count; ++i)
                produce(i);
    }
    ~ReadAhead()
    {
        stop_.store(true);
        for (std::thread& t : threads_)
            t.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Waits for entry i and hands its result over; each i is taken once.
    Result take(size_t i)
    {
        if (!ready_[i].load()) {
            std::unique_lock<std::mutex> lock(mutex_);
            waitingFor_.store(i);
            done_.wait(lock, [&] { return ready_[i].load(); });
            waitingFor_.store(kNobody);
        }
        Result r = std::move(*results_[i]);
        results_[i].reset();
        return r;
    }

private:
    static constexpr size_t kNobody = static_cast<size_t>(-1);

    void run()
    {
        for (;;) {
            const size_t i = next_.fetch_add(1);
            if (i >= count_ || stop_.load())
                return;
            produce(i);
        }
    }
    void produce(size_t i)
    {
        try {
            results_[i].emplace(work_(i));
        } catch (...) {
            results_[i].emplace();
        }
        ready_[i].store(true);
        // Wake the taker only when it waits for this very entry.
        if (waitingFor_.load() == i) {
            { std::lock_guard<std::mutex> lock(mutex_); }
            done_.notify_one();
        }
    }

    std::function<Result(size_t)> work_;
    const size_t count_;
    std::vector<std::optional<Result>> results_;
    std::unique_ptr<std::atomic<bool>[]> ready_;
    std::atomic<size_t> next_{0};
    std::atomic<size_t> waitingFor_{kNobody};
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable done_;
    std::vector<std::thread> threads_;
};

}  // namespace order
