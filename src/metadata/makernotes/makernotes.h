#pragma once
// The maker-note decoders. Each is called while the stream stands at the
// first byte of the maker note, with the position of the TIFF header and the
// byte count of the MakerNote entry, and appends its lines (UTF-8) to
// infoLines. littleEndian is the byte order of the Exif block; a decoder
// that switches it for its own data puts it back before it returns. A
// decoder may leave the stream anywhere and never raises an error.
#include <cstdint>
#include <string>
#include <vector>

#include "metadata/byte_stream.h"
#include "metadata/work_budget.h"

namespace metadata {

struct MakerNoteContext {
    ByteStream& stream;
    bool& littleEndian;
    std::vector<std::string>& infoLines;
    // What this note may still add and read (work_budget.h).
    int linesLeft = kMaxNoteLines;
    int64_t valuesLeft = kMaxNoteValues;

    // Appends a line while the note's budget lasts.
    void addLine(std::string line)
    {
        if (linesLeft <= 0)
            return;
        --linesLeft;
        infoLines.push_back(std::move(line));
    }
    // Counts n values read; false once the note's values are spent.
    bool takeValues(int64_t n)
    {
        valuesLeft -= n;
        return valuesLeft >= 0;
    }
    // Nothing more of the note can be shown or read: the walk stops.
    bool spent() const { return linesLeft <= 0 || valuesLeft < 0; }
};

void CanonNoteRead(MakerNoteContext& ctx, int64_t tiffBase, int64_t count);
void PanasonicNoteRead(MakerNoteContext& ctx, int64_t tiffBase, int64_t count);
void NikonNoteRead(MakerNoteContext& ctx, int64_t tiffBase, int64_t count);

}  // namespace metadata
