#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C, a closed terminal) end the
// program at once, whatever it is doing: a message box or another modal
// dialog up, a folder walk, a search, a decode, a read that does not return.
//
// The handler only writes a byte to a pipe. A thread of ours reads it, marks
// the end as asked, and has the window's thread leave every event loop it
// runs, now and for the rest of the run (a modal box closed by the request
// would otherwise give way to the next loop). Long work on the window's
// thread looks at endRequested() and stops. Should the process still be
// there a moment later, the thread removes what the program keeps in the
// temporary folder and ends the process itself.
#include <functional>

namespace platform {

// Installs the handlers and starts the thread; call once, first thing in
// main. cleanUp runs on the thread when the process is ended that way.
void installEndSignals(void (*cleanUp)());

// Call once the application object exists (the event loops are left from
// its thread). Safe to call again.
void watchEndSignals();

// True once an end was asked for. Any thread.
bool endRequested();

// How long the orderly end may take before the process is ended directly.
inline constexpr int kEndGraceMs = 120;

}  // namespace platform
