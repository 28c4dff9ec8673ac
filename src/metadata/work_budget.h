#pragma once
// How much one picture's metadata may ask for. A maker note of 57 KB can
// repeat one array tag thousands of times, each entry pointing at the same
// thousands of values: sixteen million lines from a file a camera never
// wrote. The bounds below lie far above what real cameras write (the sample
// pictures' largest: a note of 75 lines, 104 lines and 3.6 KB of text for a
// whole picture, 10,454 values in one tag, 12,429 in one note); a note or a
// picture over them shows its lines up to the bound.
#include <cstdint>

namespace metadata {

// Lines one maker note may add.
inline constexpr int kMaxNoteLines = 1000;
// Values (array elements, entries, face records) one maker note may read.
inline constexpr int64_t kMaxNoteValues = 262'144;
// Values all maker notes of one picture (one in each Exif block) may read.
inline constexpr int64_t kMaxPictureNoteValues = 4 * kMaxNoteValues;
// Elements of one tag that are looked at.
inline constexpr int64_t kMaxValuesPerTag = 65'536;
// Lines, and bytes of their text, one picture may show.
inline constexpr int kMaxPictureLines = 2000;
inline constexpr int64_t kMaxPictureTextBytes = 128 * 1024;

}  // namespace metadata
