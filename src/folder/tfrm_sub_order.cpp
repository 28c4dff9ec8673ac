// The folder window's display-order handlers.
#include "folder/tfrm_sub.h"

#include "app/app_state.h"

void TfrmSub::FLLstSort(int) {}
void TfrmSub::rgDSortClick() {}
void TfrmSub::rbAsendClick() {}
