#pragma once
// One viewer per user: a later start asks the running one to come forward.
struct AppState;

namespace app {

// Asks an already running viewer to come forward. Returns true when one
// answered, in which case this process ends without a window.
bool forwardToRunningInstance();

// Starts listening for later starts of the program; call after the viewer
// exists.
void listenForLaterInstances(AppState& state);

}  // namespace app
