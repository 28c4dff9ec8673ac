#pragma once
// The readers of the format table, one a format file. Each decodes a whole
// file's bytes for the request and throws DecodeError.
#include "imaging/picture_decoder.h"

namespace imaging {

DecodedPicture readJpegPicture(const QByteArray& data, const DecodeRequest& request);
DecodedPicture readPngPicture(const QByteArray& data, const DecodeRequest& request);
DecodedPicture readGifPicture(const QByteArray& data, const DecodeRequest& request);
DecodedPicture readBmpPicture(const QByteArray& data, const DecodeRequest& request);
DecodedPicture readIcoPicture(const QByteArray& data, const DecodeRequest& request);
DecodedPicture readWmfPicture(const QByteArray& data, const DecodeRequest& request);
DecodedPicture readEmfPicture(const QByteArray& data, const DecodeRequest& request);
DecodedPicture readRawPicture(const QByteArray& data, const DecodeRequest& request);
// HEIF, WebP and JPEG XL are read by the library readers (library_formats.h).
// A raw file's largest usable JPEG preview alone (readRawPicture takes it
// as it takes the whole file); empty when the file must be developed.
QByteArray rawPreviewPart(metadata::ByteSource& file, metadata::Container container);

inline const uchar* bytesOf(const QByteArray& data) { return reinterpret_cast<const uchar*>(data.constData()); }
inline size_t sizeOf(const QByteArray& data) { return static_cast<size_t>(data.size()); }

}  // namespace imaging
