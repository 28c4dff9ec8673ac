#pragma once
// Pictures and buffers of a megabyte or more in memory the system hands out
// in large pages.
#include <QByteArray>
#include <QImage>
#include <QSize>

#include <cstddef>
#include <cstdint>

namespace imaging {

// A new picture (contents undefined, null when memory could not be had).
// From half a megabyte on, on Linux, its memory is asked for in whole 2 MB
// pages: a 24-megapixel decode otherwise takes thousands of page faults,
// on a virtual machine a third of the decode's time, and there a page
// fault for 4 KB costs about as much as one for 2 MB. The memory of such
// pictures and buffers is kept when they go (up to 40 MB, the oldest given
// back first) and handed, cut to size and zeroed, to the next that fits.
// Elsewhere, and for small pictures, a plain QImage.
QImage largeImage(QSize size, QImage::Format format = QImage::Format_RGB32);

// `size` bytes, uninitialised, for a file's bytes about to be read in: as
// largeImage, from half a megabyte on the array begins on a large page and
// its bytes lie in whole large pages. Throws std::bad_alloc as QByteArray does.
QByteArray largeByteArray(qsizetype size);

// Zeroed scratch memory, in large pages as largeImage's; data() is null
// when the memory could not be had.
class LargeBuffer {
public:
    LargeBuffer() = default;
    explicit LargeBuffer(size_t size);
    ~LargeBuffer();
    LargeBuffer(LargeBuffer&& other) noexcept;
    LargeBuffer& operator=(LargeBuffer&& other) noexcept;
    LargeBuffer(const LargeBuffer&) = delete;
    LargeBuffer& operator=(const LargeBuffer&) = delete;

    uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    void release();

    uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t mapped_ = 0;  // bytes mapped at data_; none when it came from new[]
};

}  // namespace imaging
