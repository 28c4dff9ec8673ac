#pragma once
// The splash title shown while the windows are made.
struct AppState;

namespace app {

// Creates and shows the splash window (kept in state.frmSSTTitl).
void createSplash(AppState& state);
// Starts the splash timer that releases it about a second later.
void startSplashTimer(AppState& state);

}  // namespace app
