#include "search/tdlg_px_serch.h"

#include "app/app_state.h"

TdlgPxSerch::TdlgPxSerch(AppState& state, QWidget* parent) : QDialog(parent), state_(state)
{
}

TdlgPxSerch::~TdlgPxSerch() = default;

bool TdlgPxSerch::SearchRun() { return false; }
void TdlgPxSerch::sortAndSplitResults() {}
