#pragma once
// Pictures of many megabytes in memory the system hands out in large pages.
#include <QImage>
#include <QSize>

namespace imaging {

// A new picture (contents undefined, null when memory could not be had).
// From a few megabytes on, on Linux, its memory is asked for in 2 MB pages:
// a 24-megapixel decode otherwise takes thousands of page faults, on a
// virtual machine a third of the decode's time. Elsewhere, and for small
// pictures, a plain QImage.
QImage largeImage(QSize size, QImage::Format format = QImage::Format_RGB32);

// Asks for the untouched memory of a large buffer just allocated (a file's
// bytes about to be read into it) to come in 2 MB pages, where the system
// can; the buffer is otherwise unchanged. Nothing for buffers of a few
// megabytes or less.
void preferLargePages(void* data, size_t size);

}  // namespace imaging
