// JPEG through libjpeg(-turbo), with DCT scaling for reduced display copies.
#include <QImage>
#include <QPainter>

#include <algorithm>

#include <jerror.h>

#include "imaging/format_readers.h"
#include "imaging/jpeg_library.h"
#include "imaging/large_image.h"
#include "imaging/row_fitter.h"

namespace imaging {

namespace jpeg {

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    longjmp(err->jump, 1);
}

void emitMessage(j_common_ptr cinfo, int level)
{
    // A file that ends early decodes as grey padding; that is a broken
    // picture, not a picture. So is entropy data that stops at a marker
    // (any, an end of image included) before the last row of blocks: a cut
    // file with an end marker appended, or a header claiming more rows than
    // the data holds. Running short within the last row is a common encoder
    // slip and shows whole. Other warnings (stray bytes before a marker,
    // common in camera files) are harmless.
    if (level >= 0)
        return;
    const int code = cinfo->err->msg_code;
    if (code == JWRN_JPEG_EOF)
        errorExit(cinfo);
    if (code == JWRN_HIT_MARKER && cinfo->is_decompressor) {
        const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_iMCU_row + 1 < d->total_iMCU_rows)
            errorExit(cinfo);
    }
}

void outputMessage(j_common_ptr) {}

void useErrorManager(jpeg_decompress_struct& cinfo, ErrorManager& err)
{
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = errorExit;
    err.pub.emit_message = emitMessage;
    err.pub.output_message = outputMessage;
}

}  // namespace jpeg

using jpeg::ErrorManager;
using jpeg::errorExit;

namespace {

// Each scan of a progressive picture is a pass over the blocks of its
// components; a usual script has about ten. A file is refused beyond this
// many scans, or once its scans together cost more than a bound, before
// their passes freeze the window. The cost of a scan is counted in
// sixteenths of a block visit, as measured with libjpeg-turbo on repeated
// scans of a 38-megapixel picture: a first AC scan costs 15 ns a block
// (runs of empty blocks are skipped), a DC scan 30 ns (Huffman) or 24 ns
// (arithmetic), and a refining AC scan about 1 ns more for each coefficient
// of its band, since every coefficient already set takes a correction bit
// (61 and 68 ns a block for a band of 63). The bound, 60 million block
// visits (about 0.9 s here), holds the standard ten-scan script of a
// 100-megapixel picture at full chroma resolution (56 million; 33 million
// with halved chroma) and refuses a repeated refining scan long before the
// 100th.
constexpr int kMaxJpegScans = 100;
#ifndef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
constexpr qint64 kMaxJpegScanWork = 60'000'000LL * 16;
#else
constexpr qint64 kMaxJpegScanWork = 400'000LL * 16;  // with the smaller pixel limit
#endif

struct Progress {
    jpeg_progress_mgr pub;
    int scan = 0;
    qint64 work = 0;
    const std::atomic<bool>* cancel = nullptr;
};

// The cost of the scan that has just begun, in sixteenths of a block visit.
qint64 scanWork(const jpeg_decompress_struct& d)
{
    qint64 blocks = 0;
    for (int i = 0; i < d.comps_in_scan && i < MAX_COMPS_IN_SCAN; ++i)
        if (const jpeg_component_info* c = d.cur_comp_info[i])
            blocks += qint64(c->width_in_blocks) * c->height_in_blocks;
    qint64 perBlock = 16;
    if (d.Ss == 0)
        perBlock = 32;
    else if (d.Ah != 0)
        perBlock += std::max(0, d.Se - d.Ss + 1);
    return blocks * perBlock;
}

void progressMonitor(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto* p = reinterpret_cast<Progress*>(d->progress);
    // Called for every call of jpeg_read_scanlines and every row of blocks
    // read ahead of the output, so a cancelled decode ends within a row.
    if (p->cancel && p->cancel->load(std::memory_order_relaxed))
        errorExit(cinfo);
    if (d->input_scan_number == p->scan)
        return;
    p->scan = d->input_scan_number;
    p->work += scanWork(*d);
    if (p->scan > kMaxJpegScans || p->work > kMaxJpegScanWork)
        errorExit(cinfo);
}

// What libjpeg holds for a whole-picture coefficient buffer (a progressive
// or multi-scan file keeps every block of every component until the last
// scan), plus its per-row sample buffers.
qint64 jpegLibraryBytes(const jpeg_decompress_struct& cinfo)
{
    qint64 bytes = qint64(cinfo.image_width) * 16 * 4 * std::max(1, cinfo.num_components);
    if (cinfo.progressive_mode || cinfo.comps_in_scan < cinfo.num_components) {
        for (int c = 0; c < cinfo.num_components; ++c) {
            const jpeg_component_info& ci = cinfo.comp_info[c];
            const qint64 bw = (qint64(ci.width_in_blocks) + ci.h_samp_factor - 1) / ci.h_samp_factor * ci.h_samp_factor;
            const qint64 bh = (qint64(ci.height_in_blocks) + ci.v_samp_factor - 1) / ci.v_samp_factor * ci.v_samp_factor;
            bytes += bw * bh * qint64(sizeof(JBLOCK));
        }
    }
    return bytes;
}

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

QSize jpegPictureSize(const uchar* data, size_t size)
{
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return {};
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    jpeg::useErrorManager(cinfo, err);
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return {};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);
    const QSize s(static_cast<int>(std::min<JDIMENSION>(cinfo.image_width, 0xFFFF)),
                  static_cast<int>(std::min<JDIMENSION>(cinfo.image_height, 0xFFFF)));
    jpeg_destroy_decompress(&cinfo);
    return s.isEmpty() ? QSize() : s;
}

