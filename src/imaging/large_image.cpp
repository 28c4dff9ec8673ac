#include "imaging/large_image.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstdint>
#include <new>
#include <utility>

namespace imaging {

#ifdef __linux__
namespace {

constexpr size_t kLargePage = size_t(2) << 20;
// Below this a buffer's pages come as any others.
constexpr size_t kLargeFrom = kLargePage / 4;

size_t wholePages(size_t bytes) { return (bytes + kLargePage - 1) & ~(kLargePage - 1); }

uintptr_t alignedUp(uintptr_t at) { return (at + kLargePage - 1) & ~(uintptr_t(kLargePage) - 1); }

// Memory of its own for `bytes`, beginning on a large page and asked for
// in large pages up to the first boundary after its end; null when it could
// not be had.
void* mapLarge(size_t bytes, void*& start, size_t& length)
{
    length = wholePages(bytes) + kLargePage;
    start = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED) {
        start = nullptr;
        return nullptr;
    }
    void* at = reinterpret_cast<void*>(alignedUp(reinterpret_cast<uintptr_t>(start)));
    madvise(at, wholePages(bytes), MADV_HUGEPAGE);
    return at;
}

struct Mapping {
    void* start;
    size_t length;
};

void unmap(void* info)
{
    auto* m = static_cast<Mapping*>(info);
    munmap(m->start, m->length);
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
            void* start = nullptr;
            size_t length = 0;
            if (void* at = mapLarge(size_t(bytes), start, length)) {
                auto* mapping = new (std::nothrow) Mapping{start, length};
                if (mapping) {
                    QImage image(static_cast<uchar*>(at), size.width(), size.height(), stride, format, unmap, mapping);
                    if (!image.isNull())
                        return image;
                    delete mapping;
                }
                munmap(start, length);
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
        data_ = static_cast<uint8_t*>(mapLarge(size, mapping_, mapped_));
        if (data_)
            size_ = size;
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
      mapping_(std::exchange(other.mapping_, nullptr)),
      mapped_(std::exchange(other.mapped_, 0))
{
}

LargeBuffer& LargeBuffer::operator=(LargeBuffer&& other) noexcept
{
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapping_ = std::exchange(other.mapping_, nullptr);
        mapped_ = std::exchange(other.mapped_, 0);
    }
    return *this;
}

void LargeBuffer::release()
{
#ifdef __linux__
    if (mapping_) {
        munmap(mapping_, mapped_);
        mapping_ = nullptr;
        data_ = nullptr;
    }
#endif
    delete[] data_;
    data_ = nullptr;
    size_ = 0;
}

}  // namespace imaging
