// The bytes of a raw file as LibRaw reads them. LibRaw's own buffer stream
// reads a text line without ending it inside the caller's array (and writes
// one past it when a newline comes last), and scans numbers from the
// buffer as if it ended in a NUL; a damaged file's text header, make,
// model or maker-note text thus runs past arrays on LibRaw's stack and in
// its own data. This stream keeps both within the data and the caller's
// array. A read at the end of the data gives nothing, and some of
// LibRaw's searches for a tag go on reading there for ever when a damaged
// file ends before the tag; after many such reads this stream stops them
// with LibRaw's own end-of-file exception, which LibRaw turns into an
// error code.
#pragma once

#include <libraw/libraw_datastream.h>

namespace imaging {

class RawStream final : public LibRaw_buffer_datastream {
public:
    RawStream(const void* data, size_t size);

    // As fgets: at most size - 1 bytes, up to and with a newline, always
    // ended by a NUL; none at the end of the data.
    char* gets(char* s, int size) override;
    // One number (or other scanf item) from the text at the read position,
    // the position then past it as LibRaw's stream leaves it.
    int scanf_one(const char* format, void* value) override;

    int read(void* ptr, size_t size, size_t count) override;
    int get_char() override;

    // Reads at the end of the data allowed before the stream gives up; a
    // picture cut short then fails as damaged rather than having its
    // missing rows made from nothing.
    static constexpr int kReadsAtEndLimit = 1 << 16;

private:
    void readAtEnd();
    int readsAtEnd_ = 0;
};

}  // namespace imaging
