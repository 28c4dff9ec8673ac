#include "app/single_instance.h"

#include "app/app_state.h"

namespace app {

bool forwardToRunningInstance() { return false; }
void listenForLaterInstances(AppState&) {}

}  // namespace app
