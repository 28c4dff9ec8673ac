#include "folder/display_order.h"


#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include "folder/buffered_file.h"
#include "imaging/picture_decoder.h"
#include "platform/collation.h"
#include "platform/regular_file.h"
#include "platform/text_codec.h"

namespace order {

namespace {

// The segment walk gives up past this byte: the Exif block sits at the
// front of every camera file.
constexpr int64_t kSegmentWalkLimit = 65000;
// Date bytes taken at most; longer values are cut, never read further.
constexpr int64_t kDateBytes = 24;

bool isTableFrameOrScan(uint16_t marker)
{
    switch (marker) {
    case 0xFFDB:  // quantisation table
    case 0xFFC4:  // Huffman table
    case 0xFFC0:  // baseline frame
    case 0xFFDA:  // start of scan
    case 0xFFDD:  // restart interval
        return true;
    default:
        return false;
    }
}

}  // namespace

QString decodeShotDate(const std::string& bytes)
{
    const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii)
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return QString::fromStdString(platform::cp932ToUtf8(bytes));
}

uint32_t packDosDateTime(const QDateTime& localTime)
{
    const QDate d = localTime.date();
    const QTime t = localTime.time();
    if (!d.isValid() || !t.isValid() || d.year() < 1980 || d.year() > 2107)
        return 0;
    return static_cast<uint32_t>(d.year() - 1980) << 25 | static_cast<uint32_t>(d.month()) << 21 |
           static_cast<uint32_t>(d.day()) << 16 | static_cast<uint32_t>(t.hour()) << 11 |
           static_cast<uint32_t>(t.minute()) << 5 | static_cast<uint32_t>(t.second() / 2);
}

QString fileDateKey(const QDateTime& lastWrite)
{
    if (!lastWrite.isValid())
        return QStringLiteral("FFFFFFFF");
    return QStringLiteral("%1").arg(packDosDateTime(lastWrite.toLocalTime()), 8, 16, QLatin1Char('0')).toUpper();
}

QString fileDateKey(const QString& path)
{
    const platform::FileFacts info = platform::lookUpFile(path);
    if (!info.exists)
        return QStringLiteral("FFFFFFFF");
    return fileDateKey(info.modified);
}

QString fitShotDate(const QString& date)
{
    if (date.size() >= kShotDateKeyLength)
        return date.left(kShotDateKeyLength);
    return date + QString(kShotDateKeyLength - date.size(), QLatin1Char(' '));
}

QString folderNumberText(int folderNumber)
{
    return QStringLiteral("%1").arg(folderNumber, kFolderNumberLength, 10, QLatin1Char('0'));
}

std::string TiffDateRead(BufferedFile& file)
{
    const int64_t base = file.position();
    char byteOrder[2];
    if (file.read(byteOrder, 2) != 2)
        return {};
    const bool le = byteOrder[0] == 'I' && byteOrder[1] == 'I';
    file.skip(2);
    uint32_t offset = 0;
    if (!file.readU32(offset, le))
        return {};
    file.seek(base + offset);
    uint16_t entries = 0;
    if (!file.readU16(entries, le))
        return {};
    bool inExifIfd = false;
    for (uint32_t i = 0; i < entries; ++i) {
        uint16_t tag = 0;
        uint32_t count = 0;
        if (!file.readU16(tag, le))
            return {};
        file.skip(2);  // type
        if (!file.readU32(count, le))
            return {};
        const int64_t valueField = file.position();
        if (tag == 0x8769 && !inExifIfd) {
            // Only the Exif IFD is visited, once; the rest of IFD0 is not.
            uint32_t exifOffset = 0;
            if (!file.readU32(exifOffset, le))
                return {};
            file.seek(base + exifOffset);
            if (!file.readU16(entries, le))
                return {};
            inExifIfd = true;
            i = static_cast<uint32_t>(-1);
            continue;
        }
        if (tag == 0x9003 || tag == 0x9004) {
            const int64_t n = std::min<int64_t>(count, kDateBytes);
            int64_t at = valueField;
            if (count > 4) {
                uint32_t valueOffset = 0;
                if (!file.readU32(valueOffset, le))
                    return {};
                at = base + valueOffset;
            }
            char bytes[kDateBytes];
            const int64_t got = n > 0 ? file.readAt(at, bytes, n) : 0;
            const auto* zero = static_cast<const char*>(std::memchr(bytes, 0, static_cast<size_t>(got)));
            return std::string(bytes, zero ? static_cast<size_t>(zero - bytes) : static_cast<size_t>(got));
        }
        file.seek(valueField + 4);
    }
    return {};
}

