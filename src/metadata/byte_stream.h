#pragma once
// A read-only stream over bytes in memory with a current position, as the
// metadata readers walk a file: read(n) copies up to n bytes and advances;
// near the end it copies fewer and leaves the rest of the destination as it
// was; a position beyond the end is allowed and later reads deliver nothing.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace metadata {

class ByteStream {
public:
    ByteStream(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    int64_t size() const { return static_cast<int64_t>(size_); }
    int64_t position() const { return pos_; }
    const uint8_t* data() const { return data_; }

    // Copies up to n bytes to dest; returns how many were copied.
    int64_t read(void* dest, int64_t n)
    {
        if (n <= 0 || pos_ < 0 || pos_ >= size())
            return 0;
        const int64_t got = std::min<int64_t>(n, size() - pos_);
        std::memcpy(dest, data_ + pos_, static_cast<size_t>(got));
        pos_ += got;
        return got;
    }

    void seek(int64_t absolute) { pos_ = absolute; }
    void skip(int64_t distance) { pos_ += distance; }

    // How many bytes can be read from the position.
    int64_t remaining() const { return pos_ < 0 || pos_ >= size() ? 0 : size() - pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    int64_t pos_ = 0;
};

}  // namespace metadata
