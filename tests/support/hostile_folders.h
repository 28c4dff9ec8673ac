#pragma once
// What a folder may hold to hurt the viewer, made in a temporary folder by
// the tests and the benchmark alike.
#include <QByteArray>
#include <QColor>
#include <QString>

namespace testsupport {

// A plain JPEG picture of the given size.
QByteArray plainJpeg(int width, int height, QColor colour = Qt::darkCyan);

// A plain JPEG with the Exif block of canonNoteFloodTiff (note_flood.h):
// 2,000 x 8,000 asks for sixteen million lines from 57 KB.
QByteArray canonNoteFlood(int entries = 2000, int values = 8000);

// A plain JPEG whose Exif block names a related sound file.
QByteArray jpegNamingSound(const QString& soundName);

// Writes bytes to path; false on failure.
bool writeFile(const QString& path, const QByteArray& bytes);
// A sparse file of the given size (no disk space taken).
bool makeSparseFile(const QString& path, qint64 size);
// A named pipe nobody writes to.
bool makeFifo(const QString& path);
// A symbolic link.
bool makeLink(const QString& target, const QString& link);

}  // namespace testsupport
