#include "search/search_match.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "folder/buffered_file.h"
#include "folder/display_order.h"
#include "metadata/byte_stream.h"
#include "metadata/comment_reader.h"
#include "platform/text_codec.h"

namespace search {

namespace {

constexpr int64_t kSegmentWalkLimit = 65000;
// The TIFF walk never looks beyond this byte of the file.
constexpr int64_t kTiffWalkLimit = 65536;
// Tag texts are read into a field of this size; longer values are cut.
constexpr int64_t kTextBytes = 1024;
// A comment longer than this is no comment anyone typed.
constexpr int64_t kCommentBytes = 64 * 1024;
// Exif IFD pointers inside an Exif IFD could chain without end.
constexpr size_t kMaxIfds = 8;

constexpr uint16_t kImageDescription = 0x010E;
constexpr uint16_t kDateTime = 0x0132;
constexpr uint16_t kDateTimeOriginal = 0x9003;
constexpr uint16_t kDateTimeDigitized = 0x9004;
constexpr uint16_t kUserComment = 0x9286;
constexpr uint16_t kExifIfdPointer = 0x8769;

bool isTableFrameOrScan(uint16_t marker)
{
    return marker == 0xFFDB || marker == 0xFFC4 || marker == 0xFFC0 || marker == 0xFFDA ||
           marker == 0xFFDD;
}

QString decodeAnsi(const char* bytes, size_t n)
{
    bool ascii = true;
    for (size_t i = 0; i < n && ascii; ++i)
        ascii = static_cast<unsigned char>(bytes[i]) < 0x80;
    if (ascii)
        return QString::fromLatin1(bytes, static_cast<qsizetype>(n));
    return QString::fromStdString(platform::cp932ToUtf8(std::string_view(bytes, n)));
}

bool isAsciiText(const QByteArray& bytes)
{
    return std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Whether an upper-cased ASCII word occurs in ASCII text, letter case aside.
bool asciiContains(const char* text, size_t n, const QByteArray& word)
{
    const size_t m = static_cast<size_t>(word.size());
    if (m == 0)
        return true;
    for (size_t i = 0; i + m <= n; ++i) {
        size_t k = 0;
        while (k < m && asciiUpper(text[i + k]) == word[static_cast<qsizetype>(k)])
            ++k;
        if (k == m)
            return true;
    }
    return false;
}

// An Exif ASCII value of count bytes at the given place, up to its first
// zero byte; decoded only when it is not plain ASCII.
struct TagText {
    char bytes[kTextBytes];
    size_t size = 0;
    bool ascii = true;
    QString decoded;

    void read(order::BufferedFile& file, int64_t at, uint32_t count)
    {
        const int64_t n = std::min<int64_t>(count, kTextBytes);
        const int64_t got = n > 0 ? file.readAt(at, bytes, n) : 0;
        const auto* zero = static_cast<const char*>(std::memchr(bytes, 0, static_cast<size_t>(got)));
        size = zero ? static_cast<size_t>(zero - bytes) : static_cast<size_t>(got);
        ascii = true;
        for (size_t i = 0; i < size && ascii; ++i)
            ascii = static_cast<unsigned char>(bytes[i]) < 0x80;
        decoded = ascii ? QString() : upperCased(decodeAnsi(bytes, size));
    }
    bool contains(const QString& upperWord, const QByteArray& wordBytes, bool wordAscii) const
    {
        if (ascii)
            return wordAscii && asciiContains(bytes, size, wordBytes);
        return decoded.contains(upperWord, Qt::CaseSensitive);
    }
    QString text() const { return ascii ? QString::fromLatin1(bytes, qsizetype(size)) : decodeAnsi(bytes, size); }
};

bool containsAllWords(const QString& text, const QStringList& words);

bool containsAllWords(const TagText& text, const Conditions& c)
{
    if (c.wordBytes.size() != size_t(c.words.size()) || c.wordIsAscii.size() != size_t(c.words.size()))
        return containsAllWords(text.text(), c.words);  // conditions not prepared
    for (qsizetype i = 0; i < c.words.size(); ++i)
        if (!text.contains(c.words[i], c.wordBytes[size_t(i)], c.wordIsAscii[size_t(i)]))
            return false;
    return true;
}

// The words are upper-cased already.
bool containsAllWords(const QString& text, const QStringList& words)
{
    const QString upper = upperCased(text);
    return std::all_of(words.begin(), words.end(),
                       [&](const QString& w) { return upper.contains(w, Qt::CaseSensitive); });
}

// With the file at an entry's type field: skips the type, reads the count
// and finds where the value stands (in the entry, or at its offset from the
// TIFF header at base). False when the entry runs past the end of the file.
bool readValuePlace(order::BufferedFile& file, bool le, int64_t base, uint32_t& count, int64_t& at)
{
    file.skip(2);
    if (!file.readU32(count, le))
        return false;
    at = file.position();
    if (count > 4) {
        uint32_t offset = 0;
        if (!file.readU32(offset, le))
            return false;
        at = base + offset;
    }
    return true;
}

}  // namespace

QString trimBlanks(const QString& text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from).unicode() <= 0x20)
        ++from;
    while (to > from && text.at(to - 1).unicode() <= 0x20)
        --to;
    return text.mid(from, to - from);
}

