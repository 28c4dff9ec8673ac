#pragma once
// File masks of the folder window's file list (FLBox). Every place that
// narrows the mask (shooting-date order, search run) restores kFullMask
// afterwards, so EMF files stay listed for the rest of the run.
#include <QString>

#include "imaging/picture_decoder.h"

namespace folder {

// In force from start-up, and restored after every narrowing.
inline const QString kFullMask = imaging::pictureMask();
// While shooting dates are read and while a search run builds its list:
// the formats that carry Exif.
inline const QString kExifMask = imaging::exifPictureMask();

}  // namespace folder