QImage decodeJpeg(const uchar* data, size_t size, const std::function<QSize(QSize)>& drawnSize, JpegInfo* info,
                  int scaleDenom, const std::atomic<bool>* cancel)
{
    if (!data || size < 4)
        throw DecodeError("not a JPEG");
    jpeg_decompress_struct cinfo{};
    ErrorManager err{};
    jpeg::useErrorManager(cinfo, err);
    Progress progress{};
    progress.pub.progress_monitor = progressMonitor;
    progress.cancel = cancel;
    // Everything touched after setjmp that must survive the jump lives
    // outside the guarded region or is volatile.
    QImage* volatile result = nullptr;
    uchar* volatile cmykRow = nullptr;
    uint32_t* volatile band = nullptr;
    RowFitter* volatile fitter = nullptr;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        delete result;
        delete[] cmykRow;
        delete[] band;
        delete fitter;
        throw DecodeError("bad JPEG data");
    }
    jpeg_create_decompress(&cinfo);
    cinfo.progress = &progress.pub;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_read_header(&cinfo, TRUE);

    const QSize full(static_cast<int>(std::min<JDIMENSION>(cinfo.image_width, 0xFFFF)),
                     static_cast<int>(std::min<JDIMENSION>(cinfo.image_height, 0xFFFF)));
    const qint64 pixels = qint64(full.width()) * full.height();
    int denom = drawnSize && !full.isEmpty() ? jpegScaleFor(full, drawnSize(full)) : 1;
    if (scaleDenom == 1 || scaleDenom == 2 || scaleDenom == 4 || scaleDenom == 8)
        denom = scaleDenom;
    cinfo.scale_num = 1;
    cinfo.scale_denom = static_cast<unsigned>(denom);
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRX;
    jpeg_calc_output_dimensions(&cinfo);
    const int ow = static_cast<int>(cinfo.output_width), oh = static_cast<int>(cinfo.output_height);
    // A huge picture in a small file is a lie about its size: every block
    // costs some bits.
    try {
        const qint64 perByte = cinfo.arith_code ? kJpegArithmeticPixelsPerByte : kJpegPixelsPerByte;
        qint64 memory = qint64(ow) * oh * 4 + jpegLibraryBytes(cinfo);
        if (denom > 1 && drawnSize) {
            const QSize drawn = drawnSize(full);
            if (drawn.isValid())
                memory += qint64(drawn.width()) * drawn.height() * 4;
        }
        checkDecodeBudget(pixels, encodablePixels(qint64(size), perByte), memory);
    } catch (const DecodeError&) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    // A reduced decode of an RGB picture is fitted to its drawn size band by
    // band as it comes; anything else is decoded whole.
    QSize fitTo;
    if (drawnSize && denom > 1 && !cmyk) {
        const QSize drawn = drawnSize(full);
        if (drawn.isValid() && !drawn.isEmpty() && drawn != QSize(ow, oh) && drawn.width() <= ow &&
            drawn.height() <= oh)
            fitTo = drawn;
    }
    result = new QImage(largeImage(fitTo.isValid() ? fitTo : QSize(ow, oh)));
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
    } else if (fitTo.isValid()) {
        constexpr int kBandRows = 16;
        fitter = new RowFitter(QSize(ow, oh), result);
        const int stride = fitter->padded();
        band = new uint32_t[static_cast<size_t>(stride) * kBandRows]();
        JSAMPROW rows[kBandRows];
        for (int i = 0; i < kBandRows; ++i)
            rows[i] = reinterpret_cast<JSAMPROW>(band + static_cast<size_t>(stride) * static_cast<size_t>(i));
        while (cinfo.output_scanline < cinfo.output_height) {
            const int y = static_cast<int>(cinfo.output_scanline);
            const int n = static_cast<int>(jpeg_read_scanlines(&cinfo, rows, kBandRows));
            fitter->addRows(y, n, band, stride);
        }
        delete fitter;
        fitter = nullptr;
        delete[] band;
        band = nullptr;
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
    if (drawnSize && denom > 1 && !fitTo.isValid()) {
        const QSize drawn = drawnSize(full);
        if (drawn.isValid() && !drawn.isEmpty() && drawn != out.size()) {
            // The DCT scale leaves less than a halving to do, which bilinear
            // filtering does well and several times faster than area
            // averaging.
            QImage fitted = largeImage(drawn);
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

DecodedPicture readJpegPicture(const QByteArray& data, const DecodeRequest& request)
{
    DecodedPicture out;
    JpegInfo info;
    out.image = decodeJpeg(bytesOf(data), sizeOf(data), request.drawnSize, &info, request.jpegScaleDenom,
                           request.cancel);
    out.fullSize = info.size;
    out.scaleDenom = info.scaleDenom;
    out.reduced = out.image.size() != out.fullSize;
    return out;
}

}  // namespace imaging
