#pragma once
// Hands an address or a file to the desktop: the browser for a web address,
// the default application for a file.
#include <QUrl>

namespace platform {

// Opens the URL with the desktop's handler and returns at once; false when
// nothing could be started. Whatever the handler (and what it starts) writes
// goes nowhere: the program itself writes nothing to its terminal.
bool openExternally(const QUrl& url);

}  // namespace platform
