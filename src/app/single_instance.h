#pragma once
// One viewer per user: a later start asks the running one to come forward.
#include <QString>

struct AppState;

namespace app {

// The name the running instance listens under, one per user.
QString instanceServerName();

// Claims the user's instance name, or, when a running viewer holds it, asks
// that one to come forward. Returns true when one answered, in which case
// this process ends without a window. Safe against several starts at the
// same moment: exactly one of them keeps the name.
bool forwardToRunningInstance();

// Starts answering later starts of the program; call after the viewer
// exists. Requests that arrived while the windows were being made are
// answered now.
void listenForLaterInstances(AppState& state);

// What a later start asks for: the viewer restored when minimised, else
// raised; the folder window raised over it while it is open.
void bringForward(AppState& state);

}  // namespace app
