#pragma once
// The splash title shown while the windows are made.
#include <QPoint>
#include <QRegion>
#include <QWidget>

struct AppState;
class QLabel;
class QTimer;

namespace app {

// The window region of the splash at the given pixels per inch: a rounded
// rectangle from (5, 35) to (p * 520 / 120, p * 380 / 120) with corner
// ellipses 100 wide and 85 high.
QRegion splashRegion(int pixelsPerInch);

// Creates and shows the splash window (kept in state.frmSSTTitl).
void createSplash(AppState& state);
// Starts the splash timer that releases it about a second later.
void startSplashTimer(AppState& state);
// Shows a window under the splash, which stays on top until it goes.
void showBelowSplash(AppState& state, QWidget* window);

}  // namespace app

class TfrmSSTTitl : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSSTTitl(AppState& state);
    ~TfrmSSTTitl() override;

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QTimer* STimer = nullptr;

    // Releases the splash.
    void STimerTimer();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    AppState& state_;
    bool dragging_ = false;
    QPoint dragOffset_;
};