QStringList splitWords(const QString& editText)
{
    const QString w = (trimBlanks(editText) + QLatin1Char(' ')).left(1000);
    QStringList words = w.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() > kMaxWords)
        words.erase(words.begin() + kMaxWords, words.end());
    return words;
}

QString upperCased(const QString& text)
{
    // Unicode case mapping: 'ａ' (U+FF41) becomes 'Ａ' (U+FF21), never 'A';
    // hiragana and katakana have no case.
    return text.toUpper();
}

bool Contains(const QString& text, const QString& word)
{
    return upperCased(text).contains(upperCased(word), Qt::CaseSensitive);
}

Conditions makeConditions(const QString& wordText, const QString& dateText, bool searchBoth,
                          int searchArea, bool collectShotDate)
{
    Conditions c;
    for (const QString& w : splitWords(wordText))
        c.words.append(upperCased(w));
    c.dateText = upperCased(trimBlanks(dateText));
    c.inTitle = searchBoth || searchArea == 0;
    c.inComment = searchBoth || searchArea == 1;
    c.collectShotDate = collectShotDate;
    c.prepare();
    return c;
}

void Conditions::prepare()
{
    wordBytes.clear();
    wordIsAscii.clear();
    for (const QString& w : words) {
        wordBytes.push_back(w.toLatin1());
        wordIsAscii.push_back(isAsciiText(w.toUtf8()));
    }
    dateBytes = dateText.toLatin1();
    dateIsAscii = isAsciiText(dateText.toUtf8());
}

bool TiffMatch(order::BufferedFile& file, int64_t segmentEnd, const Conditions& given, QString& shotDate,
               int64_t start)
{
    Conditions preparedCopy;
    const bool prepared = given.wordBytes.size() == size_t(given.words.size()) &&
                          given.wordIsAscii.size() == size_t(given.words.size()) &&
                          given.dateBytes.size() == given.dateText.size();
    if (!prepared) {
        preparedCopy = given;
        preparedCopy.prepare();
    }
    const Conditions& conditions = prepared ? given : preparedCopy;
    const bool haveWords = !conditions.words.isEmpty();
    bool result = false;
    bool wordsFound = !haveWords;
    bool dateFound = conditions.dateText.isEmpty();
    const bool lookInComment = haveWords && conditions.inComment;
    bool sortDateDone = !conditions.collectShotDate;
    shotDate.clear();

    const int64_t base = file.position();
    char byteOrder[2];
    if (file.read(byteOrder, 2) != 2)
        return false;
    const bool le = byteOrder[0] == 'I' && byteOrder[1] == 'I';
    file.skip(2);
    uint32_t ifd0 = 0;
    if (!file.readU32(ifd0, le))
        return false;
    std::vector<int64_t> ifds{base + ifd0};
    TagText text;

    for (size_t k = 0; k < ifds.size(); ++k) {
        file.seek(ifds[k]);
        uint16_t entries = 0;
        if (!file.readU16(entries, le))
            return result;
        for (int j = 1; j <= entries; ++j) {
            const int64_t entry = file.position();
            // Entries outside the Exif segment belong to no Exif block.
            if (entry > segmentEnd || entry - start > kTiffWalkLimit)
                return result;
            uint16_t tag = 0;
            if (!file.readU16(tag, le))
                return result;
            const int64_t next = entry + 12;
            if (tag == kExifIfdPointer) {
                file.skip(6);
                uint32_t offset = 0;
                if (!file.readU32(offset, le))
                    return result;
                if (ifds.size() < kMaxIfds)
                    ifds.push_back(base + offset);
                break;  // the rest of this IFD is not looked at
            }
            if (tag == kImageDescription || tag == kDateTime || tag == kDateTimeOriginal ||
                tag == kDateTimeDigitized) {
                uint32_t count = 0;
                int64_t at = 0;
                if (!readValuePlace(file, le, base, count, at))
                    return result;
                text.read(file, at, count);
                if (!wordsFound && tag == kImageDescription && conditions.inTitle)
                    wordsFound = containsAllWords(text, conditions);
                if (!dateFound && tag != kImageDescription)
                    dateFound = text.contains(conditions.dateText, conditions.dateBytes, conditions.dateIsAscii);
                if (!sortDateDone && tag == kDateTimeOriginal) {
                    shotDate = order::fitShotDate(text.text());
                    sortDateDone = true;
                }
                result = wordsFound && dateFound;
                if ((result && sortDateDone) ||
                    (dateFound && !lookInComment && tag == kImageDescription && sortDateDone) ||
                    (!lookInComment && tag == kDateTimeDigitized && sortDateDone))
                    return result;
                file.seek(next);
                continue;
            }
            if (tag == kUserComment) {
                // The dates come before the comment: a picture whose date
                // did not match is not one, whatever its comment says, and
                // a comment after a maker note may be a second read away.
                if (!lookInComment || wordsFound || !dateFound)
                    return result;
                uint32_t count = 0;
                int64_t at = 0;
                if (!readValuePlace(file, le, base, count, at))
                    return result;
                std::vector<uint8_t> value(static_cast<size_t>(std::min<int64_t>(count, kCommentBytes)));
                const int64_t got = file.readAt(at, value.data(), static_cast<int64_t>(value.size()));
                metadata::ByteStream stream(value.data(), static_cast<size_t>(got));
                const QString comment = QString::fromStdString(metadata::ComtRead(stream, got));
                wordsFound = containsAllWords(comment, conditions.words);
                return wordsFound && dateFound;
            }
            if (tag > kUserComment && j > 10)
                return result;
            file.seek(next);
        }
    }
    return result;
}

