#include "imaging/libraries/raw_stream.h"

#include <cstdio>

namespace imaging {

// LibRaw only reads from the buffer.
RawStream::RawStream(const void* data, size_t size) : LibRaw_buffer_datastream(const_cast<void*>(data), size) {}

void RawStream::readAtEnd()
{
    if (++readsAtEnd_ > kReadsAtEndLimit)
        throw LIBRAW_EXCEPTION_IO_EOF;
}

int RawStream::read(void* ptr, size_t size, size_t count)
{
    const int got = LibRaw_buffer_datastream::read(ptr, size, count);
    if (size > 0 && (got < 0 || size_t(got) < count))
        readAtEnd();
    return got;
}

int RawStream::get_char()
{
    const int c = LibRaw_buffer_datastream::get_char();
    if (c < 0)
        readAtEnd();
    return c;
}

char* RawStream::gets(char* s, int size)
{
    if (size < 1)
        return nullptr;
    if (eof()) {
        readAtEnd();
        return nullptr;
    }
    int n = 0;
    while (n < size - 1) {
        const int c = get_char();
        if (c < 0)
            break;
        s[n++] = char(c);
        if (c == '\n')
            break;
    }
    s[n] = 0;
    return s;
}

int RawStream::scanf_one(const char* format, void* value)
{
    if (eof())
        return 0;
    // The items LibRaw scans are single numbers; 31 bytes hold any of them
    // with the blanks before it.
    char text[32];
    const INT64 at = tell();
    const int n = read(text, 1, sizeof text - 1);
    text[n > 0 ? n : 0] = 0;
    seek(at, SEEK_SET);
    const int result = std::sscanf(text, format, value);
    if (result > 0) {
        // Past the item's first byte up to the blank, NUL or newline after
        // it, at most 25 bytes: where LibRaw's own stream leaves it.
        int k = 0;
        while (k < n) {
            ++k;
            if (k == n || text[k] == 0 || text[k] == ' ' || text[k] == '\t' || text[k] == '\n' || k > 24)
                break;
        }
        seek(k, SEEK_CUR);
    }
    return result;
}

}  // namespace imaging
