#pragma once
// File masks of the folder window's file list (FLBox). Every place that
// narrows the mask (shooting-date order, search run) restores kFullMask
// afterwards, so EMF files stay listed for the rest of the run.
#include <QString>

namespace folder {

// In force from start-up, and restored after every narrowing.
inline const QString kFullMask = QStringLiteral("*.jpg;*.jpeg;*.bmp;*.wmf;*.emf;*.png;*.gif;*.ico");
// While shooting dates are read and while a search run builds its list.
inline const QString kJpegMask = QStringLiteral("*.jpg;*.jpeg");

}  // namespace folder
