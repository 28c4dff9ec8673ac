#include "app/aux_windows.h"

#include "app/app_state.h"

namespace app {

void showVersionWindow(QWidget*) {}
void openHelp(AppState&) {}

}  // namespace app
