#pragma once
// The search dialog: words in titles and comments, and a shooting date.
#include <QDialog>

struct AppState;

class TdlgPxSerch : public QDialog {
    Q_OBJECT
public:
    explicit TdlgPxSerch(AppState& state, QWidget* parent = nullptr);
    ~TdlgPxSerch() override;

private:
    AppState& state_;
};
