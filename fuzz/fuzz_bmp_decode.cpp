// The BMP reader at every stored depth, bit fields and run lengths, through
// the 32-bit conversion and both turns, and its reduced path.
#include "decoder_fuzz.h"
#include "imaging/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    try {
        const imaging::Bitmap b = imaging::decodeBmp(data, size);
        if (fuzzsupport::small(QSize(b.width, b.height))) {
            (void)b.toImage();
            for (int direction : {1, 2}) {
                const imaging::Bitmap t = imaging::RotateBitmap90(b, direction);
                (void)t.toImage();
            }
        }
    } catch (const imaging::DecodeError&) {
    }
    try {
        QImage reduced;
        QSize full;
        (void)imaging::decodeBmp(data, size, fuzzsupport::thirdOf, &reduced, &full);
    } catch (const imaging::DecodeError&) {
    }
    return 0;
}