namespace {

// The date of the JPEG whose segments begin at `start` (a JPEG file, or the
// picture a raw file embeds).
std::string jpegShotDate(BufferedFile& file, int64_t start)
{
    file.seek(start);
    uint8_t soi[2];
    if (file.read(soi, 2) != 2 || soi[0] != 0xFF || soi[1] != 0xD8)
        return {};
    if (!file.hasByteAt(start + 99))
        return {};
    for (;;) {
        uint16_t marker = 0;
        uint16_t length = 0;
        if (!file.readU16(marker, false) || !file.readU16(length, false))
            return {};
        if (isTableFrameOrScan(marker) || length < 2)
            return {};
        if (marker == 0xFFE1) {
            char id[4];
            if (file.read(id, 4) != 4)
                return {};
            if (std::memcmp(id, "Exif", 4) == 0) {
                file.skip(2);
                return TiffDateRead(file);
            }
            file.skip(static_cast<int64_t>(length) - 6);
        } else {
            file.skip(static_cast<int64_t>(length) - 2);
        }
        if (file.position() - start > kSegmentWalkLimit || !file.hasByteAt(file.position()))
            return {};
    }
}

}  // namespace

namespace {

// The date of the open file; the container is told by the ending of name.
std::string shotDateOf(BufferedFile& file, const NativePath& name)
{
    if (!file.isOpen())
        return {};
    const metadata::Container container = containerOf(name);
    if (container == metadata::Container::Jpeg || container == metadata::Container::None)
        return jpegShotDate(file, 0);
    // The other containers: only the bytes on the way to the Exif are read,
    // wherever in the file it lies.
    FileSource source(file);
    const metadata::ExifPlace place = metadata::locateExif(source, container);
    switch (place.form) {
    case metadata::ExifPlace::Form::JpegStream:
        return jpegShotDate(file, place.where.offset);
    case metadata::ExifPlace::Form::Tiff:
        // A compressed Exif box would have to be inflated whole first.
        if (place.brotli)
            return {};
        file.seek(place.where.offset);
        return TiffDateRead(file);
    case metadata::ExifPlace::Form::Cr3:
        // The shooting date lies in the block of the Exif IFD.
        if (place.cr3[1].empty())
            return {};
        file.seek(place.cr3[1].offset);
        return TiffDateRead(file);
    case metadata::ExifPlace::Form::None:
        break;
    }
    return {};
}

}  // namespace

std::string ShotDateBytes(const NativePath& path)
{
    BufferedFile file(path);
    return shotDateOf(file, path);
}

std::string ShotDateBytes(const Folder& folder, const NativePath& name)
{
    BufferedFile file(folder, name);
    return shotDateOf(file, name);
}

QString ShotDateRead(const QString& path) { return decodeShotDate(ShotDateBytes(nativePath(path))); }

namespace {

// A leading shooting date as cameras write it, "YYYY:MM:DD HH:MM:SS", as
// the number its 14 digits make; -1 for anything else.
template <class Char>
int64_t packedDate(const Char* p, size_t size)
{
    static constexpr char kShape[] = "dddd:dd:dd dd:dd:dd";
    static_assert(sizeof kShape - 1 == kShotDateKeyLength);
    if (size < static_cast<size_t>(kShotDateKeyLength))
        return -1;
    int64_t value = 0;
    for (int i = 0; i < kShotDateKeyLength; ++i) {
        const auto c = static_cast<char32_t>(p[i]);
        if (kShape[i] != 'd') {
            if (c != static_cast<char32_t>(kShape[i]))
                return -1;
        } else if (c < U'0' || c > U'9') {
            return -1;
        } else {
            value = value * 10 + static_cast<int64_t>(c - U'0');
        }
    }
    return value;
}

int64_t packedShotDate(const QString& entry)
{
    return packedDate(reinterpret_cast<const char16_t*>(entry.constData()), static_cast<size_t>(entry.size()));
}

}  // namespace

