#pragma once
// Finding and bringing forward top-level windows of other programs.
#include <QString>

namespace platform {

// Looks for a top-level window, of any program, whose title holds the text.
// When there is one it is restored if minimised, else raised and activated,
// and true is returned.
bool activateWindowTitled(const QString& titlePart);

}  // namespace platform
