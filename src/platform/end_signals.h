#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, Ctrl+C, a closed terminal) end the
// program at once, whatever it is doing: a message box or another modal
// dialog up, a folder walk, a search, a decode, a read that does not return.
//
// The handler only writes a byte to a pipe. A thread of ours reads it and
// ends the process at once (endNow): it removes what the program keeps
// (the media back end's temporary folder, the listening socket's file) and
// exits. Where there is no such thread (Windows), the window's thread sees
// the request in its event loop, leaves every loop it runs, now and for the
// rest of the run (a modal box closed by the request would otherwise give
// way to the next loop), and long work looks at endRequested() and stops.
#include <QByteArray>

namespace platform {

// Installs the handlers and starts the thread; call once, first thing in
// main. cleanUp runs when the process is ended so.
void installEndSignals(void (*cleanUp)());

// Call once the application object exists: where the end comes through the
// event loop, it is watched for from there. Safe to call again.
void watchEndSignals();

// True once an end was asked for. Any thread.
bool endRequested();

// A file the end removes however it comes (a listening socket's file).
// Call before the end can be asked for, from the window's thread.
void removeAtEnd(const QByteArray& path);

// Ends the process at once: removes what the program keeps (cleanUp and
// the files given to removeAtEnd) and exits with status 0, without taking
// the windows down one by one (a file-system model waits for its reader
// thread, a decode for its picture). Any thread.
[[noreturn]] void endNow();

}  // namespace platform
