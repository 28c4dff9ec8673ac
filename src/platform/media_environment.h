#pragma once
// The media back end (GStreamer, the sound server's client library, JACK)
// keeps caches and client state in the user's folders: a registry of its
// plug-ins, a runtime link, a shared-memory registry. The program writes no
// files, so before anything loads the back end their places are pointed at
// a private temporary folder, removed when the process ends (also when it
// is ended by a signal; a killed run's folder goes at the next start).

namespace platform {

// Call first thing in main, before the application object exists.
void keepMediaStateInTemporaryFolder();

// The private folder, or empty when none could be made (the back end then
// keeps its defaults).
const char* mediaStateFolder();

// Removes the private folder now, for a process that ends without running
// its exit handlers.
void removeMediaStateFolder();

}  // namespace platform
