#pragma once
// The search's look at one picture file: the words in its title or comment
// and the date text in one of its three dates, read straight from the
// file's Exif block on the program's own buffered reads.
#include <QString>
#include <QStringList>

#include <QByteArray>

#include <cstdint>
#include <vector>

#include "folder/buffered_file.h"

namespace search {

// At most this many words count.
inline constexpr int kMaxWords = 10;

struct Conditions {
    QStringList words;     // upper-cased, at most kMaxWords
    QString dateText;      // upper-cased; empty: any date
    bool inTitle = true;   // look for the words in ImageDescription
    bool inComment = false;  // look for the words in UserComment
    bool collectShotDate = false;  // the results are ordered by DateTimeOriginal

    // The words and the date as bytes, for texts of plain ASCII (nearly all
    // titles and every date): no decoding needed to look into them.
    // Filled by prepare(); a word that is not ASCII cannot occur in an ASCII
    // text once both are upper-cased.
    std::vector<QByteArray> wordBytes;
    std::vector<bool> wordIsAscii;
    QByteArray dateBytes;
    bool dateIsAscii = true;
    void prepare();
};

// Removes leading and trailing characters up to U+0020 (blanks and control
// characters); a full-width space is text.
QString trimBlanks(const QString& text);
// The words of the edit text: separated by runs of half-width spaces; a
// full-width space belongs to its word. Only the first kMaxWords count; an
// edit of at most 1000 characters is looked at.
QStringList splitWords(const QString& editText);
// The locale's upper-casing: Latin letters of either width fold to their own
// width's capitals; kana have no case and stay as they are.
QString upperCased(const QString& text);
// Whether the upper-cased word occurs in the upper-cased text.
bool Contains(const QString& text, const QString& word);

// Builds the conditions from the dialog's texts and choices.
Conditions makeConditions(const QString& wordText, const QString& dateText, bool searchBoth,
                          int searchArea, bool collectShotDate);

struct PictureMatch {
    bool opened = false;   // the file could be opened at all
    bool matched = false;
    // With collectShotDate: DateTimeOriginal brought to 19 characters, or
    // empty when the picture has none.
    QString shotDate;
};

// Examines one file: only a JPEG file whose first APP1 segment is Exif,
// found before the first table, frame or scan marker, can match.
PictureMatch matchPicture(const QString& path, const Conditions& conditions);
// The same for a native path; safe on any thread.
PictureMatch matchPicture(const order::NativePath& path, const Conditions& conditions);
// The same for the file of that name (order::nativeName) in the folder.
PictureMatch matchPicture(const order::Folder& folder, const order::NativePath& name, const Conditions& conditions);

// The TIFF part: the file stands on the TIFF header of an Exif segment that
// ends at segmentEnd. Sets shotDate as matchPicture describes. Entries more
// than 64 KiB past `start` (where the walk of the file began: the JPEG, or
// the Exif block of another container) are not looked at.
bool TiffMatch(order::BufferedFile& file, int64_t segmentEnd, const Conditions& conditions,
               QString& shotDate, int64_t start = 0);

}  // namespace search
