// WMF through libwmf's SVG layer; the drawing is Qt's (the metafile reader).
#include <QByteArray>
#include <QSize>

#include <algorithm>
#include <vector>

#include <libwmf/api.h>
#include <libwmf/svg.h>

#include "imaging/format_readers.h"
#include "imaging/library_formats.h"

namespace imaging {

// Plays a WMF through the library's SVG layer; false when it refuses it.
bool playWmf(std::vector<unsigned char> copy, int maxSide, QByteArray& svg)
{
    wmfAPI* api = nullptr;
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // The library parses Ghostscript's font map afresh for every file; that
    // does not depend on the file and took a third of each run under the
    // sanitizers. The fuzzer reads an empty map.
    flags |= WMF_OPT_GS_FONTMAP;
    options.gs_fontmap_file = const_cast<char*>("/dev/null");
#endif
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        throw DecodeError("metafile library");
    }
    bool failed = wmf_mem_open(api, copy.data(), static_cast<long>(copy.size())) != wmf_E_None;
    wmfD_Rect bbox{};
    if (!failed)
        failed = wmf_scan(api, 0, &bbox) != wmf_E_None;
    unsigned int w = 0, h = 0;
    if (!failed) {
        // A placeable file states its size in inches; other files only
        // have the extent of their drawing, in logical units.
        if (wmf_display_size(api, &w, &h, 96, 96) != wmf_E_None || w == 0 || h == 0 || w > 1000000 || h > 1000000) {
            const double bw = double(bbox.BR.x) - bbox.TL.x, bh = double(bbox.BR.y) - bbox.TL.y;
            w = bw >= 1 && bw < 1e6 ? static_cast<unsigned>(bw + 0.5) : 0;
            h = bh >= 1 && bh < 1e6 ? static_cast<unsigned>(bh + 0.5) : 0;
        }
        failed = w == 0 || h == 0;
    }
    if (!failed) {
        QSize s(static_cast<int>(w), static_cast<int>(h));
        if (s.width() > maxSide || s.height() > maxSide)
            s.scale(maxSide, maxSide, Qt::KeepAspectRatio);
        wmf_svg_t* ddata = WMF_SVG_GetData(api);
        ddata->out = wmf_stream_create(api, nullptr);
        ddata->Description = const_cast<char*>("");
        ddata->bbox = bbox;
        ddata->width = static_cast<unsigned>(std::max(1, s.width()));
        ddata->height = static_cast<unsigned>(std::max(1, s.height()));
        failed = wmf_play(api, 0, &bbox) != wmf_E_None;
        char* buffer = nullptr;
        unsigned long length = 0;
        wmf_stream_destroy(api, ddata->out, &buffer, &length);
        if (buffer) {
            svg = QByteArray(buffer, static_cast<qsizetype>(length));
            wmf_free(api, buffer);
        }
        wmf_mem_close(api);
    }
    wmf_api_destroy(api);
    return !failed && !svg.isEmpty();
}

}  // namespace imaging
