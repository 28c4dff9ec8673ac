#include "folder/tfrm_sub.h"

#include <QCloseEvent>
#include <QColor>
#include <QShowEvent>

#include "app/app_state.h"

TfrmSub::TfrmSub(AppState& state, QWidget* parent) : QDialog(parent), state_(state)
{
    setWindowTitle(QStringLiteral("フォルダの選択"));
}

TfrmSub::~TfrmSub() = default;

QColor TfrmSub::backgroundColour() const { return QColor(); }
void TfrmSub::setBackgroundColour(const QColor&) {}
void TfrmSub::FormShow() {}
void TfrmSub::tvFoldrChange() {}
void TfrmSub::btOKClick(QObject*) {}
void TfrmSub::btCancelClick() {}
void TfrmSub::btExitClick() {}
void TfrmSub::btBkColClick() {}
void TfrmSub::btSetPrintClick() {}
void TfrmSub::sbSerchClick() {}
void TfrmSub::btHelpClick() {}
void TfrmSub::btVerClick() {}
void TfrmSub::applyDisplayOptions() {}
void TfrmSub::applyWindowMode() {}
void TfrmSub::showEvent(QShowEvent* event) { QDialog::showEvent(event); }
void TfrmSub::closeEvent(QCloseEvent* event) { QDialog::closeEvent(event); }
