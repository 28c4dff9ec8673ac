#include "imaging/large_image.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstdint>
#include <new>

namespace imaging {

#ifdef __linux__
namespace {

constexpr size_t kLargePage = size_t(2) << 20;

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

void preferLargePages(void* data, size_t size)
{
#ifdef __linux__
    if (!data || size < 2 * kLargePage)
        return;
    // The whole large pages inside the buffer.
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kLargePage - 1) & ~(uintptr_t(kLargePage) - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + size) & ~(uintptr_t(kLargePage) - 1);
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

QImage largeImage(QSize size, QImage::Format format)
{
#ifdef __linux__
    if (size.isValid() && !size.isEmpty() && format != QImage::Format_Invalid) {
        const int depth = QImage::toPixelFormat(format).bitsPerPixel();
        const qint64 stride = (qint64(size.width()) * depth + 31) / 32 * 4;
        const qint64 bytes = stride * size.height();
        if (depth >= 8 && bytes >= qint64(2 * kLargePage) && stride <= INT32_MAX && bytes < (qint64(1) << 40)) {
            // One large page more, so the picture can start on a boundary.
            const size_t length = size_t(bytes) + kLargePage;
            void* start = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (start != MAP_FAILED) {
                const auto at = (reinterpret_cast<uintptr_t>(start) + kLargePage - 1) & ~(uintptr_t(kLargePage) - 1);
                madvise(reinterpret_cast<void*>(at), size_t(bytes), MADV_HUGEPAGE);
                auto* mapping = new (std::nothrow) Mapping{start, length};
                if (mapping) {
                    QImage image(reinterpret_cast<uchar*>(at), size.width(), size.height(), stride, format, unmap,
                                 mapping);
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

}  // namespace imaging
