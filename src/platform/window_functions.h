#pragma once
// Finding and bringing forward top-level windows of other programs, and how
// this program's own windows may be moved.
#include <QString>
#include <Qt>

namespace platform {

// Looks for a top-level window, of any program, whose title holds the text.
// When there is one it is restored if minimised, else raised and activated,
// and true is returned.
bool activateWindowTitled(const QString& titlePart);

// A fixed dialog without border icons: a title and a close box, neither
// minimise nor maximise, asked for in the words window managers read (the
// Motif hints' functions and decorations, a dialog window type, a size
// that cannot change). Some managers still offer what was not asked for.
constexpr Qt::WindowFlags kFixedDialogFlags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                              Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint;

// Whether a window dragged by a mouse press may be handed to the window
// system to move (QWindow::startSystemMove). Not on X11: the window manager
// starts the move when it reads the request, and for a press this program
// handles late, its button already up, the window then sticks to the
// pointer until the next click, which the window manager swallows.
bool systemMoveFollowsPress();

}  // namespace platform
