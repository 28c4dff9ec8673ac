// The walk over the JPEG segments: the Exif block and the comments.
#include "metadata/jpeg_reader.h"

#include <cstring>

#include "metadata/exif_walk.h"

namespace metadata {
namespace {

bool stopsWalk(unsigned marker)
{
    // Tables, frame and scan: the metadata always comes before them, so the
    // compressed picture is never scanned.
    return marker == 0xFFDB || marker == 0xFFC4 || marker == 0xFFC0 || marker == 0xFFDA || marker == 0xFFDD;
}

void readExifSegment(ReaderState& st)
{
    ExifRead(st);
    st.sink.setGpsTexts(st.latitudeText, st.longitudeText);
    st.littleEndian = false;
    // A maker-note heading alone says nothing.
    if (st.infoLines.size() > 1)
        for (const std::string& line : st.infoLines) {
            if (!st.takeLine(line.size()))
                break;
            st.sink.addLine(line);
        }
}

}  // namespace

void JpegRead(const uint8_t* data, size_t size, MetadataSink& sink, const ReadOptions& options)
{
    ByteStream s(data, size);
    ReaderState st(s, sink, options);
    sink.setGpsTexts({}, {});

    uint8_t soi[2];
    if (s.read(soi, 2) != 2 || soi[0] != 0xFF || soi[1] != 0xD8)
        return;
    if (s.size() < 100)
        throw MetadataError("");

    for (;;) {
        uint8_t head[4];
        if (s.read(head, 4) != 4)
            break;
        const unsigned marker = (head[0] << 8) | head[1];
        const int64_t length = (head[2] << 8) | head[3];
        if (stopsWalk(marker))
            break;
        if (marker == 0xFFE1) {
            const int64_t start = s.position() - 2;
            char id[4] = {};
            if (s.read(id, 4) == 4 && std::memcmp(id, "Exif", 4) == 0) {
                s.skip(2);
                readExifSegment(st);
            }
            s.seek(start + length);
        } else if (marker == 0xFFFE) {
            const int64_t n = length > 1026 ? 1024 : length - 2;
            std::string bytes;
            if (n > 0) {
                bytes.resize(static_cast<size_t>(n));
                const int64_t got = s.read(bytes.data(), n);
                // Bytes the file does not have count as the terminator.
                if (got < n)
                    bytes.resize(static_cast<size_t>(got) + 1, '\0');
            }
            const std::string line = jpegCommentLine(bytes);
            if (!line.empty() && st.takeLine(line.size()))
                sink.addLine(line);
            s.skip(length - 2 - n);
        } else {
            s.skip(length - 2);
        }
        if (s.position() >= s.size() || s.position() > 65000)
            break;
    }
}

}  // namespace metadata
