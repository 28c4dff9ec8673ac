#include "folder/buffered_file.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>

#include "platform/file_names.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace order {

namespace {

// The first read takes what the segment walk needs for almost every camera
// file; the kept part never grows beyond what the walks may look at.
constexpr int64_t kKeptLimit = 128 * 1024;

#ifndef _WIN32
// A read that took this long waited for the disk.
constexpr int64_t kDiskWaitNs = 150'000;
// How many opens and reads have waited for the disk so far.
std::atomic<uint64_t> diskWaits{0};
// Opens and reads are timed only while a pool asks whether its reads wait
// for the disk; a clock and a usage count asked for every file, on every
// reading thread, cost a cold folder's reads a twentieth of their time.
std::atomic<int> listening{0};
// Counts the times listening began; a thread's usage count taken in an
// earlier time is taken again first.
std::atomic<uint32_t> listeningSince{0};

int64_t nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

#ifdef RUSAGE_THREAD
// Blocks this thread has read from a disk; -1 when that is not told.
long blocksRead()
{
    struct rusage usage {};
    return ::getrusage(RUSAGE_THREAD, &usage) == 0 ? usage.ru_inblock : -1;
}
#endif

// This thread's count when it last asked, taken afresh as it opens its
// first file while a pool listens (the main thread's count also holds what
// the program's start read, and blocks read while nobody listened are no
// answer to a pool that asks now).
struct BlocksSeen {
    long count = 0;
    uint32_t since = static_cast<uint32_t>(-1);
};
thread_local BlocksSeen blocksSeen;

// Whether this open or read is to be timed; if so, the thread's count is
// brought up to the time that listens now.
bool timing()
{
    if (listening.load(std::memory_order_relaxed) == 0)
        return false;
#ifdef RUSAGE_THREAD
    const uint32_t since = listeningSince.load(std::memory_order_relaxed);
    if (blocksSeen.since != since) {
        blocksSeen.count = blocksRead();
        blocksSeen.since = since;
    }
#endif
    return true;
}

// Whether this thread read blocks from a disk since it last asked. A slow
// call may only have waited for a core (two cores, many threads): it waited
// for the disk when the system counts blocks read for it.
bool blocksReadSince()
{
#ifdef RUSAGE_THREAD
    const long now = blocksRead();
    if (now < 0)
        return true;
    const bool read = now > blocksSeen.count;
    blocksSeen.count = now;
    return read;
#else
    return true;
#endif
}

void noteDuration(int64_t since)
{
    const int64_t now = nowNs();
    if (now - since >= kDiskWaitNs && blocksReadSince())
        diskWaits.fetch_add(1, std::memory_order_relaxed);
}
#endif

int64_t osRead(int fd, void* dest, int64_t n)
{
#ifdef _WIN32
    const int got = ::_read(fd, dest, static_cast<unsigned>(n));
#else
    const ssize_t got = ::read(fd, dest, static_cast<size_t>(n));
#endif
    return got < 0 ? 0 : static_cast<int64_t>(got);
}

bool osSeek(int fd, int64_t at)
{
#ifdef _WIN32
    return ::_lseeki64(fd, at, SEEK_SET) == at;
#else
    return ::lseek(fd, static_cast<off_t>(at), SEEK_SET) == at;
#endif
}

}  // namespace

std::function<bool()> readsWaitForDiskFromNow()
{
#ifdef _WIN32
    return [] { return true; };
#else
    // Listens for as long as the answer is kept.
    struct Listening {
        Listening()
        {
            listeningSince.fetch_add(1, std::memory_order_relaxed);
            listening.fetch_add(1, std::memory_order_relaxed);
        }
        ~Listening() { listening.fetch_sub(1, std::memory_order_relaxed); }
        Listening(const Listening&) = delete;
        Listening& operator=(const Listening&) = delete;
    };
    return [listens = std::make_shared<Listening>(), mark = diskWaits.load(std::memory_order_relaxed)] {
        return diskWaits.load(std::memory_order_relaxed) != mark;
    };
#endif
}

