#pragma once
// The viewer window: shows the pictures of the show list one at a time.
#include <QDeadlineTimer>
#include <QImage>
#include <QMargins>
#include <QWidget>

#include <functional>
#include <memory>

#include "imaging/picture_decoder.h"

struct AppState;
class PictureBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QScrollArea;
class QPushButton;
class QSlider;
class QTimer;
class QToolButton;
class RelatedMedia;

namespace viewer {
class PictureCache;
struct PictureRequest;
}

namespace widgets {
class ClickLabel;
class UpDown;
}  // namespace widgets

class TfrmMain : public QWidget {
    Q_OBJECT
public:
    explicit TfrmMain(AppState& state, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // Controls, public so the folder window and the tests reach them by name.
    PictureBox* Image1 = nullptr;
    widgets::ClickLabel* lbSenAr = nullptr;
    widgets::ClickLabel* lbSenOt = nullptr;
    widgets::ClickLabel* lbSenIn = nullptr;
    QFrame* Panel1 = nullptr;
    widgets::ClickLabel* lbNitiji = nullptr;
    widgets::ClickLabel* lbTitle = nullptr;
    widgets::ClickLabel* lbComnt = nullptr;
    QToolButton* btMap = nullptr;
    QComboBox* cbDisp = nullptr;
    QLineEdit* Edit1 = nullptr;
    QTimer* TimDsp = nullptr;
    // Panel1's children.
    QPushButton* btBefr = nullptr;
    widgets::ClickLabel* lbFName = nullptr;
    QToolButton* btLRt = nullptr;
    QToolButton* btRRt = nullptr;
    QToolButton* btPrint = nullptr;
    QSlider* tbJump = nullptr;
    widgets::ClickLabel* lbPosi = nullptr;
    widgets::ClickLabel* lbTotal = nullptr;
    widgets::UpDown* udSec20 = nullptr;
    widgets::UpDown* udSec1 = nullptr;
    widgets::ClickLabel* lbTimer = nullptr;
    QPushButton* btTime = nullptr;
    widgets::ClickLabel* lbUD = nullptr;
    widgets::ClickLabel* lbSize = nullptr;
    // The player of a related sound or movie file.
    RelatedMedia* MPlayer = nullptr;

    // The timer mode is on exactly while udSec1 is enabled.
    bool timerModeOn() const;

    // Window mode: a sizeable border; full screen: no border.
    bool hasBorder() const;
    void setBorder(bool on);

    // Window mode: the window, its frame included, takes the screen's work
    // area. The frame's size is known only once a window manager has framed
    // the window, so the fit is made again as the frame arrives.
    void fitWorkArea();

    // Whether the window scrolls its content (the 1:1 view of a large picture).
    bool autoScroll() const { return autoScroll_; }
    void setAutoScroll(bool on);
    // The scroll area that holds Image1 (scroll bars only in scroll mode).
    QScrollArea* scroller() const { return scroller_; }

    // The picture on screen at full resolution, turned as shown.
    QImage fullPicture() const;
    // True when the date label shows the shooting date read from the
    // picture (red), false for the file's date (orange) or no date.
    bool dateFromMetadata() const;

    // Windows virtual key codes, as FormKeyDown takes them.
    enum Key {
        VK_BACK = 0x08,
        VK_RETURN = 0x0D,
        VK_SHIFT = 0x10,
        VK_CONTROL = 0x11,
        VK_ESCAPE = 0x1B,
        VK_SPACE = 0x20,
        VK_END = 0x23,
        VK_LEFT = 0x25,
        VK_UP = 0x26,
        VK_RIGHT = 0x27,
        VK_DOWN = 0x28,
    };
    // The virtual key of a Qt key, 0 for keys the viewer ignores.
    static int virtualKey(int qtKey);

    // Handlers.
    void Image1Click(QObject* sender);
    void ShowPicture();
    // Puts up what a show wants while its picture loads, once.
    void showLoading();
    void Image1MouseDown(Qt::MouseButton button);
    void lbSenOtMouseEnter();
    void lbSenOtMouseLeave();
    void FormResize();
    // Turns the shown picture: 1 right, 2 left.
    void RotateBitmap90(int direction);

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

    // Decoding ahead of the show; on by default.
    void setPrefetchEnabled(bool on);
    viewer::PictureCache& pictureCache() { return *cache_; }
    // Asks the print system for its printer and readies it, once a run
    // (the first paint of a picture calls it, and a start without one).
    void preparePrinter();
    // What the viewer asks of a picture when a show starts at it from the
    // program's start: the whole screen (the viewer opens maximised without
    // a border), the whole picture, the window's colour behind it.
    static viewer::PictureRequest startRequest(const QString& path);
    // The picture as decoded for the screen (may be a reduced copy).
    const imaging::DecodedPicture& shownPicture() const { return shown_; }
    // Told of every quick first look painted before its picture (the
    // benchmarks time it; the tests check it shows the right picture).
    std::function<void(const QImage&)> previewPainted;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool printerPrepared_ = false;
    void buildControls();
    void takeFocusFromPanel();
    void stepBack(QObject* sender);
    void openFolderWindow(bool fromMouse);
    void quitViewer();
    void followPointer(const QPoint& pos);
    void showShown();
    void prefetchNeighbours();
    void jumpTo(int position, bool afterGivenUp);
    // Shows the track bar's position reached during the last show, if any.
    bool followWantedJump(bool superseded);
    viewer::PictureRequest requestFor(int index) const;
    void rerenderOnBackground();
    QString shownFileName() const;
    void placeTitleWidth();
    // Shows text in lbFName, elided where it would run under lbPosi.
    void showFileName(const QString& text);
    void coverScreenWhenFullScreen();
    void keepFittingWorkArea();
    void placeInWorkArea();
    void turnButtonClick(QToolButton* button, QToolButton* other, int direction, int otherOrientation,
                         int orientation);

    AppState& state_;
    QScrollArea* scroller_ = nullptr;
    bool autoScroll_ = false;
    bool firstResize_ = true;
    bool steppedBack_ = false;
    std::unique_ptr<viewer::PictureCache> cache_;
    // The picture on screen and its copy before any turn.
    imaging::DecodedPicture shown_;
    imaging::DecodedPicture unrotated_;
    QString shownPath_;
    int turn_ = 0;  // 0 as loaded, 1 turned right, 2 turned left
    bool closing_ = false;
    bool inShow_ = false;     // within a show, while ViewerReady is false
    // What a show puts up while its picture loads (the wait cursor; the map
    // button of the picture before put away): wanted from the click on,
    // done once the load has to be waited for (showLoading).
    bool loadingWanted_ = false;
    bool loadingShown_ = false;
    // The window title of the picture being shown, set once it is painted.
    QString pendingTitle_;
    int jumpWanted_ = 0;      // the track bar's position reached meanwhile
    bool superseded_ = false;  // the last load was given up for it
    // While it runs, a window manager's frame arriving refits window mode.
    QDeadlineTimer fitting_;
    QMargins fittedMargins_;
};
