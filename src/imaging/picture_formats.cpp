// The table of picture formats: which name endings select which reader.
#include "imaging/format_readers.h"
#include "imaging/library_formats.h"

#include <QStringList>

#include <iterator>
#include <vector>

namespace imaging {

namespace {

using metadata::Container;

// Readers that come with their libraries, loaded when first needed.
DecodedPicture loadedHeif(const QByteArray& data, const DecodeRequest& request)
{
    return libraryFormats().readHeif(data, request);
}
DecodedPicture loadedWebp(const QByteArray& data, const DecodeRequest& request)
{
    return libraryFormats().readWebp(data, request);
}
DecodedPicture loadedJxl(const QByteArray& data, const DecodeRequest& request)
{
    return libraryFormats().readJxl(data, request);
}

// The order is the file list's mask order.
constexpr PictureFormat kFormats[] = {
    {PictureKind::Jpeg, ".jpg;.jpeg", readJpegPicture, true, Container::Jpeg},
    {PictureKind::Bmp, ".bmp", readBmpPicture, true, Container::None},
    {PictureKind::Metafile, ".wmf", readWmfPicture, false, Container::None},
    {PictureKind::Metafile, ".emf", readEmfPicture, false, Container::None},
    {PictureKind::Png, ".png", readPngPicture, true, Container::None},
    {PictureKind::Gif, ".gif", readGifPicture, true, Container::None},
    {PictureKind::Ico, ".ico", readIcoPicture, false, Container::None},
    {PictureKind::Heif, ".heic;.heif;.avif", loadedHeif, true, Container::Isobmff},
    {PictureKind::Webp, ".webp", loadedWebp, true, Container::Webp},
    {PictureKind::Jxl, ".jxl", loadedJxl, true, Container::Jxl},
    {PictureKind::Raw, ".cr2;.nef;.dng", readRawPicture, true, Container::Tiff, rawPreviewPart},
    {PictureKind::Raw, ".rw2", readRawPicture, true, Container::Rw2, rawPreviewPart},
    {PictureKind::Raw, ".cr3", readRawPicture, true, Container::Isobmff, rawPreviewPart},
};

QStringList endingsOf(const PictureFormat& f) { return QString::fromLatin1(f.endings).split(QLatin1Char(';')); }

QString maskOf(bool exifOnly)
{
    QStringList patterns;
    for (const PictureFormat& f : kFormats)
        if (!exifOnly || f.exif != Container::None)
            for (const QString& e : endingsOf(f))
                patterns << QLatin1Char('*') + e;
    return patterns.join(QLatin1Char(';'));
}

}  // namespace

const PictureFormat* formatFor(const QString& fileName)
{
    // Every ending is a dot and letters: the name's part from its last dot
    // is compared, without a string made (a folder of thousands of names
    // asks for each).
    struct Ending {
        QString text;
        const PictureFormat* format;
    };
    static const std::vector<Ending> endings = [] {
        std::vector<Ending> out;
        for (const PictureFormat& f : kFormats)
            for (const QString& e : endingsOf(f))
                out.push_back({e, &f});
        return out;
    }();
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    if (dot < 0)
        return nullptr;
    const QStringView tail = QStringView(fileName).mid(dot);
    for (const Ending& e : endings)
        if (tail.compare(e.text, Qt::CaseInsensitive) == 0)
            return e.format;
    return nullptr;
}

PictureKind pictureKindFor(const QString& fileName)
{
    const PictureFormat* f = formatFor(fileName);
    return f ? f->kind : PictureKind::None;
}

QString pictureMask()
{
    static const QString mask = maskOf(false);
    return mask;
}

QString exifPictureMask()
{
    static const QString mask = maskOf(true);
    return mask;
}

DecodedPicture decodePicture(const QString& fileName, const QByteArray& data, const DecodeRequest& request)
{
    const PictureFormat* format = formatFor(fileName);
    if (!format)
        return {};
    DecodedPicture out = format->read(data, request);
    out.kind = format->kind;
    if (out.image.isNull())
        throw DecodeError("no picture");
    return out;
}

}  // namespace imaging
