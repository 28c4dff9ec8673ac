// JPEG through libjpeg(-turbo), with DCT scaling for reduced display copies.
#include <QImage>
#include <QPainter>

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>
#include <jerror.h>

#include "platform/picture_decoder.h"

namespace platform {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    longjmp(err->jump, 1);
}

void emitMessage(j_common_ptr cinfo, int level)
{
    // A file that ends early decodes as grey padding; that is a broken
    // picture, not a picture. Other warnings (stray bytes before a marker,
    // common in camera files) are harmless.
    if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF)
        errorExit(cinfo);
}

void outputMessage(j_common_ptr) {}

// Adobe writes CMYK inverted; both variants come out as RGB.
void cmykRowToRgb(const uchar* src, QRgb* dst, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, src += 4) {
        int c = src[0], m = src[1], y = src[2], k = src[3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        dst[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

}  // namespace

int jpegScaleFor(QSize full, QSize drawn)
{
    if (!drawn.isValid() || drawn.isEmpty() || drawn.width() >= full.width() || drawn.height() >= full.height())
        return 1;
    for (int d : {8, 4, 2}) {
        const int w = (full.width() + d - 1) / d;
        const int h = (full.height() + d - 1) / d;
        if (w >= drawn.width() && h >= drawn.height())
            return d;
    }
    return 1;
}

QImage decodeJpeg(const uchar* data, size_t size, const std::function<QSize(QSize)>& drawnSize, JpegInfo* info)
{
    if (!data || size < 4)
        throw DecodeError("not a JPEG");
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
    // Everything touched after setjmp that must survive the jump lives
    // outside the guarded region or is volatile.
    QImage* volatile result = nullptr;
    uchar* volatile cmykRow = nullptr;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        delete result;
        delete[] cmykRow;
        throw DecodeError("bad JPEG data");
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);

    const QSize full(static_cast<int>(cinfo.image_width), static_cast<int>(cinfo.image_height));
    const qint64 pixels = qint64(full.width()) * full.height();
    // A baseline JPEG spends some bits on every block, so a huge picture in
    // a tiny file is a lie about its size.
    if (full.isEmpty() || pixels > kMaxPixels || pixels > qint64(size) * 65536) {
        jpeg_destroy_decompress(&cinfo);
        throw DecodeError("absurd JPEG size");
    }
    const int denom = drawnSize ? jpegScaleFor(full, drawnSize(full)) : 1;
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(denom);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_calc_output_dimensions(&cinfo);
    const int ow = static_cast<int>(cinfo.output_width), oh = static_cast<int>(cinfo.output_height);
    result = new QImage(ow, oh, QImage::Format_RGB32);
    if (result->isNull()) {
        jpeg_destroy_decompress(&cinfo);
        delete result;
        throw DecodeError("out of memory");
    }
    jpeg_start_decompress(&cinfo);
    if (cmyk) {
        cmykRow = new uchar[static_cast<size_t>(ow) * 4];
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW r = cmykRow;
            const int y = static_cast<int>(cinfo.output_scanline);
            jpeg_read_scanlines(&cinfo, &r, 1);
            cmykRowToRgb(cmykRow, reinterpret_cast<QRgb*>(result->scanLine(y)), ow, cinfo.saw_Adobe_marker);
        }
        delete[] cmykRow;
        cmykRow = nullptr;
    } else {
        JSAMPROW rows[16];
        while (cinfo.output_scanline < cinfo.output_height) {
            const int y = static_cast<int>(cinfo.output_scanline);
            const int n = std::min(16, oh - y);
            for (int i = 0; i < n; ++i)
                rows[i] = result->scanLine(y + i);
            jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    QImage out = std::move(*result);
    delete result;
    if (info) {
        info->size = full;
        info->scaleDenom = denom;
    }
    // Scale the DCT-reduced copy to exactly the drawn size, so painting is a
    // plain copy.
    if (drawnSize && denom > 1) {
        const QSize drawn = drawnSize(full);
        if (drawn.isValid() && !drawn.isEmpty() && drawn != out.size()) {
            // The DCT scale leaves less than a halving to do, which bilinear
            // filtering does well and several times faster than area
            // averaging.
            QImage fitted(drawn, QImage::Format_RGB32);
            if (fitted.isNull())
                throw DecodeError("out of memory");
            QPainter p(&fitted);
            p.setRenderHint(QPainter::SmoothPixmapTransform);
            p.drawImage(QRect(QPoint(0, 0), drawn), out);
            p.end();
            out = std::move(fitted);
        }
    }
    return out;
}

}  // namespace platform
