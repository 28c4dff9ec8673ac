// Enhanced metafiles through our rewrites, libemf2svg (in process here: the
// viewer runs the same code in daredazi-emf2svg) and the SVG drawing.
#include "decoder_fuzz.h"
#include "imaging/emf/emf_converter.h"
#include "imaging/picture_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzsupport::ensureApplication();
    const QByteArray svg = imaging::emfToSvg(data, size, imaging::installedGlyphText);
    if (!svg.isEmpty()) {
        try {
            (void)imaging::renderSvg(svg);
        } catch (const imaging::DecodeError&) {
        }
    }
    return 0;
}
