#pragma once
// Finding and bringing forward top-level windows of other programs, and how
// this program's own windows may be moved.
#include <QString>

namespace platform {

// Looks for a top-level window, of any program, whose title holds the text.
// When there is one it is restored if minimised, else raised and activated,
// and true is returned.
bool activateWindowTitled(const QString& titlePart);

// Whether a window dragged by a mouse press may be handed to the window
// system to move (QWindow::startSystemMove). Not on X11: the window manager
// starts the move when it reads the request, and for a press this program
// handles late, its button already up, the window then sticks to the
// pointer until the next click, which the window manager swallows.
bool systemMoveFollowsPress();

}  // namespace platform
