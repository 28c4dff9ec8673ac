#pragma once
// JPEGs written by libjpeg itself, for what Qt's writer does not offer
// (scan scripts, samplings, restart intervals, stored RGB).
#include <QByteArray>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include <jpeglib.h>

namespace testsupport {

// A w x h picture of `components` samples a pixel (1: greyscale, 3: RGB).
// `configure` changes the compressor after libjpeg's defaults; `fillRow`
// gives row y's samples.
inline QByteArray libjpegWrite(int w, int h, int components, const std::function<void(jpeg_compress_struct&)>& configure,
                               const std::function<void(int y, JSAMPLE* row)>& fillRow)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(w);
    c.image_height = static_cast<JDIMENSION>(h);
    c.input_components = components;
    c.in_color_space = components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&c);
    configure(c);
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(w) * static_cast<size_t>(components));
    while (c.next_scanline < c.image_height) {
        fillRow(static_cast<int>(c.next_scanline), row.data());
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
    std::free(out);
    return bytes;
}

}  // namespace testsupport
