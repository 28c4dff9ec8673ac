#pragma once
// Builders for maker notes written byte by byte, a runner that wraps a note
// in a little Exif block and calls a decoder at it, and a locator that finds
// the maker note of a real JPEG file.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "metadata/makernotes/makernotes.h"

namespace mntest {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v, bool le);
void put32(Bytes& b, uint32_t v, bool le);

// An IFD whose out-of-line values follow it. Offsets written into the
// entries count from the position the caller names (where the IFD will
// stand, measured from the base its offsets count from).
class IfdBuilder {
public:
    explicit IfdBuilder(bool littleEndian) : le_(littleEndian) {}

    IfdBuilder& raw(uint16_t tag, uint16_t type, uint32_t count, const Bytes& value);
    IfdBuilder& shorts(uint16_t tag, const std::vector<uint32_t>& values, uint16_t type = 3);
    IfdBuilder& longs(uint16_t tag, const std::vector<uint32_t>& values, uint16_t type = 4);
    IfdBuilder& bytes(uint16_t tag, const Bytes& values, uint16_t type = 1);
    IfdBuilder& rationals(uint16_t tag, const std::vector<std::pair<uint32_t, uint32_t>>& values, uint16_t type = 5);
    IfdBuilder& ascii(uint16_t tag, const std::string& text);  // with its zero byte
    IfdBuilder& undefined(uint16_t tag, const Bytes& value);
    // An entry whose value offset is given as is (for values placed
    // outside the note).
    IfdBuilder& offsetEntry(uint16_t tag, uint16_t type, uint32_t count, uint32_t offset);

    Bytes build(uint32_t ifdPosition, bool nextLink = false) const;
    bool littleEndian() const { return le_; }

private:
    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        Bytes value;
        std::optional<uint32_t> fixedOffset;
    };
    bool le_;
    std::vector<Entry> entries_;
};

// The three maker-note forms around an IFD.
// Canon: the IFD itself, its offsets counting from the Exif TIFF header.
Bytes canonNote(const IfdBuilder& ifd, uint32_t noteOffset);
// Panasonic: the 12-byte header, then the IFD.
Bytes panasonicNote(const IfdBuilder& ifd, uint32_t noteOffset);
// Nikon type 2: "Nikon\0\2\0\0\0", its own TIFF header in the IFD's byte
// order, the IFD at inner offset 8.
Bytes nikonNote(const IfdBuilder& ifd);

inline constexpr uint32_t kNoteOffset = 0x40;  // where runNote puts the note

// What a decoder left behind.
struct NoteResult {
    std::vector<std::string> lines;
    bool littleEndianAfter;
};

using Decoder = void (*)(metadata::MakerNoteContext&, int64_t, int64_t);

// A TIFF header in the given byte order 6 bytes into a buffer ("Exif\0\0"
// before it), the note at kNoteOffset (or noteOffset) from it; calls the
// decoder with the note's length (or count when not negative).
NoteResult runNote(Decoder decoder, const Bytes& note, bool exifLittleEndian, int64_t count = -1,
                   uint32_t noteOffset = kNoteOffset);

// The maker note of a real JPEG file, found by walking its Exif block.
struct RealNote {
    Bytes file;
    int64_t tiffBase = 0;
    int64_t notePosition = 0;
    int64_t count = 0;
    bool littleEndian = false;
    std::string make;
};

std::optional<RealNote> locateMakerNote(const std::filesystem::path& path);

// Runs the decoder that the Make text calls for; empty for other makers.
NoteResult decodeRealNote(RealNote& note);

// The files of the sample folder whose path starts with the folder name.
std::vector<std::filesystem::path> sampleFiles(const std::string& folder);

// Raw values printed by exiftool -n for the tags ("Group:Name"), keyed by
// the name alone; empty when exiftool is not there.
std::map<std::string, std::string> exiftoolValues(const std::filesystem::path& file,
                                                  const std::vector<std::string>& tags);
bool exiftoolAvailable();

}  // namespace mntest
