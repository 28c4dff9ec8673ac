#include "imaging/large_image.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace imaging {

#ifdef __linux__
namespace {

constexpr size_t kLargePage = size_t(2) << 20;
// Below this a buffer's pages come as any others.
constexpr size_t kLargeFrom = kLargePage / 4;

size_t wholePages(size_t bytes) { return (bytes + kLargePage - 1) & ~(kLargePage - 1); }

uintptr_t alignedUp(uintptr_t at) { return (at + kLargePage - 1) & ~(uintptr_t(kLargePage) - 1); }

// Mappings given back are kept for the next pictures, up to this many
// bytes. Memory the process has used before costs nothing to use again,
// while new memory costs its page faults, and on a virtual machine whose
// host backs the guest's memory only as it is first touched, far more: a
// fresh 8 MB took 15-25 ms to fill there, the same 8 MB used again 0.6 ms.
// A jump to a far picture wants five such blocks while the pictures it
// replaces are still held (the first look's planes, its walk and its
// picture, the look brought to the drawn size, the picture's own decode):
// over 36 jumps between 24-megapixel pictures, 20 blocks were mapped afresh
// with 24 MB kept and 3 with 40 MB, and the first look came about 10 ms
// sooner.
constexpr size_t kKeptBytes = size_t(40) << 20;

// Every mapping begins on a large page and is made of whole ones, so any
// run of them serves any request that fits: a kept mapping is cut to the
// length asked for, and mappings given back next to one another are one
// again.
struct Kept {
    uintptr_t start;
    size_t length;
};

// Never destroyed: a worker let go at the end may give its picture back
// after static destructors have run.
struct KeptMappings {
    std::mutex mutex;
    std::vector<Kept> mappings;  // oldest first
    size_t bytes = 0;
};
KeptMappings& kept()
{
    static auto* k = new KeptMappings;
    return *k;
}

// `length` bytes of the smallest kept mapping that holds them, the rest of
// it left kept.
bool takeKept(size_t length, uintptr_t& out)
{
    KeptMappings& k = kept();
    std::lock_guard<std::mutex> lock(k.mutex);
    size_t best = k.mappings.size();
    for (size_t i = 0; i < k.mappings.size(); ++i) {
        const size_t l = k.mappings[i].length;
        if (l >= length && (best == k.mappings.size() || l < k.mappings[best].length))
            best = i;
    }
    if (best == k.mappings.size())
        return false;
    Kept& m = k.mappings[best];
    out = m.start;
    k.bytes -= length;
    if (m.length == length) {
        k.mappings.erase(k.mappings.begin() + static_cast<std::ptrdiff_t>(best));
    } else {
        m.start += length;
        m.length -= length;
    }
    return true;
}

// Keeps the mapping for the next picture, joined to a kept neighbour, and
// gives back the oldest kept ones beyond the limit.
void giveBack(uintptr_t start, size_t length)
{
    std::vector<Kept> dropped;
    {
        KeptMappings& k = kept();
        std::lock_guard<std::mutex> lock(k.mutex);
        Kept joined{start, length};
        for (size_t i = 0; i < k.mappings.size();) {
            const Kept m = k.mappings[i];
            if (m.start + m.length == joined.start || joined.start + joined.length == m.start) {
                joined = {std::min(m.start, joined.start), m.length + joined.length};
                k.bytes -= m.length;
                k.mappings.erase(k.mappings.begin() + static_cast<std::ptrdiff_t>(i));
            } else {
                ++i;
            }
        }
        // One larger than all that is kept goes at once, leaving the rest.
        if (joined.length > kKeptBytes) {
            dropped.push_back(joined);
        } else {
            k.mappings.push_back(joined);
            k.bytes += joined.length;
        }
        size_t n = 0;
        while (k.bytes > kKeptBytes && n < k.mappings.size()) {
            dropped.push_back(k.mappings[n]);
            k.bytes -= k.mappings[n].length;
            ++n;
        }
        k.mappings.erase(k.mappings.begin(), k.mappings.begin() + static_cast<std::ptrdiff_t>(n));
    }
    for (const Kept& d : dropped)
        munmap(reinterpret_cast<void*>(d.start), d.length);
}

// Memory of its own for `bytes`, in whole large pages from a large page's
// boundary (`length` bytes in all); null when it could not be had. Zeroed.
void* mapLarge(size_t bytes, size_t& length)
{
    length = wholePages(bytes);
    uintptr_t at = 0;
    if (takeKept(length, at)) {
        // What an earlier picture left there must not show through a
        // picture whose rows are not all written.
        std::memset(reinterpret_cast<void*>(at), 0, bytes);
        return reinterpret_cast<void*>(at);
    }
    // A large page more than needed, so that a boundary lies within, and
    // what lies before it and after the end given back at once.
    const size_t asked = length + kLargePage;
    void* start = mmap(nullptr, asked, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        return nullptr;
    const auto from = reinterpret_cast<uintptr_t>(start);
    at = alignedUp(from);
    if (at > from)
        munmap(start, at - from);
    if (from + asked > at + length)
        munmap(reinterpret_cast<void*>(at + length), from + asked - (at + length));
    madvise(reinterpret_cast<void*>(at), length, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(at);
}

struct Mapping {
    void* start;
    size_t length;
};

void unmap(void* info)
{
    auto* m = static_cast<Mapping*>(info);
    giveBack(reinterpret_cast<uintptr_t>(m->start), m->length);
    delete m;
}

}  // namespace
#endif

QImage largeImage(QSize size, QImage::Format format)
{
#ifdef __linux__
    if (size.isValid() && !size.isEmpty() && format != QImage::Format_Invalid) {
        const int depth = QImage::toPixelFormat(format).bitsPerPixel();
        const qint64 stride = (qint64(size.width()) * depth + 31) / 32 * 4;
        const qint64 bytes = stride * size.height();
        if (depth >= 8 && bytes >= qint64(kLargeFrom) && stride <= INT32_MAX && bytes < (qint64(1) << 40)) {
            size_t length = 0;
            if (void* at = mapLarge(size_t(bytes), length)) {
                auto* mapping = new (std::nothrow) Mapping{at, length};
                if (mapping) {
                    QImage image(static_cast<uchar*>(at), size.width(), size.height(), stride, format, unmap, mapping);
                    if (!image.isNull())
                        return image;
                    delete mapping;
                }
                giveBack(reinterpret_cast<uintptr_t>(at), length);
            }
        }
    }
#endif
    return QImage(size, format);
}

QByteArray largeByteArray(qsizetype size)
{
#ifdef __linux__
    if (size >= qsizetype(kLargeFrom) && size < (qsizetype(1) << 40)) {
        // A large page more than the bytes take, so they can begin on one.
        const size_t whole = wholePages(size_t(size));
        QByteArray out(qsizetype(whole + kLargePage), Qt::Uninitialized);
        const auto begin = reinterpret_cast<uintptr_t>(out.data());
        const uintptr_t at = alignedUp(begin);
        madvise(reinterpret_cast<void*>(at), whole, MADV_HUGEPAGE);
        // Dropping the bytes before it moves the array's start; nothing is
        // copied and nothing touched.
        out.remove(0, qsizetype(at - begin));
        out.truncate(size);
        return out;
    }
#endif
    return QByteArray(size, Qt::Uninitialized);
}

LargeBuffer::LargeBuffer(size_t size)
{
    if (size == 0)
        return;
#ifdef __linux__
    if (size >= kLargeFrom && size < (size_t(1) << 40)) {
        data_ = static_cast<uint8_t*>(mapLarge(size, mapped_));
        if (data_)
            size_ = size;
        else
            mapped_ = 0;
        return;
    }
#endif
    data_ = new (std::nothrow) uint8_t[size]();
    if (data_)
        size_ = size;
}

LargeBuffer::~LargeBuffer() { release(); }

LargeBuffer::LargeBuffer(LargeBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0))
{
}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void LargeBuffer::release()
{
#ifdef __linux__
    if (mapped_) {
        giveBack(reinterpret_cast<uintptr_t>(data_), mapped_);
        mapped_ = 0;
        data_ = nullptr;
    }
#endif
    delete[] data_;
    data_ = nullptr;
    size_ = 0;
}

}  // namespace imaging
