#pragma once
// File names as the system stores them (bytes) and as the program keeps
// them (QString). A name that is not valid UTF-8 (Shift-JIS names unpacked
// from old Windows archives) keeps each byte that does not decode as the
// lone surrogate U+DC80..U+DCFF, so the text turns back into exactly the
// same bytes when the file is opened. The show list stays a list of plain
// texts that sort, match masks and join like any other; only the places
// that open a file or show a name to the user convert.
#include <QByteArray>
#include <QString>

namespace platform {

// The bytes of a name (or path) read from the system.
QString decodeFileName(const char* bytes, qsizetype size);
QString decodeFileName(const QByteArray& bytes);
// The bytes the system knows the name (or path) by.
QByteArray encodeFileName(const QString& name);

// Whether the name holds bytes that were not UTF-8.
bool hasRawBytes(const QString& name);

// The name as the user reads it: a name whose bytes form Shift-JIS (code
// page 932) is shown decoded so; other raw bytes show as U+FFFD. Names that
// were UTF-8 come back unchanged.
QString displayFileName(const QString& name);

}  // namespace platform
