#pragma once
// The limits every picture decoder checks before it allocates, in one place.
// A file is refused when the picture it claims is
//   (a) larger than kMaxPixels,
//   (b) larger than its own bytes could encode in its format (the factors
//       below: the most pixels one byte of that format's data can yield), or
//   (c) dearer than kDecodeMemoryBudget for the whole decode: the pixels kept
//       plus what the library holds meanwhile (a progressive JPEG's
//       coefficients, libpng's row buffers).
#include <QString>
#include <QtGlobal>

#include <stdexcept>

namespace imaging {

// Every decoding failure: bad or truncated data, an absurd size.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// Pictures beyond this many pixels are refused instead of allocated.
constexpr qint64 kMaxPixels = 500'000'000;
#else
// Fuzzing builds keep every limit and check, scaled down to 256 x 256 (and
// the small-picture allowance below to 64 x 64) so that each input decodes
// in about a millisecond: the fuzzer then tries many more headers. The
// arithmetic of large sizes is checked by the tests.
constexpr qint64 kMaxPixels = 1 << 16;
#endif

// The largest picture at 4 bytes a pixel, with room for the libraries' own
// buffers; a decode that would hold more is refused.
constexpr qint64 kDecodeMemoryBudget = kMaxPixels / 5 * 22;

// JPEG (Huffman coded): every 8 x 8 block of the full-resolution component
// costs at least one bit (a DC code of a progressive first scan; a
// sequential block costs two, DC and end of block), so a byte holds at most
// 8 blocks = 512 pixels.
constexpr qint64 kJpegPixelsPerByte = 512;
// Arithmetic-coded JPEG can spend far less than a bit on a block; only the
// other limits hold it.
constexpr qint64 kJpegArithmeticPixelsPerByte = 1 << 20;
// GIF LZW: a code of w bits stands for at most 2^w pixels (the table has
// 2^w entries, each string at most one longer than the entry before), and
// w is at most 12: 4096 pixels per 12 bits, 2731 pixels per byte.
constexpr qint64 kGifPixelsPerByte = 2731;
// Deflate (PNG): one byte of a stream inflates to at most 1032 bytes
// (258-byte matches for one bit and a bit).
constexpr qint64 kDeflateBytesPerByte = 1032;
// BMP run-length data: a two-byte run paints at most 255 pixels. Skips
// (delta, end of line) paint nothing; a bitmap that is mostly skipped is
// allowed only as far as its runs could have painted it.
constexpr qint64 kRlePixelsPerByte = 128;
// Icons: an uncompressed entry carries a 1-bit mask per pixel (8 pixels a
// byte); a PNG entry is held by deflate's bound at 1 bit per pixel.
constexpr qint64 kIconPixelsPerByte = kDeflateBytesPerByte * 8;
// Small pictures are never refused by the byte bound: headers and tables
// leave too few bytes to judge, and their cost is small.
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr qint64 kAlwaysEncodablePixels = 65536;
#else
constexpr qint64 kAlwaysEncodablePixels = 4096;
#endif

// The largest file of a format that is read at all, by the file name's
// ending (0: a name no reader takes). A file above it gets the error message
// without a byte read: a sparse 64 GB file named .jpg must not be loaded.
// Each is several times the largest file of its kind that cameras, scanners
// and editors write.
qint64 maxFileBytes(const QString& fileName);

// Throws DecodeError("...") when the decode is beyond any of the three
// limits: pixels of the full picture, the pixels the file's data can encode
// (encodablePixels), and the bytes the decode would hold (memoryBytes).
void checkDecodeBudget(qint64 pixels, qint64 encodablePixels, qint64 memoryBytes);

// What `bytes` of data encode at `perByte` pixels a byte, saturating.
qint64 encodablePixels(qint64 bytes, qint64 perByte);

}  // namespace imaging