NativePath nativePath(const QString& path)
{
#ifdef _WIN32
    return path.toStdWString();
#else
    return platform::encodeFileName(path).toStdString();
#endif
}

namespace {

#ifndef _WIN32
// A picture file opened for reading, relative to the folder held open as
// dirFd (-1: the path as it stands). A FIFO or device under a picture's
// name is opened without waiting (and then refused by what it is).
int openForReading(int dirFd, const NativePath& path)
{
    return ::openat(dirFd >= 0 ? dirFd : AT_FDCWD, path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}
#endif

NativePath joined(const NativePath& dir, const NativePath& name)
{
    NativePath out = dir;
#ifdef _WIN32
    if (!out.empty() && out.back() != L'\\' && out.back() != L'/')
        out += L'\\';
#else
    if (!out.empty() && out.back() != '/')
        out += '/';
#endif
    out += name;
    return out;
}

}  // namespace

NativePath nativeName(const QString& name)
{
#ifdef _WIN32
    return name.toStdWString();
#else
    const QByteArray bytes = platform::encodeFileName(name);
    return NativePath(bytes.constData(), static_cast<size_t>(bytes.size()));
#endif
}

NativePath nativeChild(const NativePath& dir, const QString& name) { return joined(dir, nativeName(name)); }

Folder::Folder(const NativePath& path, bool held) : path_(path)
{
#ifdef _WIN32
    (void)held;
#else
    if (!held)
        return;
    // Only for looking names up: no right to read is needed, and a FIFO
    // under the folder's name is refused (it is no directory).
#ifdef O_PATH
    fd_ = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
#else
    fd_ = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
#endif
#endif
}

std::pair<int, NativePath> Folder::place(const NativePath& name) const
{
    // A name holding a separator is no name of this folder's; a path is
    // what it means then.
    if (fd_ >= 0 && name.find(NativePath::value_type('/')) == NativePath::npos && !name.empty())
        return {fd_, name};
    return {-1, joined(path_, name)};
}

void Folder::hint(const NativePath& name) const
{
#if !defined(_WIN32) && defined(POSIX_FADV_WILLNEED)
    // Opened as a read opens it, and the advice is refused for anything
    // but a file.
    const auto [dir, path] = place(name);
    const int fd = openForReading(dir, path);
    if (fd < 0)
        return;
    ::posix_fadvise(fd, 0, kHintBytes, POSIX_FADV_WILLNEED);
    ::close(fd);
#else
    (void)name;
#endif
}

Folder::~Folder()
{
#ifndef _WIN32
    if (fd_ >= 0)
        ::close(fd_);
#endif
}

BufferedFile::BufferedFile(const QString& path) : BufferedFile(nativePath(path)) {}

BufferedFile::BufferedFile(const NativePath& path) : keptCapacity_(kFirstRead) { open(-1, path); }

BufferedFile::BufferedFile(const Folder& folder, const NativePath& name) : keptCapacity_(kFirstRead)
{
    const auto [dir, path] = folder.place(name);
    open(dir, path);
}

void BufferedFile::open(int dirFd, const NativePath& path)
{
    // A FIFO or device under a picture's name is opened without waiting
    // and then refused by what the descriptor is; a regular file is read.
#ifdef _WIN32
    (void)dirFd;
    fd_ = ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    struct _stat64 st;
    if (fd_ >= 0 && (::_fstat64(fd_, &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG)) {
        ::_close(fd_);
        fd_ = -1;
    }
#else
    const bool timed = timing();
    const int64_t opening = timed ? nowNs() : 0;
    fd_ = openForReading(dirFd, path);
    struct stat st;
    if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd_);
        fd_ = -1;
    }
    if (timed)
        noteDuration(opening);
#endif
    if (fd_ >= 0)
        size_ = static_cast<int64_t>(st.st_size);
}

BufferedFile::~BufferedFile()
{
    if (fd_ >= 0) {
#ifdef _WIN32
        ::_close(fd_);
#else
        ::close(fd_);
#endif
    }
}

