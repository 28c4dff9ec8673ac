// The bytes of a raw file as LibRaw reads them. LibRaw's own buffer stream
// reads a text line without ending it inside the caller's array (and writes
// one past it when a newline comes last), and scans numbers from the
// buffer as if it ended in a NUL; a damaged file's text header, make,
// model or maker-note text thus runs past arrays on LibRaw's stack and in
// its own data. This stream keeps both within the data and the caller's
// array.
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
};

}  // namespace imaging
