// The JPEG XL reader and its glue: the decode straight into a reduced copy,
// and the full decode for small pictures.
#include <QByteArray>

#include "decoder_fuzz.h"
#include "imaging/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzsupport::ensureApplication();
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QSize claimed;
    imaging::DecodeRequest reduced;
    reduced.drawnSize = [&claimed](QSize s) {
        claimed = s;
        return fuzzsupport::thirdOf(s);
    };
    try {
        (void)imaging::decodePicture(QStringLiteral("a.jxl"), bytes, reduced);
    } catch (const imaging::DecodeError&) {
    }
    if (fuzzsupport::small(claimed)) {
        try {
            (void)imaging::decodePicture(QStringLiteral("a.jxl"), bytes, {});
        } catch (const imaging::DecodeError&) {
        }
    }
    return 0;
}
