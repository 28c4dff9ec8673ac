// The viewer's print button.
#include "viewer/tfrm_main.h"

void TfrmMain::btPrintClick() {}
