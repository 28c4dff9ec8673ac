#pragma once
// The names of the files of one folder that match a mask of patterns
// separated by ';' (matched without regard to case), sorted by name without
// regard to case; hidden files are not listed.
#include <QString>
#include <QStringList>

#include "imaging/picture_decoder.h"

namespace widgets {

class FileListBox {
public:
    void setMask(const QString& mask);
    const QString& mask() const { return mask_; }

    // Lists dir with the current mask. Returns false when the folder cannot
    // be listed (the list is then empty).
    bool setDirectory(const QString& dir);
    // Lists the current folder again (after a mask change).
    bool update();
    // Lists dir from file names read moments ago (listFolder), which saves
    // reading a folder twice during a walk; readable false means that
    // reading failed.
    bool setListing(const QString& dir, const QStringList& fileNames, bool readable);
    // The folder as listed, without a trailing separator.
    const QString& directory() const { return directory_; }

    const QStringList& items() const { return items_; }
    int count() const { return static_cast<int>(items_.size()); }

private:
    void takeMatching(const QStringList& fileNames);

    QString mask_ = imaging::pictureMask();
    QString directory_;
    QStringList items_;
};

// A camera that writes a raw file beside its JPEG (or HEIC) writes one
// photograph twice: the raw file with the base name of such a picture in
// the same list is left out (names compared without regard to case).
QStringList withoutRawTwins(const QStringList& names);

}  // namespace widgets
