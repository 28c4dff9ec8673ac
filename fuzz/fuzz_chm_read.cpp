// Arbitrary bytes through the help file reader: the container with its
// directory and compression tables, every object it lists (the compressed
// section decoded by chmlib's LZX decoder), the system object and the table
// of contents. The same bytes also go through the sitemap and text readers
// on their own, which a file's contents reach only once decoded.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/chm_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    platform::parseSitemap(bytes);
    platform::decodeHelpText(bytes);
    platform::parseSystemObject(bytes);
    const auto chm = platform::ChmFile::fromBytes(std::string(bytes));
    if (!chm)
        return 0;
    chm->info();
    chm->topics();
    int objects = 0;
    for (const std::string& path : chm->paths()) {
        if (++objects > 64)
            break;
        chm->read(QString::fromStdString(path));
    }
    return 0;
}
