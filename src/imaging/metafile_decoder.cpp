// Windows metafiles: WMF through libwmf's SVG layer, EMF through
// libemf2svg; both drawn with Qt SVG at the metafile's own size.
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "imaging/metafile_repair.h"
#include "imaging/format_readers.h"
#include "imaging/library_formats.h"
#include "platform/text_codec.h"

// The EMF converter looks fonts up through fontconfig and shuts fontconfig
// down after every text record, which aborts the process while Qt still
// holds fontconfig's caches. Shutting down only frees memory at exit, so
// the program keeps fontconfig alive for its whole run.
extern "C" void FcFini(void) {}

namespace imaging {

namespace {
// Metafiles can claim any extent; the raster copy stays a sensible size.
// A fuzzing build draws at most 64 x 64: the drawing is Qt's, the same code
// at any size, and at 256 x 256 it took nine tenths of an input's time.
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr int kMaxMetafileSide = 4096;
#else
constexpr int kMaxMetafileSide = 64;
#endif

// Qt's SVG renderer holds about 5 KB and spends about 20 us for each
// element it draws (100,000 lines of a 1.6 MB EMF took 2 s and 510 MB; a
// million, 20 s and 5 GB). A drawing of more elements than this is refused
// before it is parsed; at the bound a drawing takes about 1.2 s and 260 MB.
constexpr qsizetype kMaxSvgElements = 50'000;

// The start tags of a drawing, counted up to the bound.
qsizetype svgElements(const QByteArray& svg)
{
    qsizetype n = 0;
    const char* d = svg.constData();
    for (qsizetype i = 0; i + 1 < svg.size() && n <= kMaxSvgElements; ++i)
        if (d[i] == '<' && ((d[i + 1] >= 'a' && d[i + 1] <= 'z') || (d[i + 1] >= 'A' && d[i + 1] <= 'Z')))
            ++n;
    return n;
}
}

QImage renderSvg(const QByteArray& raw)
{
    if (svgElements(raw) > kMaxSvgElements)
        throw DecodeError("metafile drawing too large");
    // Text of symbol fonts arrives as raw bytes; XML wants valid UTF-8
    // without control characters.
    std::string text = platform::sanitizeUtf8(std::string_view(raw.constData(), static_cast<size_t>(raw.size())));
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\r' && c != '\t')
            c = ' ';
    // The WMF layer writes a text's characters unescaped: escape what
    // stands between an opening tag's "\n\t>" and the next "</text>".
    std::string xml;
    xml.reserve(text.size());
    size_t pos = 0;
    for (;;) {
        const size_t open = text.find("\n\t>", pos);
        const size_t close = open == std::string::npos ? open : text.find("</text>", open + 3);
        if (close == std::string::npos) {
            xml.append(text, pos, std::string::npos);
            break;
        }
        xml.append(text, pos, open + 3 - pos);
        for (size_t i = open + 3; i < close; ++i) {
            const char c = text[i];
            if (c == '&')
                xml += "&amp;";
            else if (c == '<')
                xml += "&lt;";
            else if (c == '>')
                xml += "&gt;";
            else
                xml += c;
        }
        pos = close;
    }
    QSvgRenderer renderer(QByteArray::fromStdString(xml));
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
    const QByteArray svg = convertEmf(data, size);
    if (svg.isEmpty())
        throw DecodeError("bad EMF");
    return renderSvg(svg);
}

QImage decodeWmf(const uchar* data, size_t size)
{
    if (!data || size < 18)
        throw DecodeError("not a WMF");
    // The library allocates the header's largest-record size (in 16-bit
    // words) up front: a record larger than the file is a lie.
    const size_t header = size >= 40 && data[0] == 0xD7 && data[1] == 0xCD && data[2] == 0xC6 && data[3] == 0x9A ? 22 : 0;
    if (size < header + 18)
        throw DecodeError("not a WMF");
    const uchar* h = data + header;
    const uint64_t maxRecordBytes = 2 * (uint64_t(h[12]) | (uint64_t(h[13]) << 8) | (uint64_t(h[14]) << 16) | (uint64_t(h[15]) << 24));
    if (maxRecordBytes > size)
        throw DecodeError("bad WMF header");
    if (wmfRecordCount(data, size, kMaxMetafileRecords) > kMaxMetafileRecords)
        throw DecodeError("too many WMF records");
    if (!wmfBitmapsFit(data, size))
        throw DecodeError("WMF bitmap larger than its record");
    if (!wmfPolyPolygonsFit(data, size))
        throw DecodeError("WMF polygons larger than their record");
    QByteArray svg;
    if (!libraryFormats().playWmf(std::vector<unsigned char>(data, data + size), kMaxMetafileSide, svg)) {
        // The library refuses region records written in layouts it does not
        // expect, and with them the whole file: the rest still draws.
        std::vector<unsigned char> withoutRegions = wmfWithoutRegions(data, size);
        svg.clear();
        if (withoutRegions.empty() || !libraryFormats().playWmf(std::move(withoutRegions), kMaxMetafileSide, svg))
            throw DecodeError("bad WMF");
    }
    return renderSvg(svg);
}

DecodedPicture readWmfPicture(const QByteArray& data, const DecodeRequest&)
{
    DecodedPicture out;
    out.image = decodeWmf(bytesOf(data), sizeOf(data));
    out.fullSize = out.image.size();
    return out;
}

DecodedPicture readEmfPicture(const QByteArray& data, const DecodeRequest&)
{
    DecodedPicture out;
    out.image = decodeEmf(bytesOf(data), sizeOf(data));
    out.fullSize = out.image.size();
    return out;
}

}  // namespace imaging
