#include "support/hostile_folders.h"

#include <QBuffer>
#include <QFile>
#include <QImage>

#include <string>

#include "support/note_flood.h"

#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

using flood::entry;
using flood::le16;
using flood::le32;

// An APP1 Exif segment around a TIFF block, put after the SOI of a picture.
QByteArray withExif(const QByteArray& jpeg, const std::string& tiff)
{
    const std::string seg = exifSegment(tiff);
    return jpeg.left(2) + QByteArray(seg.data(), static_cast<qsizetype>(seg.size())) + jpeg.mid(2);
}

}  // namespace

QByteArray plainJpeg(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 80);
    return out;
}

QByteArray canonNoteFlood(int entries, int values)
{
    return withExif(plainJpeg(16, 16), canonNoteFloodTiff(entries, values));
}

QByteArray jpegNamingSound(const QString& soundName)
{
    const QByteArray name = soundName.toUtf8() + '\0';
    const unsigned ifd0 = 8, exifIfd = ifd0 + 2 + 12 + 4, nameAt = exifIfd + 2 + 12 + 4;
    std::string t = "II";
    le16(t, 42);
    le32(t, ifd0);
    le16(t, 1);
    entry(t, 34665, 4, 1, exifIfd);
    le32(t, 0);
    le16(t, 1);
    entry(t, 40964, 2, static_cast<unsigned>(name.size()), nameAt);
    le32(t, 0);
    t.append(name.constData(), static_cast<size_t>(name.size()));
    return withExif(plainJpeg(64, 48), t);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

bool makeSparseFile(const QString& path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.resize(size);
}

bool makeFifo(const QString& path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }

bool makeLink(const QString& target, const QString& link)
{
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) == 0;
}

}  // namespace testsupport
