#include "folder/tfrm_sub.h"

#include "app/app_state.h"

TfrmSub::TfrmSub(AppState& state, QWidget* parent) : QDialog(parent), state_(state)
{
    setWindowTitle(QStringLiteral("フォルダの選択"));
}

TfrmSub::~TfrmSub() = default;

void TfrmSub::btOKClick(QObject*) {}
