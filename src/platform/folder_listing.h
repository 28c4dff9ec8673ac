#pragma once
// Reading a folder's entries, and the order folders are shown and walked in.
#include <QString>
#include <QStringList>

namespace platform {

// Reads the entries of one folder: the names of its sub-folders and of its
// files (links followed; hidden entries, devices, sockets and dangling links
// left out). Either list may be null. False when the folder cannot be read.
bool listFolder(const QString& dir, QStringList* folders, QStringList* files);

// Sibling order of folders as the tree shows them (and as the sub-folder
// walk visits them): natural, case-insensitive name order.
bool folderNameLess(const QString& a, const QString& b);

}  // namespace platform
