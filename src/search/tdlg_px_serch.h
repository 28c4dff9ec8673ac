#pragma once
// The search dialog "検索設定": words in titles and comments, and a text in
// the shooting date. Its OK runs the folder window's OK in search mode.
#include <QDialog>
#include <QStringList>

struct AppState;
class QCheckBox;
class QHideEvent;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QShowEvent;

namespace widgets {
class RadioGroup;
}

class TdlgPxSerch : public QDialog {
    Q_OBJECT
public:
    explicit TdlgPxSerch(AppState& state, QWidget* parent = nullptr);
    ~TdlgPxSerch() override;

    QLabel* Label1 = nullptr;
    QLineEdit* edSerch = nullptr;
    widgets::RadioGroup* rgSerAria = nullptr;
    QCheckBox* cbBothSer = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* edDtSer = nullptr;
    QProgressBar* pbKen = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // Handlers.
    void FormShow();
    void FormHide();
    void cbBothSerClick();
    void OKBtnClick();

    // Narrows the show list to the matching pictures; false when none match
    // (the lists are then left as they were).
    bool SearchRun();
    // Orders date-collected search results and splits them into the show list.
    void sortAndSplitResults();

    // The show the viewer is showing, kept while a run builds its own list,
    // so that a run that finds nothing gives it back unchanged.
    void keepShow();
    void restoreShow();

    // How many times a run let pending window messages be handled (tests).
    int eventPumps() const { return eventPumps_; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    AppState& state_;
    int eventPumps_ = 0;
    int lastPumpedValue_ = -1;
    bool running_ = false;
    bool lastRunMatched_ = false;

    struct KeptShow {
        bool valid = false;
        QStringList fileList;
        QStringList folderIndexList;
        QStringList folderList;
        int currentIndex = 0;
        bool viewerReady = false;
        QString position;
    };
    KeptShow kept_;
};
