#include "app/splash.h"

#include "app/app_state.h"

namespace app {

void createSplash(AppState&) {}
void startSplashTimer(AppState&) {}

}  // namespace app
