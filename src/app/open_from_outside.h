#pragma once
// A folder or picture handed to the program from outside: on its command
// line ("Open with" in a file manager) or by a later start of the program.
#include <QString>
#include <QStringList>

#include "viewer/picture_cache.h"

struct AppState;

namespace app {

// The path a start was asked to open: the first argument after the program
// name, made absolute against the current directory; empty without one.
QString startPathFromArguments(const QStringList& arguments);

// True for a file name the folder window lists (one of the seven formats).
bool isPictureName(const QString& fileName);

// The picture a start was asked to show, read and decoded at once on a
// thread of its own for the viewer to take over (TfrmMain's cache adopts
// it); null unless path is a regular JPEG file.
viewer::PictureCache::EarlyLoad startFirstPicture(const QString& path);

// Shows path in this run. A folder is chosen and listed in the folder
// window. A picture's folder is chosen, its line selected and OK pressed, so
// the show starts at that picture. Anything else changes nothing: the run
// goes on as if no path had been given.
void openFromOutside(AppState& state, const QString& path);

// Whether path names a picture openFromOutside starts a show with (a
// regular file with a picture's ending).
bool namesAPicture(const QString& path);

}  // namespace app