ShotDateKey shotDateKey(const std::string& bytes)
{
    ShotDateKey key;
    if (bytes.empty())
        return key;
    // The first 19 bytes decide: what follows is cut from the key.
    key.packed = packedDate(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    if (key.packed < 0)
        key.odd = fitShotDate(decodeShotDate(bytes));
    return key;
}

QString ShotDateKey::text() const
{
    if (packed < 0)
        return odd;
    char out[kShotDateKeyLength];
    static constexpr char kShape[] = "dddd:dd:dd dd:dd:dd";
    int64_t rest = packed;
    for (int i = kShotDateKeyLength - 1; i >= 0; --i) {
        if (kShape[i] == 'd') {
            out[i] = static_cast<char>('0' + rest % 10);
            rest /= 10;
        } else {
            out[i] = kShape[i];
        }
    }
    return QString::fromLatin1(out, kShotDateKeyLength);
}

std::vector<qsizetype> sortedEntryOrder(const QStringList& entries)
{
    std::vector<int64_t> packed;
    packed.reserve(static_cast<size_t>(entries.size()));
    for (const QString& e : entries)
        packed.push_back(packedShotDate(e));
    return sortedEntryOrder(packed, [&](qsizetype i) { return entries.at(i); });
}

std::vector<qsizetype> sortedEntryOrder(const std::vector<int64_t>& packed,
                                        const std::function<QString(qsizetype)>& entryAt)
{
    // A date order's entries nearly all begin with a camera's date. The
    // collation ranks digits in their numeric order and finds the
    // separators at the same places in each, so two different dates order
    // as the numbers their digits make: the list is sorted by those, and
    // only entries of one date are collated. Any other entry: collated all.
    const auto n = static_cast<qsizetype>(packed.size());
    const bool byNumber =
        n >= 64 && std::all_of(packed.begin(), packed.end(), [](int64_t date) { return date >= 0; });
    if (!byNumber) {
        QStringList entries;
        entries.reserve(n);
        for (qsizetype i = 0; i < n; ++i)
            entries.append(entryAt(i));
        return platform::listCollation().order(entries);
    }
    std::vector<std::pair<int64_t, qsizetype>> keys;
    keys.reserve(static_cast<size_t>(n));
    for (qsizetype i = 0; i < n; ++i)
        keys.emplace_back(packed[static_cast<size_t>(i)], i);
    const platform::Collation& collation = platform::listCollation();
    std::sort(keys.begin(), keys.end(), [&](const auto& a, const auto& b) {
        if (a.first != b.first)
            return a.first < b.first;
        return collation.compare(entryAt(a.second), entryAt(b.second)) < 0;
    });
    std::vector<qsizetype> order;
    order.reserve(keys.size());
    for (const auto& key : keys)
        order.push_back(key.second);
    return order;
}

void sortEntries(QStringList& entries)
{
    const std::vector<qsizetype> order = sortedEntryOrder(entries);
    QStringList sorted;
    sorted.reserve(entries.size());
    for (qsizetype i : order)
        sorted.append(std::move(entries[i]));
    entries = std::move(sorted);
}

void sortAndSplit(QStringList& entries, int keyLength, bool ascending,
                  QStringList& folderIndexList, QStringList& fileList)
{
    sortEntries(entries);
    folderIndexList.clear();
    fileList.clear();
    folderIndexList.reserve(entries.size());
    fileList.reserve(entries.size());
    const qsizetype n = entries.size();
    for (qsizetype k = 0; k < n; ++k) {
        const QString& e = entries[ascending ? k : n - 1 - k];
        folderIndexList.append(e.right(kFolderNumberLength));
        const qsizetype nameLength = std::max<qsizetype>(0, e.size() - keyLength - kFolderNumberLength);
        fileList.append(e.mid(keyLength, std::min<qsizetype>(nameLength, kNameLimit)));
    }
}

QStringList namesOfSorted(const QStringList& sortedEntries, int keyLength, bool ascending)
{
    QStringList names;
    names.reserve(sortedEntries.size());
    const qsizetype n = sortedEntries.size();
    for (qsizetype k = 0; k < n; ++k)
        names.append(sortedEntries[ascending ? k : n - 1 - k].mid(keyLength, kNameLimit));
    return names;
}

uint32_t clockSeed()
{
    const auto ticks = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<uint32_t>(static_cast<uint64_t>(ticks) & 0xFFFFFFFFu);
}

void shuffle(QStringList& names, Random32& random)
{
    const qsizetype n = names.size();
    for (qsizetype p = 0; p + 1 < n; ++p) {
        const qsizetype r = random.next(static_cast<uint32_t>(n - p));
        names.swapItemsAt(p, p + r);
    }
}

void shuffle(QStringList& names, QStringList& folderIndexes, Random32& random)
{
    // Lists of unequal length would tear names from their folders.
    const qsizetype n = std::min(names.size(), folderIndexes.size());
    for (qsizetype p = 0; p + 1 < n; ++p) {
        const qsizetype r = random.next(static_cast<uint32_t>(n - p));
        names.swapItemsAt(p, p + r);
        folderIndexes.swapItemsAt(p, p + r);
    }
}

int displayWidth(const QString& name)
{
    int width = 0;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u < 0x80 || (u >= 0xFF61 && u <= 0xFF9F))
            width += 1;          // ASCII and half-width katakana: one byte
        else if (!c.isLowSurrogate())
            width += 2;
    }
    return width;
}

int scrollWidthFor(int listWidth, const QStringList& names)
{
    int widest = 1;
    for (const QString& n : names)
        widest = std::max(widest, displayWidth(n));
    return scrollWidthForWidest(listWidth, widest);
}

int scrollWidthForWidest(int listWidth, int widest)
{
    return static_cast<int>(static_cast<int64_t>(listWidth) * std::max(widest, 1) / 23);
}

bool carriesExif(const QString& name)
{
    const imaging::PictureFormat* f = imaging::formatFor(name);
    return f && f->exif != metadata::Container::None;
}

QStringList exifPictureNames(const QStringList& names)
{
    QStringList out;
    out.reserve(names.size());
    for (const QString& n : names)
        if (carriesExif(n))
            out.append(n);
    return out;
}

}  // namespace order
