// Windows metafiles: WMF through libwmf's SVG layer, EMF through
// libemf2svg; both drawn with Qt SVG at the metafile's own size.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdlib>
#include <cstring>

extern "C" {
#include <emf2svg.h>
}
#include <libwmf/api.h>
#include <libwmf/svg.h>

#include "platform/picture_decoder.h"

namespace platform {

namespace {
// Metafiles can claim any extent; the raster copy stays a sensible size.
constexpr int kMaxMetafileSide = 4096;
}

QImage renderSvg(const QByteArray& svg)
{
    QSvgRenderer renderer(svg);
    if (!renderer.isValid())
        throw DecodeError("bad metafile drawing");
    QSize size = renderer.defaultSize();
    if (size.isEmpty()) {
        const QRectF box = renderer.viewBoxF();
        size = QSize(qRound(box.width()), qRound(box.height()));
    }
    if (size.width() <= 0 || size.height() <= 0)
        throw DecodeError("empty metafile");
    if (size.width() > kMaxMetafileSide || size.height() > kMaxMetafileSide)
        size.scale(kMaxMetafileSide, kMaxMetafileSide, Qt::KeepAspectRatio);
    size = size.expandedTo(QSize(1, 1));
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        throw DecodeError("out of memory");
    out.fill(Qt::transparent);
    QPainter p(&out);
    renderer.render(&p, QRectF(QPointF(0, 0), QSizeF(size)));
    p.end();
    return out;
}

QImage decodeEmf(const uchar* data, size_t size)
{
    // The header record: type 1, and the " EMF" signature at offset 40.
    if (!data || size < 88 || data[0] != 1 || data[1] || data[2] || data[3] || std::memcmp(data + 40, " EMF", 4) != 0)
        throw DecodeError("not an EMF");
    generatorOptions options{};
    options.nameSpace = const_cast<char*>("svg");
    options.verbose = false;
    options.emfplus = true;
    options.svgDelimiter = true;
    // The converter reads its input in place; give it a private copy.
    std::vector<char> copy(data, data + size);
    char* out = nullptr;
    size_t outLength = 0;
    const int ok = emf2svg(copy.data(), copy.size(), &out, &outLength, &options);
    QByteArray svg;
    if (out) {
        svg = QByteArray(out, static_cast<qsizetype>(outLength));
        std::free(out);
    }
    if (!ok || svg.isEmpty())
        throw DecodeError("bad EMF");
    return renderSvg(svg);
}

QImage decodeWmf(const uchar* data, size_t size)
{
    if (!data || size < 18)
        throw DecodeError("not a WMF");
    wmfAPI* api = nullptr;
    wmfAPI_Options options{};
    options.function = wmf_svg_function;
    const unsigned long flags = WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
    if (wmf_api_create(&api, flags, &options) != wmf_E_None) {
        if (api)
            wmf_api_destroy(api);
        throw DecodeError("metafile library");
    }
    std::vector<unsigned char> copy(data, data + size);
    QByteArray svg;
    bool failed = wmf_mem_open(api, copy.data(), static_cast<long>(copy.size())) != wmf_E_None;
    wmfD_Rect bbox{};
    if (!failed)
        failed = wmf_scan(api, 0, &bbox) != wmf_E_None;
    unsigned int w = 0, h = 0;
    if (!failed)
        failed = wmf_display_size(api, &w, &h, 96, 96) != wmf_E_None || w == 0 || h == 0;
    if (!failed) {
        wmf_svg_t* ddata = WMF_SVG_GetData(api);
        ddata->out = wmf_stream_create(api, nullptr);
        ddata->Description = const_cast<char*>("");
        ddata->bbox = bbox;
        ddata->width = std::min<unsigned>(w, kMaxMetafileSide);
        ddata->height = std::min<unsigned>(h, kMaxMetafileSide);
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
    if (failed || svg.isEmpty())
        throw DecodeError("bad WMF");
    return renderSvg(svg);
}

}  // namespace platform
