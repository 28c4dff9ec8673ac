// Raw data developed by LibRaw, for a raw file without a JPEG preview big
// enough to show.
#include <libraw/libraw.h>

#include <memory>
#include <mutex>
#include <utility>

#include "imaging/decoded_rows.h"
#include "imaging/format_readers.h"
#include "imaging/library_formats.h"
#include "imaging/libraries/raw_stream.h"

namespace imaging {

namespace {

// One LibRaw is kept for the next file. It is 750 KB, which LibRaw clears
// when it is made and again when it reads a file; memory the process has
// not touched before costs a page fault for every 4 KB of it. LibRaw starts
// every file with its own recycle, so a kept one reads a file as a new one.
std::mutex keptMutex;
libraw_data_t* kept = nullptr;

libraw_data_t* takeRaw()
{
    {
        const std::lock_guard lock(keptMutex);
        if (kept)
            return std::exchange(kept, nullptr);
    }
    libraw_data_t* made = libraw_init(0);
    // A damaged file is told by the error it gives, not on standard error.
    if (made)
        libraw_set_dataerror_handler(made, [](void*, const char*, const int) {}, nullptr);
    return made;
}

struct RawGiveBack {
    void operator()(libraw_data_t* r) const
    {
        libraw_recycle(r);
        {
            const std::lock_guard lock(keptMutex);
            if (!kept) {
                kept = r;
                return;
            }
        }
        libraw_close(r);
    }
};
// TIFF (CR2, NEF, DNG), Panasonic's variant of it (RW2) and the ISO boxes
// of CR3.
bool isListedRawHead(const QByteArray& data)
{
    return data.startsWith(QByteArrayLiteral("II*\0")) || data.startsWith(QByteArrayLiteral("MM\0*")) ||
           data.startsWith(QByteArrayLiteral("IIU\0")) || (data.size() >= 12 && data.mid(4, 8) == "ftypcrx ");
}

struct ProcessedFree {
    void operator()(libraw_processed_image_t* i) const { libraw_dcraw_clear_mem(i); }
};

}  // namespace

// Develops the raw data at half size (the four photosites of a colour cell
// make one pixel, so no demosaicing) with the camera's white balance.
QImage developRaw(const QByteArray& data, const DecodeRequest& request, QSize* full, bool* reduced)
{
    if (data.size() >= 12 && data.mid(4, 4) == "ftyp") {
        metadata::MemorySource source(bytesOf(data), sizeOf(data));
        if (!metadata::isoBoxesNested(source))
            throw DecodeError("bad file structure");
    }
    // LibRaw knows many more kinds of file than the cameras' raw files
    // listed here, each with a parser of its own; it reads only these.
    if (!isListedRawHead(data))
        throw DecodeError("bad raw data");
    // The stream outlives LibRaw's use of it: the kept LibRaw lets go of it
    // when it is given back.
    RawStream stream(data.constData(), sizeOf(data));
    std::unique_ptr<libraw_data_t, RawGiveBack> raw(takeRaw());
    if (!raw)
        throw DecodeError("out of memory");
    raw->params.half_size = 1;
    raw->params.use_camera_wb = 1;
    raw->params.user_flip = 0;
    raw->params.output_bps = 8;
    if (static_cast<LibRaw*>(raw->parent_class)->open_datastream(&stream) != LIBRAW_SUCCESS)
        throw DecodeError("bad raw data");
    const qint64 sensor = qint64(raw->sizes.raw_width) * raw->sizes.raw_height;
    const QSize shown(raw->sizes.width, raw->sizes.height);
    if (sensor <= 0 || shown.isEmpty())
        throw DecodeError("no picture");
    // The unpacked 16-bit photosites, the half-size 16-bit picture of four
    // channels, and its 8-bit copy; raw data holds at least a bit a
    // photosite.
    checkDecodeBudget(sensor, encodablePixels(data.size(), 8), sensor * 2 + sensor / 4 * 8 + sensor / 4 * 7);
    if (libraw_unpack(raw.get()) != LIBRAW_SUCCESS || libraw_dcraw_process(raw.get()) != LIBRAW_SUCCESS)
        throw DecodeError("bad raw data");
    int error = 0;
    std::unique_ptr<libraw_processed_image_t, ProcessedFree> image(libraw_dcraw_make_mem_image(raw.get(), &error));
    if (!image || error != LIBRAW_SUCCESS || image->type != LIBRAW_IMAGE_BITMAP || image->bits != 8 ||
        image->colors != 3)
        throw DecodeError("bad raw data");
    const QSize size(image->width, image->height);
    if (size.isEmpty() || qint64(image->data_size) < qint64(size.width()) * size.height() * 3)
        throw DecodeError("bad raw data");
    *full = shown;
    QImage out = pictureFromRows({image->data, qsizetype(size.width()) * 3, size, 3}, request.drawnSize, reduced);
    *reduced = true;
    return out;
}

}  // namespace imaging
