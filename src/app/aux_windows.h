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

enum class HelpOutcome { Raised, Opened, Missing };

// Brings an open help viewer forward, else opens the help file with the
// desktop's handler. A missing help file opens nothing and says nothing.
HelpOutcome openHelp(AppState& state);

}  // namespace app
