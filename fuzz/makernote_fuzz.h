#pragma once
// Shared by the maker-note fuzz targets: the input's first byte chooses the
// Exif byte order and the note's length field, the rest is the maker note,
// placed inside a little Exif block with a valid TIFF header.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "metadata/makernotes/makernotes.h"

namespace fuzzmn {

inline void runDecoder(void (*decoder)(metadata::MakerNoteContext&, int64_t, int64_t), const uint8_t* data,
                       size_t size)
{
    if (size < 1)
        return;
    const uint8_t flags = data[0];
    const bool littleEndian = flags & 1;
    std::vector<uint8_t> file = {'E', 'x', 'i', 'f', 0, 0};
    const int64_t tiffBase = int64_t(file.size());
    if (littleEndian)
        file.insert(file.end(), {'I', 'I', 42, 0, 8, 0, 0, 0});
    else
        file.insert(file.end(), {'M', 'M', 0, 42, 0, 0, 0, 8});
    const int64_t notePosition = int64_t(file.size());
    file.insert(file.end(), data + 1, data + size);

    int64_t count = int64_t(size - 1);
    switch ((flags >> 1) & 3) {
    case 1:
        count = 0x7FFFFFFF;  // a length field far beyond the data
        break;
    case 2:
        count = count / 2;  // a note shorter than its entries
        break;
    case 3:
        count = -1 - count;  // a negative count field
        break;
    default:
        break;
    }
    metadata::ByteStream stream(file.data(), file.size());
    stream.seek(notePosition);
    bool flag = littleEndian;
    std::vector<std::string> lines;
    metadata::MakerNoteContext ctx{stream, flag, lines};
    decoder(ctx, tiffBase, count);
    // The Exif block goes on in its own byte order.
    if (flag != littleEndian)
        std::abort();
    // Every line must be well-formed enough to be shown.
    for (const auto& line : lines)
        if (line.size() > 4096)
            std::abort();
}

}  // namespace fuzzmn
