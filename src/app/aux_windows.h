#pragma once
// The version window and the help, opened from the folder window.
#include <QDialog>

struct AppState;
class QFrame;
class QLabel;
class QPushButton;
class QWidget;

// The version window: the program's name and version over its picture.
class TfrmSSVer : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSSVer(QWidget* owner = nullptr);

    QFrame* Panel1 = nullptr;
    QLabel* ProgramIcon = nullptr;
    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* Comments = nullptr;
    QPushButton* OKButton = nullptr;
};

namespace app {

// The title of the help viewer's window while it shows our help file.
inline constexpr char16_t kHelpWindowTitle[] = u"「Daredazi」のヘルプ";

// Shows the version window modally over its owner and releases it after.
void showVersionWindow(QWidget* parent);

enum class HelpOutcome { Raised, Opened, Shown, Missing };

// Brings an open help window forward (the desktop's help viewer or our
// own), else opens the help file with the desktop's handler, or, where the
// desktop has none for it, shows it in a window of our own (Shown); should
// the handler fail, our window follows. A missing help file, or one that
// cannot be read, opens nothing and says nothing. Our window belongs to the
// owner (the folder window, which is modal: only windows it owns take input
// beside it).
HelpOutcome openHelp(AppState& state, QWidget* owner = nullptr);

}  // namespace app
