#pragma once
// The hostile folders, one row each, played through the real program (and
// the real daredazi-info) as a person meets them: the folder is made, the
// program started on it under an X server of its own and driven with
// xdotool, and at the end asked to quit by a signal. The tests assert on
// the outcome, the benchmark prints its figures.
#include <QString>

#include <csignal>

#include "support/real_program.h"

namespace testsupport {

struct RowSetup {
    QString program;  // daredazi
    QString info;     // daredazi-info
    const XServer* x = nullptr;
    QString folder;   // an empty folder the row fills
    int signal = SIGTERM;
    int pictures = 20000;  // pictures of the search rows
};

struct RowResult {
    QString skipped;          // why the row could not run here
    bool reached = false;     // what the row waits for came
    double actionMs = -1;     // how long that took
    bool survived = false;    // the program was still running before the signal
    double endMs = -1;        // from the signal to the end of the process (-1: no end)
    bool endedCleanly = false;
    long peakKb = 0;          // peak resident memory of the program
    QString detail;
};

// Rows 1 to 12 of the table (13 belongs to the single-instance channel).
RowResult runRow(int row, const RowSetup& setup);

// A show from a JPEG through a WebP to a JPEG. The WebP's reader comes with
// its library in a module the program loads: with the module, the WebP is
// shown; without it (errorExpected), the WebP gives the error message; the
// show goes on to the last JPEG either way.
RowResult runLibraryFormatShow(const RowSetup& setup, bool errorExpected);

// A show whose first picture names a sound, played by a program without its
// media module: the player's error box, and the show goes on.
RowResult runRelatedSoundShow(const RowSetup& setup);

// The states a signal must end the program in: "box" (the first picture's
// error box), "dialog" (the search dialog), "walk" (a long sub-folder walk),
// "search" (a search under way), "decode" (a large picture being decoded).
RowResult runSignalCase(const QString& state, const RowSetup& setup);

}  // namespace testsupport
