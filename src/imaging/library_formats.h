#pragma once
// The readers built on the larger picture libraries (libheif with its HEVC
// and AV1 decoders, libwebp, libjxl with Highway, LibRaw, libwmf). The
// viewer loads them from a module of their own the first time a picture
// needs one, so a start does not wait for those libraries to be mapped,
// relocated and initialised; tests, tools and fuzzers link them in.
#include <QByteArray>
#include <QImage>
#include <QSize>

#include <vector>

#include "imaging/picture_decoder.h"

namespace imaging {

struct LibraryFormats {
    DecodedPicture (*readHeif)(const QByteArray& data, const DecodeRequest& request);
    DecodedPicture (*readWebp)(const QByteArray& data, const DecodeRequest& request);
    DecodedPicture (*readJxl)(const QByteArray& data, const DecodeRequest& request);
    // A raw file's own data, developed at half size; `full` is set to the
    // developed picture's size.
    QImage (*developRaw)(const QByteArray& data, const DecodeRequest& request, QSize* full, bool* reduced);
    // A WMF played into an SVG drawing at most `maxSide` pixels on a side;
    // false when the library refuses the file.
    bool (*playWmf)(std::vector<unsigned char> file, int maxSide, QByteArray& svg);
};

// The readers, loaded when first asked for (safe from any thread; pictures
// are decoded on workers, so the load never holds up the window). Throws
// DecodeError when they cannot be had, so a picture that needs them shows
// the error and the show goes on.
const LibraryFormats& libraryFormats();

// The readers themselves, in the module or linked in.
const LibraryFormats& linkedLibraryFormats();

DecodedPicture readHeifPicture(const QByteArray& data, const DecodeRequest& request);
DecodedPicture readWebpPicture(const QByteArray& data, const DecodeRequest& request);
DecodedPicture readJxlPicture(const QByteArray& data, const DecodeRequest& request);
QImage developRaw(const QByteArray& data, const DecodeRequest& request, QSize* full, bool* reduced);
bool playWmf(std::vector<unsigned char> file, int maxSide, QByteArray& svg);

}  // namespace imaging

// The module's one exported function.
extern "C" const imaging::LibraryFormats* daredazi_library_formats();
