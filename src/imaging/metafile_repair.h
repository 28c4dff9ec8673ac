#pragma once
// Rewrites of metafile record streams that the drawing libraries would
// otherwise refuse or draw wrongly. Each takes the whole file and returns a
// new copy; nothing here reads outside the given bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace imaging {

// WMF: the region records (create, fill, frame, paint, invert, select as
// clip) are left out; each created region keeps its place in the object
// table as a null pen, and selecting it is dropped, so every later object
// index still means what it meant. Empty when the data holds no region
// record or is no WMF (the original is then played as it is).
std::vector<unsigned char> wmfWithoutRegions(const unsigned char* data, size_t size);

// The libraries spend 3-4 us converting a record (a million took over 3 s
// before their drawing was refused for its elements anyway): files of more
// records than this are refused before they run.
constexpr size_t kMaxMetafileRecords = 250'000;

// The records of a WMF after its header (and placeable header), each its
// size in 16-bit words then its function, up to the end record or the first
// that runs past the data; counting stops beyond `limit`.
size_t wmfRecordCount(const unsigned char* data, size_t size, size_t limit);

// Whether every bitmap the WMF's records carry (pattern brushes and the
// DIB blits) states a header size, a colour count and pixels its record can
// hold. The library trusts these fields: it skips a header's bytes beyond
// 40 one by one, allocates the colour count before reading it, and the
// pixels before it finds the data short.
bool wmfBitmapsFit(const unsigned char* data, size_t size);

// Whether every poly-polygon record of the WMF holds the points its
// polygon counts claim. The library allocates and fills each polygon's
// claimed points whether the record holds them or not, and sums the counts
// in 16 bits to decide whether it does: a 131 KB file claiming 65535
// polygons of 65535 points each (34 GB of points) took 23 GB before the
// system killed the program.
bool wmfPolyPolygonsFit(const unsigned char* data, size_t size);

}  // namespace imaging
