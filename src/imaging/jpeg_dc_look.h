#pragma once
// A first look at a large JPEG, an eighth of its size either way, made from
// the first (DC) coefficient of each block alone: the mean of its 8x8
// pixels. libjpeg's 1/8 scale does the same sum but decodes every
// coefficient into place on the way; this walks the entropy-coded data,
// skipping each AC coefficient as soon as its code and length are known,
// and a large file is walked by two threads, one from the middle of its
// data.
#include <QImage>

#include <atomic>
#include <cstddef>

namespace imaging {

// The look for a baseline Huffman-coded JPEG of 8-bit samples in one scan
// (greyscale, YCbCr or RGB); a null picture for any other kind (progressive,
// arithmetic-coded, CMYK, several scans), for data that breaks or ends
// before its last row of blocks, and once *cancel is set. Reads nothing
// outside data.
QImage jpegDcLook(const uchar* data, size_t size, const std::atomic<bool>* cancel = nullptr);
// Whether the look of the file is walked by two threads: a file of a kind
// the look takes, large and without restart intervals (its data may still
// break).
bool jpegDcLookWalksTwice(const uchar* data, size_t size);

}  // namespace imaging
