#pragma once
// The show orders of the folder window, as plain functions: the sort keys of
// the two date orders, the shooting-date reader they use, the split of sorted
// entries into the show list, the shuffle and the scroll width of the list.
//
// Entries are whole strings: a key of fixed length, the file name and, for
// entries collected from several folders, the folder number in six digits.
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "folder/buffered_file.h"

namespace order {

inline constexpr int kFileDateKeyLength = 8;
inline constexpr int kShotDateKeyLength = 19;
inline constexpr int kFolderNumberLength = 6;
// Longest name taken back out of an entry.
inline constexpr int kNameLimit = 1000;

// A local time packed as a DOS date-time: bits 31-25 year - 1980, 24-21
// month, 20-16 day, 15-11 hours, 10-5 minutes, 4-0 seconds / 2. Years the
// format cannot hold (before 1980, after 2107) pack to 0.
uint32_t packDosDateTime(const QDateTime& localTime);
// The 8 upper-case hexadecimal digits of the packed last-write time;
// "FFFFFFFF" when the time is not known (invalid), so such files sort last.
QString fileDateKey(const QDateTime& lastWrite);
// The same for a file on disk.
QString fileDateKey(const QString& path);

// A date text cut to 19 characters or padded with spaces to 19.
QString fitShotDate(const QString& date);
// A folder number as six digits with leading zeros.
QString folderNumberText(int folderNumber);

// The shooting date of a JPEG file (DateTimeOriginal, or DateTimeDigitized
// when it comes first) as stored, without its terminating zero; empty when
// the file is no JPEG, is shorter than 100 bytes, has no Exif segment before
// the first table, frame or scan, or carries no date.
QString ShotDateRead(const QString& path);
// The same, as the stored bytes, for a native path: nothing here touches
// Qt's shared data, so readers on other threads may call it.
std::string ShotDateBytes(const NativePath& path);
// The same for the file of that name (nativeName) in the folder.
std::string ShotDateBytes(const Folder& folder, const NativePath& name);
// Stored date bytes as text (code page 932 where they are not ASCII).
QString decodeShotDate(const std::string& bytes);
// The date out of a TIFF structure starting at the file's position; the
// stored bytes up to the first zero byte, at most 24 of them.
std::string TiffDateRead(BufferedFile& file);

// A shooting date as the date orders key it: nearly every camera writes
// "YYYY:MM:DD HH:MM:SS", kept as the number its 14 digits make, so a
// reading thread makes no string of it; any other date as its key text.
struct ShotDateKey {
    int64_t packed = -1;  // the digits' number, or -1
    QString odd;          // the key text when not packed
    bool found() const { return packed >= 0 || !odd.isEmpty(); }
    // The entry's 19 characters: what fitShotDate(decodeShotDate(bytes))
    // gives for the bytes it was made from.
    QString text() const;
};
// Of stored date bytes; found() is false for none.
ShotDateKey shotDateKey(const std::string& bytes);

// Sorts entries (case-insensitively, in the locale's collation) ascending.
void sortEntries(QStringList& entries);
// That order as positions in entries.
std::vector<qsizetype> sortedEntryOrder(const QStringList& entries);
// The same for n entries given by their dates' packed numbers (-1 where not
// packed) and entryAt(i), which is asked only where the number does not
// decide.
std::vector<qsizetype> sortedEntryOrder(const std::vector<int64_t>& packed,
                                        const std::function<QString(qsizetype)>& entryAt);
// Sorts entries and splits them into the show list: from the first entry on
// when ascending, from the last otherwise; the folder number is the last six
// characters, the name what lies between the key and the folder number.
void sortAndSplit(QStringList& entries, int keyLength, bool ascending,
                  QStringList& folderIndexList, QStringList& fileList);
// Of sorted work entries "key + name", the names in the given direction.
QStringList namesOfSorted(const QStringList& sortedEntries, int keyLength, bool ascending);

// The 32-bit linear congruential generator of the random order.
class Random32 {
public:
    explicit Random32(uint32_t seed) : seed_(seed) {}
    // 0 <= result < m.
    uint32_t next(uint32_t m)
    {
        seed_ = seed_ * 134775813u + 1u;
        return static_cast<uint32_t>((static_cast<uint64_t>(seed_) * m) >> 32);
    }
    uint32_t seed() const { return seed_; }

private:
    uint32_t seed_;
};

// The low 32 bits of the high-resolution clock: every OK seeds anew.
uint32_t clockSeed();
// Exchanges entry p with a later (or the same) entry p + Random(n - p).
void shuffle(QStringList& names, Random32& random);
// The same exchanges in both lists, so every name keeps its folder number.
void shuffle(QStringList& names, QStringList& folderIndexes, Random32& random);

// Width of a name in single-byte characters of the system code page:
// a full-width character counts 2.
int displayWidth(const QString& name);
// Horizontal scroll width of a list of the given width showing names:
// listWidth * L div 23, L the widest name's width, at least 1.
int scrollWidthFor(int listWidth, const QStringList& names);
// The same for a widest name of that display width.
int scrollWidthForWidest(int listWidth, int widest);

// Whether a name is listed by the Exif mask (kExifMask: JPEG and the
// other formats that carry Exif).
bool carriesExif(const QString& name);
// The names of a list that carry Exif, in their order.
QStringList exifPictureNames(const QStringList& names);

}  // namespace order
