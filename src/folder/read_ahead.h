#pragma once
// Reads of many small files on a few threads ahead of the caller, who takes
// the results one by one in list order on its own thread (and so keeps its
// progress bar and event handling as they were). A folder not yet in the
// system's cache costs one disk wait per file when read one after another;
// with a dozen reads under way the disk serves them together.
//
// The caller never waits unbounded: a read that does not return (a network
// or FUSE folder that stopped answering) is given up once no read at all
// has finished for a while, and the threads stuck in it are let go when the
// pool ends. So work must own what it uses (capture by value): it may run
// on after the pool and its caller are gone.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace order {

// Threads once reads wait for the disk. With the files ahead asked for
// (setHint) the disk's queue stays full without a thread blocked on each
// read: a folder not in the cache read fastest with 16 here (64 threads
// without the hints took a fifth longer, 64 with them a tenth).
inline constexpr int kReadThreads = 16;
// How far ahead of the files begun the files are asked for.
inline constexpr size_t kHintDistance = 256;
// While the files come from the system's cache a few threads keep two
// cores busy; sixty more cost their start and their switching (a warm
// date order of 10,000 files took 1.1 times as long with 64 as with 4).
inline constexpr int kWarmReadThreads = 4;
// No read finished for this long: the reads still under way are given up.
// A disk that spins up answers well within it.
inline constexpr int kReadStallMs = 5000;

