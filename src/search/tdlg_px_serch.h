#pragma once
// The search dialog: words in titles and comments, and a shooting date.
#include <QDialog>

struct AppState;
class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace platform {
class RadioGroup;
}

class TdlgPxSerch : public QDialog {
    Q_OBJECT
public:
    explicit TdlgPxSerch(AppState& state, QWidget* parent = nullptr);
    ~TdlgPxSerch() override;

    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    QLineEdit* edSerch = nullptr;
    QCheckBox* cbBothSer = nullptr;
    platform::RadioGroup* rgSerAria = nullptr;
    QLineEdit* edDtSer = nullptr;
    QProgressBar* pbKen = nullptr;

    // Narrows the show list to the matching pictures; false when none match.
    bool SearchRun();
    // Orders date-collected search results and splits them into the show list.
    void sortAndSplitResults();

private:
    AppState& state_;
};
