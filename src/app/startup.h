#pragma once
// The start-up order of a run, shared by main, the tests and the benchmarks.
#include <QString>

#include "app/app_state.h"

namespace app {

// The application's title and its font: the interface font is asked for by
// its Windows name and falls back to an installed Japanese gothic font.
// Call once after the QApplication exists.
void prepareApplication();

// The program keeps no log: Qt's and its plug-ins' warnings (a missing sound
// server, a printer that is only a PDF file) are not printed. QT_LOGGING_RULES
// still turns them on for whoever needs them.
void keepLibraryMessagesQuiet();

// Loads Qt's Japanese texts for its own dialogs (part of prepareApplication).
void installJapaneseTranslations();

// Creates the windows in their order: splash, viewer (hidden), folder window
// (shown, the first window the user sees, unless the start goes straight to
// a show), search dialog (hidden).
void createWindows(AppState& state, bool showFolderWindow = true);

// Everything between the application object and its event loop: the
// picture named at start (startPath, may be empty) is read and decoded on a
// thread while the windows are built and the viewer takes it over; then the
// later starts are listened for and the path is opened.
void startRun(AppState& state, const QString& startPath);

// Ends the run: deletes the windows made by createWindows and frees the
// show list and the work lists.
void destroyWindows(AppState& state);

// Ends the process once its event loop has ended: gives up the instance
// name and exits at once with rc. Nothing is left to save
// (the program writes no files), so nothing is torn down: the decoder
// thread would be joined in the middle of a camera picture, the folder
// tree's reader thread, the media back end's pipeline and the window
// system's connection each wait in turn, and a start made meanwhile would
// be handed to a process without windows.
[[noreturn]] void endProcess(int rc);

}  // namespace app
