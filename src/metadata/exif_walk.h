#pragma once
// The state of one metadata reading and of one Exif block's walk, shared by
// the tag rules (standard tags, GPS tags, title and comment). Internal to
// the reader.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "metadata/byte_stream.h"
#include "metadata/exif_bytes.h"
#include "metadata/jpeg_reader.h"
#include "metadata/metadata_sink.h"
#include "metadata/work_budget.h"

namespace metadata {

// Lives for one JpegRead: what outlasts a single Exif block.
struct ReaderState {
    ReaderState(ByteStream& s, MetadataSink& k, const ReadOptions& o) : stream(s), sink(k), options(o) {}

    ByteStream& stream;
    MetadataSink& sink;
    const ReadOptions& options;
    bool littleEndian = false;
    std::string latitudeText;
    std::string longitudeText;
    std::string title;  // the title caption as set so far
    std::vector<std::string> infoLines;
    // Bytes the value readers may still take. A crafted file could repeat
    // large values in tens of thousands of entries; real files need a few
    // kilobytes, so once this is spent the remaining entries are absent.
    int64_t budget = 16 * 1024 * 1024;
    // Lines, and bytes of their text, the picture may still show.
    int linesLeft = kMaxPictureLines;
    int64_t textLeft = kMaxPictureTextBytes;
    // Values the maker notes of all Exif blocks may still read.
    int64_t noteValuesLeft = kMaxPictureNoteValues;

    // Counts one more line of the given length; false once the picture's
    // budget is spent, and for every line after.
    bool takeLine(size_t bytes)
    {
        if (linesLeft <= 0 || static_cast<int64_t>(bytes) > textLeft) {
            linesLeft = 0;
            return false;
        }
        --linesLeft;
        textLeft -= static_cast<int64_t>(bytes);
        return true;
    }
};

struct Rational {
    int32_t numerator = 0;
    int32_t denominator = 0;
    // The quotient rounded to a 32-bit float, as the lines show it.
    float value() const { return static_cast<float>(static_cast<double>(numerator) / denominator); }
};

// A code value and its word.
struct CodeWord {
    uint16_t value;
    const char* word;
};

struct CodeTable {
    const CodeWord* words;
    size_t size;
    const char* fallback;
    const char* lookup(unsigned value) const
    {
        for (size_t i = 0; i < size; ++i)
            if (words[i].value == value)
                return words[i].word;
        return fallback;
    }
};

struct ExifWalk;
struct TagRule;
using RuleFn = void (*)(ExifWalk&, const IfdEntry&, const TagRule&);

// One row of the dispatch table: a tag number, its rule, and the rule's data.
struct TagRule {
    uint16_t tag;
    RuleFn apply;
    const char* label = nullptr;    // line label, or a number pattern
    const char* suffix = nullptr;   // text after a plain number
    const CodeTable* table = nullptr;
};

// Lives for one Exif block.
struct ExifWalk {
    ExifWalk(ReaderState& s) : st(s), s(s.stream) {}

    ReaderState& st;
    ByteStream& s;
    int64_t tiffBase = 0;  // the TIFF header the IFD being walked counts from
    std::vector<int64_t> ifdList;
    std::vector<int64_t> ifdBases;  // each listed IFD's TIFF header
    int ifdIndex = 0;
    int gpsIfdIndex = -1;
    std::string makeText;
    uint8_t altitudeBelowSea = 0;
    uint8_t speedUnit = 0;
    std::string lineText;  // the line built last; a rule may look at it

    bool le() const { return st.littleEndian; }
    bool inGpsIfd() const { return ifdIndex == gpsIfdIndex; }

    void addLine(std::string line)
    {
        lineText = std::move(line);
        if (st.takeLine(lineText.size()))
            st.sink.addLine(lineText);
    }
    void insertLineAtTop(std::string line)
    {
        lineText = std::move(line);
        if (st.takeLine(lineText.size()))
            st.sink.insertLineAtTop(lineText);
    }
    void setTitle(std::string title)
    {
        st.title = std::move(title);
        st.sink.setTitleCaption(st.title);
    }

    // Appends an IFD to visit; a full list or a position already listed is
    // ignored so that no crafted link makes the walk go round. Returns the
    // index of the entry appended, or -1.
    int appendIfd(int64_t position);

    // Value readers at the stream position. A value that does not lie
    // wholly inside the data is absent.
    std::optional<std::string_view> bytes(int64_t n);
    std::optional<uint16_t> code();
    std::optional<uint32_t> longValue();
    std::optional<Rational> rational();
    std::optional<uint8_t> byteValue();
    // The bytes up to the first NUL within min(count, 1024), code page 932.
    std::optional<std::string> text(int64_t count);
    std::string comment(int64_t count);
};

// Number pattern with the value as a double.
std::string fmt(double value, std::string_view pattern);

// Rules of the standard tags.
void ruleText(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleMake(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleDateTime(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleDateTimeDigitized(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleCodeTable(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleCodeNumber(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleLong(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleRationalPattern(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleExposureTime(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleBrightness(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleSubjectDistance(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleDigitalZoom(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleLensSpecification(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleSubjectArea(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleFileSource(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleLumixText(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleRelatedSound(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleProcessingSoftware(ExifWalk&, const IfdEntry&, const TagRule&);

// Rules of the GPS tags.
void ruleGpsLatitudeRef(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsLongitudeRef(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsText(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsStatus(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsMeasureMode(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsDegrees(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsAltitudeRef(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsSpeedRef(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsAltitude(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsDop(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsSpeed(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsProcessingMethod(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleGpsAreaInformation(ExifWalk&, const IfdEntry&, const TagRule&);

// Rules of the title and comment tags.
void ruleImageDescription(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleXpText(ExifWalk&, const IfdEntry&, const TagRule&);
void ruleUserComment(ExifWalk&, const IfdEntry&, const TagRule&);

// The JPEG comment line of a COM segment's bytes, or empty when it gives none.
std::string jpegCommentLine(std::string_view segmentBytes);

// Walks the Exif block whose TIFF header stands at the stream position.
void ExifRead(ReaderState& state);

// Walks Exif kept in separate TIFF blocks of the stream (Canon's CR3): the
// one of IFD0, the one of the Exif IFD, the one of the GPS IFD (each read
// from its first IFD) and the maker note's; a negative position is a
// missing block.
struct TiffBlocks {
    int64_t ifd0 = -1;
    int64_t exif = -1;
    int64_t gps = -1;
    int64_t makerNote = -1;
    int64_t makerNoteSize = 0;
};
void ExifReadBlocks(ReaderState& state, const TiffBlocks& blocks);

}  // namespace metadata
