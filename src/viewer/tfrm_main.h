#pragma once
// The viewer window: shows the pictures of the show list one at a time.
#include <QImage>
#include <QWidget>

struct AppState;
class PictureBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;
class RelatedMedia;

namespace platform {
class ClickLabel;
class UpDown;
}  // namespace platform

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(AppState& state, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Controls, public so the folder window and the tests reach them by name.
    PictureBox* Image1 = nullptr;
    platform::ClickLabel* lbSenAr = nullptr;
    platform::ClickLabel* lbSenOt = nullptr;
    platform::ClickLabel* lbSenIn = nullptr;
    QFrame* Panel1 = nullptr;
    platform::ClickLabel* lbNitiji = nullptr;
    platform::ClickLabel* lbTitle = nullptr;
    platform::ClickLabel* lbComnt = nullptr;
    QToolButton* btMap = nullptr;
    QComboBox* cbDisp = nullptr;
    QLineEdit* Edit1 = nullptr;
    QTimer* TimDsp = nullptr;
    // Panel1's children.
    QPushButton* btBefr = nullptr;
    platform::ClickLabel* lbFName = nullptr;
    QToolButton* btLRt = nullptr;
    QToolButton* btRRt = nullptr;
    QToolButton* btPrint = nullptr;
    QSlider* tbJump = nullptr;
    platform::ClickLabel* lbPosi = nullptr;
    platform::ClickLabel* lbTotal = nullptr;
    platform::UpDown* udSec20 = nullptr;
    platform::UpDown* udSec1 = nullptr;
    platform::ClickLabel* lbTimer = nullptr;
    QPushButton* btTime = nullptr;
    platform::ClickLabel* lbUD = nullptr;
    platform::ClickLabel* lbSize = nullptr;
    // The player of a related sound or movie file.
    RelatedMedia* MPlayer = nullptr;

    // The timer mode is on exactly while udSec1 is enabled.
    bool timerModeOn() const;

    // Window mode: a sizeable border; full screen: no border.
    bool hasBorder() const;
    void setBorder(bool on);

    // Whether the window scrolls its content (the 1:1 view of a large picture).
    bool autoScroll() const { return autoScroll_; }
    void setAutoScroll(bool on) { autoScroll_ = on; }

    // The picture on screen at full resolution, turned as shown.
    QImage fullPicture() const;
    // True when the date label shows the shooting date read from the
    // picture (red), false for the file's date (orange) or no date.
    bool dateFromMetadata() const;

    // Handlers.
    void Image1Click(QObject* sender);
    void TimDspTimer();
    void FormKeyDown(int key, Qt::KeyboardModifiers shift);
    void btBefrClick();
    void tbJumpChange();
    void btTimeClick();
    void udSec1Click(bool up);
    void btLRtClick();
    void btRRtClick();
    void btMapClick();
    void btPrintClick();
    void cbDispCloseUp();
    void lbComntClick();

    // The folder window's OK button, passed as the hand-over sender.
    QObject* handOverSender = nullptr;

private:
    AppState& state_;
    bool autoScroll_ = false;
};
