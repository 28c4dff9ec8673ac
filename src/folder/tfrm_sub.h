#pragma once
// The folder window "フォルダの選択": folder tree, file list and the display
// and order options. Hidden, never destroyed, between visits.
#include <QDialog>

struct AppState;
class QCheckBox;
class QFrame;
class QLabel;
class QListWidget;
class QPageSetupDialog;
class QPrinter;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace platform {
class FileListBox;
class FolderTree;
class FolderWalk;
class RadioGroup;
}  // namespace platform

class TfrmSub : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSub(AppState& state, QWidget* parent = nullptr);
    ~TfrmSub() override;

    // Controls, public so the viewer, the search dialog and the tests reach
    // them by name.
    platform::FolderTree* tvFoldr = nullptr;
    QLabel* Label3 = nullptr;
    QListWidget* FLList = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label4 = nullptr;
    platform::FileListBox* FLBox = nullptr;   // not shown
    platform::FolderWalk* tvDR = nullptr;     // not shown
    QPushButton* btOK = nullptr;
    QPushButton* btCancel = nullptr;
    QPushButton* btExit = nullptr;
    QToolButton* sbSerch = nullptr;
    QToolButton* btSetPrint = nullptr;
    QToolButton* btHelp = nullptr;
    QToolButton* btVer = nullptr;
    QPushButton* btBkCol = nullptr;
    QLabel* Label2 = nullptr;
    QFrame* spBkCol = nullptr;
    QFrame* Bevel1 = nullptr;
    platform::RadioGroup* rgDSort = nullptr;
    QRadioButton* rbAsend = nullptr;
    QRadioButton* rbDesnd = nullptr;
    QCheckBox* cbRandm = nullptr;
    QCheckBox* chbUnDr = nullptr;
    QCheckBox* chbCenter = nullptr;
    QCheckBox* chbPropo = nullptr;
    QCheckBox* chbStrech = nullptr;
    QCheckBox* chbWind = nullptr;
    platform::RadioGroup* rgMapVw = nullptr;
    // Page setup: the printer settings the print dialog uses.
    QPrinter* PSDPrinter = nullptr;

    // The colour shown in spBkCol.
    QColor backgroundColour() const;
    void setBackgroundColour(const QColor& colour);

    // Handlers.
    void FormShow();
    void tvFoldrChange();
    // Builds the show list and hands it to the viewer. sender is btOK, or
    // the search dialog's OK button for a search run.
    void btOKClick(QObject* sender);
    void btCancelClick();
    void btExitClick();
    void btBkColClick();
    void btSetPrintClick();
    void sbSerchClick();
    void btHelpClick();
    void btVerClick();

    // Display order (defined beside the order functions): fills FLList
    // (folderNumber -1) or collects the listed folder into SortList.
    void FLLstSort(int folderNumber);
    void rgDSortClick();
    void rbAsendClick();

    // Applies the background colour and picture fitting, and the window mode.
    void applyDisplayOptions();
    void applyWindowMode();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    AppState& state_;
};
