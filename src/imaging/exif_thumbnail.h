#pragma once
// A camera's Exif thumbnail as a first look at its picture.
#include <QImage>
#include <QSize>

namespace imaging {

// What of the thumbnail shows the picture of the given full size, at the
// picture's shape: the whole thumbnail when it has that shape, or the band
// between the plain bars a camera pads it with to its fixed 160 x 120.
// Null when the thumbnail shows the picture otherwise (squeezed, cut, or
// its bars not plain), as it would then not match the picture.
QImage thumbnailAtAspect(const QImage& thumbnail, QSize full);

}  // namespace imaging
