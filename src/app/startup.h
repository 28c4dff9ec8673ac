#pragma once
// The start-up order of a run, shared by main and the tests.
#include <memory>

#include "app/app_state.h"

class QApplication;

namespace app {

// Creates the windows in their order: splash, viewer (hidden), folder window
// (shown), search dialog (hidden).
void createWindows(AppState& state);

// Deletes the windows made by createWindows.
void destroyWindows(AppState& state);

}  // namespace app
