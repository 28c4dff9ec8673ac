// Raw camera files: the walk to their embedded JPEG pictures (TIFF IFDs and
// sub-IFDs, RW2's variant, CR3's boxes), the choice of the biggest, its
// decode, and LibRaw for files without one; also the preview read on its
// own from the file, as the viewer reads it. The first byte picks the kind
// of file the rest is read as.
#include <QByteArray>

#include "decoder_fuzz.h"
#include "imaging/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzsupport::ensureApplication();
    if (size < 1)
        return 0;
    static const char* const kNames[] = {"a.cr2", "a.nef", "a.rw2", "a.cr3", "a.dng"};
    const QString name = QString::fromLatin1(kNames[data[0] % 5]);
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    imaging::DecodeRequest reduced;
    reduced.drawnSize = [](QSize s) { return fuzzsupport::thirdOf(s); };
    try {
        (void)imaging::decodePicture(name, bytes, reduced);
    } catch (const imaging::DecodeError&) {
    }
    const imaging::PictureFormat* format = imaging::formatFor(name);
    metadata::MemorySource source(data + 1, size - 1);
    const QByteArray part = format->shownPart(source, format->exif);
    if (!part.isEmpty()) {
        try {
            (void)imaging::decodePicture(name, part, reduced);
        } catch (const imaging::DecodeError&) {
        }
    }
    return 0;
}
