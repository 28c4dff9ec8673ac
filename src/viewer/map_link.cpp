// The viewer's map button.
#include "viewer/tfrm_main.h"

void TfrmMain::btMapClick() {}
