#pragma once
// The start-up order of a run, shared by main and the tests.
#include <memory>

#include "app/app_state.h"

class QApplication;

namespace app {

// Asks an already running viewer to come forward. Returns true when one
// answered, in which case this process ends without a window.
bool forwardToRunningInstance();

// Starts listening for later starts of the program; call after the viewer
// exists.
void listenForLaterInstances(AppState& state);

// Creates the windows in their order: splash, viewer (hidden), folder window
// (shown), search dialog (hidden).
void createWindows(AppState& state);

// Deletes the windows made by createWindows.
void destroyWindows(AppState& state);

}  // namespace app
