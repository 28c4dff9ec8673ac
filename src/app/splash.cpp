#include "app/splash.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSvgRenderer>
#include <QTimer>
#include <QWindow>

#include "app/app_state.h"
#include "platform/dpi.h"
#include "platform/fonts.h"
#include "platform/window_functions.h"

// The pictures live in a resource of the static gui library, which the
// linker keeps only when something refers to it.
static void initWindowResources()
{
    Q_INIT_RESOURCE(daredazi_windows);
}

namespace app {

QRegion splashRegion(int pixelsPerInch)
{
    const int right = pixelsPerInch * 520 / 120;
    const int bottom = pixelsPerInch * 380 / 120;
    // The region covers [left, right) x [top, bottom), corner ellipses of
    // 100 x 85, i.e. radii of 50 and 42.5.
    QPainterPath path;
    path.addRoundedRect(QRectF(5, 35, right - 5, bottom - 35), 50.0, 42.5);
    return QRegion(path.toFillPolygon().toPolygon());
}

void createSplash(AppState& state)
{
    auto* splash = new TfrmSSTTitl(state);
    state.frmSSTTitl = splash;
    splash->show();
    // Paint it now: the viewer and the folder window take a moment to make,
    // and the splash is meant to cover exactly that moment.
    splash->raise();
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void startSplashTimer(AppState& state)
{
    if (state.frmSSTTitl)
        state.frmSSTTitl->STimer->start();
}

void showBelowSplash(AppState& state, QWidget* window)
{
    if (TfrmSSTTitl* splash = state.frmSSTTitl) {
        // A new window is stacked on top as it is made, and showing it keeps
        // that place. Where no window manager keeps the splash on top, the
        // window would lie over the splash, not yet painted so the splash
        // still shows, and a press on the splash would reach the window.
        // Make the window first and lift the splash over it.
        window->winId();
        splash->raise();
    }
    window->show();
}

}  // namespace app

namespace {

QPixmap titlePicture(QSize size)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::black);
    QSvgRenderer renderer(QStringLiteral(":/splash_title.svg"));
    if (renderer.isValid()) {
        // Drawn proportionally inside the picture's bounds.
        QSizeF fitted = QSizeF(renderer.defaultSize()).scaled(QSizeF(size), Qt::KeepAspectRatio);
        QPainter painter(&pixmap);
        renderer.render(&painter, QRectF(QPointF(0, 0), fitted));
    }
    return pixmap;
}

}  // namespace

TfrmSSTTitl::TfrmSSTTitl(AppState& state)
    : QWidget(nullptr, Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), state_(state)
{
    initWindowResources();
    setObjectName(QStringLiteral("frmSSTTitl"));
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowTitle(QStringLiteral("Daredazi"));
    const double f = platform::dpiFactor(this);
    setFixedSize(platform::scaled(521, f), platform::scaled(357, f));

    Image1 = new QLabel(this);
    platform::placeAt(Image1, 0, 0, 650, 361, f);
    Image1->setPixmap(titlePicture(Image1->size()));
    // A press on the picture reaches the window and drags it (a disabled
    // label would grey the picture out).
    Image1->setAttribute(Qt::WA_TransparentForMouseEvents);

    Label1 = new QLabel(QStringLiteral("Ver 1.50"), this);
    Label1->setFont(platform::serifFont(platform::scaled(30, f), true));
    Label1->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    Label1->move(platform::scaled(390, f), platform::scaled(264, f));
    Label1->adjustSize();
    Label1->setAttribute(Qt::WA_TransparentForMouseEvents);

    Label2 = new QLabel(QStringLiteral("撮影情報（Exif）も見られる写真スライドショー"), this);
    Label2->setFont(platform::serifFont(platform::scaled(20, f), false));
    Label2->setStyleSheet(QStringLiteral("color: aqua; background: transparent;"));
    Label2->move(platform::scaled(15, f), platform::scaled(309, f));
    Label2->adjustSize();
    Label2->setAttribute(Qt::WA_TransparentForMouseEvents);

    STimer = new QTimer(this);
    STimer->setInterval(1000);
    STimer->setSingleShot(true);
    connect(STimer, &QTimer::timeout, this, &TfrmSSTTitl::STimerTimer);

    setMask(app::splashRegion(logicalDpiY()));
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TfrmSSTTitl::~TfrmSSTTitl()
{
    if (state_.frmSSTTitl == this)
        state_.frmSSTTitl = nullptr;
}

void TfrmSSTTitl::STimerTimer()
{
    STimer->stop();
    if (state_.frmSSTTitl == this)
        state_.frmSSTTitl = nullptr;
    hide();
    deleteLater();
}

void TfrmSSTTitl::mousePressEvent(QMouseEvent* event)
{
    // Every press on the splash is its own; the left button drags it.
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    // Let the window system move the borderless window where it does so
    // reliably; elsewhere follow the mouse ourselves, exactly until the
    // release.
    if (platform::systemMoveFollowsPress() && windowHandle() && windowHandle()->startSystemMove())
        return;
    dragging_ = true;
    dragOffset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
}

void TfrmSSTTitl::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging_ && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - dragOffset_);
    else
        QWidget::mouseMoveEvent(event);
}

void TfrmSSTTitl::mouseReleaseEvent(QMouseEvent* event)
{
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}
