#pragma once
// The folder window "フォルダの選択": folder tree, file list and the display
// and order options. Hidden, never destroyed, between visits.
#include <QColor>
#include <QDialog>
#include <QFont>
#include <QSize>
#include <QStringList>

#include <memory>

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

namespace order {
struct NameWidths;
}  // namespace order

namespace platform {
class FolderWalk;
}  // namespace platform

namespace widgets {
class FileListBox;
class FolderTree;
class RadioGroup;
class WideLines;
}  // namespace widgets

class TfrmSub : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSub(AppState& state, QWidget* parent = nullptr);
    ~TfrmSub() override;

    // Dialog result of "Exit" (the others end with Accepted or Rejected).
    static constexpr int kExitResult = 6;

    // Controls, public so the viewer, the search dialog and the tests reach
    // them by name.
    widgets::FolderTree* tvFoldr = nullptr;
    QLabel* Label3 = nullptr;
    QListWidget* FLList = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label4 = nullptr;
    widgets::FileListBox* FLBox = nullptr;   // not shown
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
    widgets::RadioGroup* rgDSort = nullptr;
    QRadioButton* rbAsend = nullptr;
    QRadioButton* rbDesnd = nullptr;
    QCheckBox* cbRandm = nullptr;
    QCheckBox* chbUnDr = nullptr;
    QCheckBox* chbCenter = nullptr;
    QCheckBox* chbPropo = nullptr;
    QCheckBox* chbStrech = nullptr;
    QCheckBox* chbWind = nullptr;
    widgets::RadioGroup* rgMapVw = nullptr;
    // Page setup: the printer settings the print dialog uses, made by
    // pageSetup() when first needed. Making a printer loads the print
    // system's plug-in and asks it for the default printer, tens of
    // milliseconds that a start does not wait for.
    QPrinter* PSDPrinter = nullptr;
    QPrinter* pageSetup();

    // The colour shown in spBkCol.
    QColor backgroundColour() const;
    void setBackgroundColour(const QColor& colour);

    // Handlers.
    void FormShow();
    void tvFoldrChange();
    // Lists folder as the chosen one without waiting for the tree to reach
    // it (a picture opened from outside, whose folder may lie a thousand
    // levels deep); the tree's next choice takes over. False when the
    // folder cannot be listed.
    bool chooseFolderDirectly(const QString& folder);
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
    // Random order (also beside the order functions): FileList alone, or
    // SortList and FolderIndexList together so each name keeps its folder.
    void shuffleFileList();
    void shuffleSortList();
    // Sorts SortList and splits it into FolderIndexList and FileList;
    // keyLength is 8 for file-date entries and 19 for shooting-date entries.
    void sortAndSplit(int keyLength);
    // The file-date and shooting-date cases of FLLstSort, same argument.
    void SortTime(int folderNumber);
    void SortDate(int folderNumber);
    // FLList in shooting-date order.
    void fillByShotDate();
    // Sets FLList's sideways scroll width from its longest name (0 for none),
    // given the names of its lines.
    void updateListScrollWidth(const QStringList& shown);
    void setListScrollWidth(int width);

    // Applies the background colour and picture fitting, and the window mode.
    void applyDisplayOptions();
    void applyWindowMode();

    // True once an OK has shown the viewer (Cancel is enabled from then on).
    bool viewerShown() const { return viewerShownOnce_; }

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Fills FLList with path's pictures; false (and an empty list, with the
    // message while the window is up) when it cannot be read.
    bool listFolder(const QString& path);
    bool isSearchSender(QObject* sender) const;
    void setSearchControlsEnabled(bool on);
    void restoreAfterSearch();
    void setViewerState(Qt::WindowStates wanted);
    void setViewerBorder(bool on);
    QSize viewerOuterSize() const;
    int viewerClientWidth() const;
    void placeInfoRow();
    void pushNeighboursAlong();

    // What the names of a listing need for the scroll width, measured once
    // for the listing (every order shows its names) in FLList's font.
    std::shared_ptr<const order::NameWidths> listedWidths(const QStringList& names);

    AppState& state_;
    widgets::WideLines* listItems_ = nullptr;  // FLList's lines
    QStringList widthsOf_;  // the listing listedWidths_ was measured for
    QFont widthsFont_;
    int widthsDpi_ = 0;
    std::shared_ptr<const order::NameWidths> listedWidths_;
    bool homeRevealed_ = false;
    bool viewerShownOnce_ = false;
    QString directFolder_;  // chosen by chooseFolderDirectly, until the tree's next choice
};