template <class Result>
class ReadAhead {
public:
    // work(i) runs once for every i in [0, count), on the pool's threads;
    // it must not touch widgets or shared state. An exception gives a
    // default Result. With waitsForDisk, only kWarmReadThreads start while
    // it says no, and the rest once it says yes; without, all at once.
    ReadAhead(size_t count, std::function<Result(size_t)> work, int threads = kReadThreads,
              std::function<bool()> waitsForDisk = {})
        // A handful of files is not worth a thread each.
        : most_(std::min<size_t>(static_cast<size_t>(std::max(threads, 1)), (count + 3) / 4)),
          s_(std::make_shared<Shared>(count, most_, std::move(work))),
          waitsForDisk_(std::move(waitsForDisk))
    {
        threads_.reserve(most_);
        if (most_ == 0)
            for (size_t i = 0; i < count; ++i)
                produce(*s_, i, s_->counters[0]);
        startThreads(waitsForDisk_ && !waitsForDisk_() ? std::min<size_t>(most_, kWarmReadThreads) : most_);
        forgetWhenAllStarted();
    }
    ~ReadAhead()
    {
        std::unique_lock<std::mutex> lock(s_->mutex);
        s_->stop.store(true);
        // Reads under way finish in a moment; one that hangs is let go.
        const bool ended = s_->exited.wait_for(lock, std::chrono::milliseconds(100), [&] { return s_->running == 0; });
        lock.unlock();
        for (std::thread& t : threads_) {
            if (ended)
                t.join();
            else
                t.detach();
        }
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Called every 50 ms while take waits; false gives the wait up (the end
    // of the program was asked for).
    void setWaitPump(std::function<bool()> pump) { pump_ = std::move(pump); }
    // Once reads wait for the disk (or from the start, without the question
    // of the constructor), hint(j) runs on the pool's threads once for each
    // entry j up to distance ahead of the entries begun, before work(j): it
    // asks the system to bring in what work(j) will read, without waiting.
    // Like work, it must own what it uses. Set it before the first take.
    void setHint(std::function<void(size_t)> hint, size_t distance = kHintDistance)
    {
        std::lock_guard<std::mutex> lock(s_->mutex);
        s_->hint = std::move(hint);
        s_->hintDistance = distance;
        if (s_->hint && !waitsForDisk_ && threads_.size() >= most_)
            s_->hinting.store(true);
    }
    void setStallLimit(int ms) { stallMs_ = ms; }
    // How many entries were given up.
    size_t abandoned() const { return abandoned_; }

    // Starts the rest of the threads once reads wait for the disk. take
    // does so itself; a caller that turns to other work between takes
    // calls it first.
    void keepUp()
    {
        if (threads_.size() < most_ && waitsForDisk_ && waitsForDisk_()) {
            startThreads(most_);
            forgetWhenAllStarted();
        }
    }

    // Waits for entry i and hands its result over; each i is taken once.
    // A default Result when the entry was given up.
    Result take(size_t i)
    {
        Shared& s = *s_;
        Slot& slot = s.entries[i];
        if (!slot.ready.load())
            keepUp();
        if (!slot.ready.load()) {
            using Clock = std::chrono::steady_clock;
            std::unique_lock<std::mutex> lock(s.mutex);
            s.waitingFor.store(i);
            for (bool goOn = true;;) {
                // Nothing finished for the stall limit (every thread stuck,
                // or this entry's read): given up, without another wait.
                const auto now = Clock::now();
                if (const size_t finished = s.finished(); finished != finishedSeen_) {
                    finishedSeen_ = finished;
                    lastProgress_ = now;
                }
                if (!goOn || now - lastProgress_ > std::chrono::milliseconds(stallMs_)) {
                    s.waitingFor.store(kNobody);
                    ++abandoned_;
                    return Result();
                }
                if (s.done.wait_for(lock, std::chrono::milliseconds(50), [&] { return slot.ready.load(); }))
                    break;
                lock.unlock();
                goOn = !pump_ || pump_();
                keepUp();
                lock.lock();
                if (slot.ready.load())
                    break;
            }
            s.waitingFor.store(kNobody);
        }
        Result r = std::move(*slot.result);
        slot.result.reset();
        return r;
    }

private:
    static constexpr size_t kNobody = static_cast<size_t>(-1);

    // With every thread started the question is answered: let it go (the
    // reads are no longer timed for it), and ask for the files ahead.
    void forgetWhenAllStarted()
    {
        if (threads_.size() >= most_) {
            waitsForDisk_ = nullptr;
            std::lock_guard<std::mutex> lock(s_->mutex);
            if (s_->hint)
                s_->hinting.store(true);
        }
    }

    // Up to n threads in all.
    void startThreads(size_t n)
    {
        while (threads_.size() < n) {
            {
                std::lock_guard<std::mutex> lock(s_->mutex);
                ++s_->running;
            }
            try {
                threads_.emplace_back([s = s_, n = threads_.size()] { run(*s, s->counters[n]); });
            } catch (...) {
                // No more threads to be had: those running do the rest.
                std::lock_guard<std::mutex> lock(s_->mutex);
                --s_->running;
                most_ = threads_.size();
                if (most_ == 0)
                    throw;
                break;
            }
        }
    }


    // Everything the threads touch, kept alive by them. What one thread
    // writes for every file lies on cache lines of its own: entries next to
    // each other are read on different threads, and a line passed to and
    // fro between the cores for each file cost more than the file's parse.
    struct alignas(64) Slot {
        std::atomic<bool> ready{false};
        std::optional<Result> result;
    };
    struct alignas(64) Counter {
        std::atomic<size_t> finished{0};
    };
    struct Shared {
        Shared(size_t count, size_t threads, std::function<Result(size_t)> w)
            : work(std::move(w)), count(count), entries(new Slot[count]), counters(new Counter[std::max<size_t>(threads, 1)]),
              threads(std::max<size_t>(threads, 1))
        {
        }
        // Reads finished so far, on all threads.
        size_t finished() const
        {
            size_t n = 0;
            for (size_t t = 0; t < threads; ++t)
                n += counters[t].finished.load(std::memory_order_relaxed);
            return n;
        }
        std::function<Result(size_t)> work;
        const size_t count;
        std::unique_ptr<Slot[]> entries;
        std::unique_ptr<Counter[]> counters;
        const size_t threads;
        // Asked for the files ahead: hint and hintDistance are set under
        // mutex before hinting turns true, and not changed after.
        std::function<void(size_t)> hint;
        size_t hintDistance = 0;
        std::atomic<bool> hinting{false};
        alignas(64) std::atomic<size_t> hintedTo{0};  // entries below were asked for
        alignas(64) std::atomic<size_t> next{0};
        alignas(64) std::atomic<size_t> waitingFor{kNobody};
        std::atomic<bool> stop{false};
        std::mutex mutex;
        std::condition_variable done;
        std::condition_variable exited;
        size_t running = 0;  // threads not yet ended (under mutex)
    };

    static void run(Shared& s, Counter& counter)
    {
        for (;;) {
            const size_t i = s.next.fetch_add(1);
            if (i >= s.count || s.stop.load())
                break;
            if (s.hinting.load())
                askAhead(s, i);
            produce(s, i, counter);
        }
        std::lock_guard<std::mutex> lock(s.mutex);
        if (--s.running == 0)
            s.exited.notify_all();
    }
    // Asks for the entries from i up to the distance ahead that no thread
    // asked for yet; each range is claimed by one thread.
    static void askAhead(Shared& s, size_t i)
    {
        const size_t to = std::min(s.count, i + 1 + s.hintDistance);
        size_t from = s.hintedTo.load();
        while (from < to && !s.hintedTo.compare_exchange_weak(from, to)) {
        }
        for (size_t j = std::max(from, i); j < to && !s.stop.load(); ++j) {
            try {
                s.hint(j);
            } catch (...) {
                // Only a hint: the read itself tells.
            }
        }
    }

    static void produce(Shared& s, size_t i, Counter& counter)
    {
        Slot& slot = s.entries[i];
        try {
            slot.result.emplace(s.work(i));
        } catch (...) {
            slot.result.emplace();
        }
        slot.ready.store(true);
        counter.finished.store(counter.finished.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
        // Wake the taker only when it waits for this very entry.
        if (s.waitingFor.load() == i) {
            { std::lock_guard<std::mutex> lock(s.mutex); }
            s.done.notify_one();
        }
    }

    size_t most_ = 0;
    std::shared_ptr<Shared> s_;
    std::function<bool()> waitsForDisk_;
    std::vector<std::thread> threads_;
    std::function<bool()> pump_;
    int stallMs_ = kReadStallMs;
    size_t abandoned_ = 0;
    // The taker's view of the threads' progress, for the stall limit.
    size_t finishedSeen_ = 0;
    std::chrono::steady_clock::time_point lastProgress_ = std::chrono::steady_clock::now();
};

}  // namespace order
