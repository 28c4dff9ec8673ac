// Icons through the budget check and Qt's icon reader, kept as icons and
// flattened onto the background.
#include "decoder_fuzz.h"
#include "imaging/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzsupport::ensureApplication();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (bool flatten : {false, true}) {
        try {
            imaging::DecodeRequest r;
            r.flattenIcon = flatten;
            (void)imaging::decodePicture(QStringLiteral("f.ico"), bytes, r);
        } catch (const imaging::DecodeError&) {
        }
    }
    return 0;
}
