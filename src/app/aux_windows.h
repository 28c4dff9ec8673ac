#pragma once
// The version window and the help, opened from the folder window.
struct AppState;
class QWidget;

namespace app {

void showVersionWindow(QWidget* parent);
void openHelp(AppState& state);

}  // namespace app
