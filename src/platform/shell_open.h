#pragma once
// Hands an address or a file to the desktop: the browser for a web address,
// the default application for a file.
#include <QUrl>

#include <functional>

class QObject;
class QString;

namespace platform {

// Opens the URL with the desktop's handler and returns at once; false when
// nothing could be started. Whatever the handler (and what it starts) writes
// goes nowhere: the program itself writes nothing to its terminal.
bool openExternally(const QUrl& url);

// Whether the desktop names a program for the file's type. On X11 desktops:
// xdg-open is on the PATH and xdg-mime names a default application for the
// type it sees in the file. Windows always has one.
bool desktopHasHandlerFor(const QString& filePath);

// Opens a local file with the desktop's handler, as openExternally does, and
// watches it: failed() is called later, on this thread, when the handler
// cannot be started or ends reporting a failure, unless context is gone by
// then.
void openFileWatched(const QString& filePath, QObject* context, std::function<void()> failed);

}  // namespace platform