void BufferedFile::fillTo(int64_t end)
{
    if (fd_ < 0 || endSeen_)
        return;
    end = std::min(end, kKeptLimit);
    int64_t have = keptSize_;
    if (end <= have)
        return;
    // Read in whole blocks: the next small read usually follows closely.
    int64_t want = std::max<int64_t>(end, have == 0 ? kFirstRead : have * 2);
    want = std::min(want, kKeptLimit);
    if (want > keptCapacity_) {
        auto bigger = std::make_unique<uint8_t[]>(static_cast<size_t>(want));
        std::memcpy(bigger.get(), kept_, static_cast<size_t>(have));
        heap_ = std::move(bigger);
        kept_ = heap_.get();
        keptCapacity_ = want;
    }
    // After a direct read further on, come back to the end of the kept part.
    if (osPos_ != have) {
        if (!osSeek(fd_, have)) {
            endSeen_ = true;
            return;
        }
        osPos_ = have;
    }
    // One read per fill: a short read of a file nearly always means its end,
    // and asking again only to hear "nothing" would cost a system call for
    // every small file. Should more be wanted after all, the next fill (or
    // the direct read of readAt) asks again and learns the truth.
#ifndef _WIN32
    const bool timed = timing();
    const int64_t reading = timed ? nowNs() : 0;
#endif
    const int64_t got = osRead(fd_, kept_ + have, want - have);
#ifndef _WIN32
    if (timed)
        noteDuration(reading);
#endif
    if (got <= 0) {
        endSeen_ = true;
    } else {
        have += got;
        osPos_ = have;
    }
    keptSize_ = have;
    if (endSeen_)
        size_ = have;
}

int64_t BufferedFile::readAtSlow(int64_t at, void* dest, int64_t n)
{
    if (fd_ < 0 || at < 0 || n <= 0)
        return 0;
    auto* out = static_cast<uint8_t*>(dest);
    int64_t copied = 0;
    if (at < kKeptLimit) {
        fillTo(at + n);
        const int64_t have = keptSize_;
        if (at < have) {
            copied = std::min(n, have - at);
            std::memcpy(out, kept_ + at, static_cast<size_t>(copied));
        }
        if (copied == n || endSeen_)
            return copied;
    }
    // Beyond the kept part: read the file where asked.
    const int64_t from = at + copied;
    if (size_ >= 0 && from >= size_)
        return copied;
    if (osPos_ != from) {
        if (!osSeek(fd_, from))
            return copied;
        osPos_ = from;
    }
    while (copied < n) {
        const int64_t got = osRead(fd_, out + copied, n - copied);
        if (got <= 0)
            break;
        copied += got;
        osPos_ += got;
    }
    return copied;
}

int64_t BufferedFile::size()
{
    if (fd_ < 0)
        return -1;
    if (size_ >= 0)
        return size_;
#ifdef _WIN32
    struct _stat64 st;
    if (::_fstat64(fd_, &st) != 0)
        return -1;
#else
    struct stat st;
    if (::fstat(fd_, &st) != 0)
        return -1;
#endif
    size_ = static_cast<int64_t>(st.st_size);
    return size_;
}

bool BufferedFile::hasByteAt(int64_t at)
{
    if (fd_ < 0 || at < 0)
        return false;
    if (at < kKeptLimit) {
        fillTo(at + 1);
        if (at < keptSize_)
            return true;
        if (endSeen_)
            return false;
    }
    const int64_t s = size();
    return s >= 0 && at < s;
}

metadata::Container containerOf(const NativePath& path)
{
    // Only the ending matters, and endings are ASCII.
    std::string tail;
    const size_t from = path.size() > 8 ? path.size() - 8 : 0;
    for (size_t i = from; i < path.size(); ++i)
        tail += path[i] >= 0x20 && path[i] < 0x7F ? static_cast<char>(path[i]) : '?';
    return metadata::containerForName(tail);
}

}  // namespace order