PictureMatch matchPicture(const QString& path, const Conditions& conditions)
{
    return matchPicture(order::nativePath(path), conditions);
}

namespace {

// The match of the JPEG whose segments begin at `start` (a JPEG file, or the
// picture a raw file embeds).
PictureMatch jpegMatch(order::BufferedFile& file, int64_t start, const Conditions& conditions)
{
    PictureMatch m;
    m.opened = true;
    file.seek(start);
    uint8_t soi[2];
    if (file.read(soi, 2) != 2 || soi[0] != 0xFF || soi[1] != 0xD8)
        return m;
    if (!file.hasByteAt(start + 99))
        return m;
    for (;;) {
        uint16_t marker = 0;
        uint16_t length = 0;
        if (!file.readU16(marker, false) || !file.readU16(length, false))
            return m;
        if (isTableFrameOrScan(marker) || length < 2)
            return m;
        if (marker == 0xFFE1) {
            // Only the first APP1 segment is looked at: Exif or nothing.
            const int64_t segmentEnd = file.position() + length - 2;
            char id[4];
            if (file.read(id, 4) != 4 || std::memcmp(id, "Exif", 4) != 0)
                return m;
            file.skip(2);
            m.matched = TiffMatch(file, segmentEnd, conditions, m.shotDate, start);
            return m;
        }
        file.skip(static_cast<int64_t>(length) - 2);
        if (file.position() - start > kSegmentWalkLimit || !file.hasByteAt(file.position()))
            return m;
    }
}

PictureMatch tiffMatchAt(order::BufferedFile& file, metadata::Extent block, const Conditions& conditions)
{
    PictureMatch m;
    m.opened = true;
    file.seek(block.offset);
    m.matched = TiffMatch(file, block.offset + block.size, conditions, m.shotDate, block.offset);
    return m;
}

// The match of the open file; the container is told by the ending of name.
PictureMatch matchOpened(order::BufferedFile& file, const order::NativePath& name, const Conditions& conditions)
{
    if (!file.isOpen())
        return {};
    const metadata::Container container = order::containerOf(name);
    if (container == metadata::Container::Jpeg || container == metadata::Container::None)
        return jpegMatch(file, 0, conditions);
    PictureMatch m;
    m.opened = true;
    order::FileSource source(file);
    const metadata::ExifPlace place = metadata::locateExif(source, container);
    switch (place.form) {
    case metadata::ExifPlace::Form::JpegStream:
        return jpegMatch(file, place.where.offset, conditions);
    case metadata::ExifPlace::Form::Tiff:
        // A compressed Exif box would have to be inflated whole first.
        if (place.brotli)
            return m;
        return tiffMatchAt(file, place.where, conditions);
    case metadata::ExifPlace::Form::Cr3: {
        // The title and the dates of IFD0; the shooting date for the order
        // from the Exif IFD's block.
        if (place.cr3[0].empty())
            return m;
        m = tiffMatchAt(file, place.cr3[0], conditions);
        if (conditions.collectShotDate && m.shotDate.isEmpty() && !place.cr3[1].empty()) {
            file.seek(place.cr3[1].offset);
            m.shotDate = order::fitShotDate(order::decodeShotDate(order::TiffDateRead(file)));
        }
        return m;
    }
    case metadata::ExifPlace::Form::None:
        break;
    }
    return m;
}

}  // namespace

PictureMatch matchPicture(const order::NativePath& path, const Conditions& conditions)
{
    order::BufferedFile file(path);
    return matchOpened(file, path, conditions);
}

PictureMatch matchPicture(const order::Folder& folder, const order::NativePath& name, const Conditions& conditions)
{
    order::BufferedFile file(folder, name);
    return matchOpened(file, name, conditions);
}

}  // namespace search
