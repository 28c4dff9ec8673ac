#pragma once
// The folder window "フォルダの選択": folder tree, file list and options.
#include <QDialog>

struct AppState;

class TfrmSub : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSub(AppState& state, QWidget* parent = nullptr);
    ~TfrmSub() override;

    // Builds the show list and hands it to the viewer. sender is btOK, or
    // the search dialog's OK button for a search run.
    void btOKClick(QObject* sender);

private:
    AppState& state_;
};
