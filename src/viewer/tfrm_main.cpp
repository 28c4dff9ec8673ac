#include "viewer/tfrm_main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QWindow>

#include <exception>
#include <utility>

#include "app/app_state.h"
#include "folder/tfrm_sub.h"
#include "metadata/picture_reader.h"
#include "metadata/metadata_sink.h"
#include "widgets/click_label.h"
#include "platform/dpi.h"
#include "platform/end_signals.h"
#include "platform/file_names.h"
#include "platform/fonts.h"
#include "platform/regular_file.h"
#include "widgets/message_box.h"
#include "widgets/up_down.h"
#include "print/print_setup.h"
#include "viewer/map_link.h"
#include "viewer/picture_box.h"
#include "viewer/picture_cache.h"
#include "viewer/related_media.h"
#include "viewer/viewer_logic.h"

namespace {

const QString kErrorMessage = QStringLiteral("エラーがありました！");
const QString kNotFound = QStringLiteral("ファイルが見つかりません！");
const QString kNoPictures = QStringLiteral("表示する画像がありません。");

// Colours of the design.
const QColor kSkyBlue(166, 202, 240);
const QColor kBtnShadow(160, 160, 160);
const QColor kNavy(0, 0, 128);
const QColor kMetadataDate(255, 0, 0);     // colour value 255
const QColor kFileDate(216, 100, 0);       // colour value 25816

void setTextColour(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    w->setPalette(p);
}

void setBackground(QWidget* w, const QColor& c)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    p.setColor(QPalette::Base, c);
    p.setColor(QPalette::Button, c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QFont boldFont(int pixels)
{
    QFont f = platform::uiFont(pixels);
    f.setBold(true);
    return f;
}

// The condition list reports when its drop-down closes.
class ConditionBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> closedUp;
    void hidePopup() override
    {
        QComboBox::hidePopup();
        if (closedUp)
            QTimer::singleShot(0, this, [this] {
                if (closedUp)
                    closedUp();
            });
    }
};

// The reader's findings go straight into the viewer's controls.
class ViewerSink : public metadata::MetadataSink {
public:
    ViewerSink(TfrmMain& v, AppState& s, double f) : v_(v), s_(s), f_(f) {}
    void addLine(const std::string& line) override { v_.cbDisp->addItem(QString::fromStdString(line)); }
    void insertLineAtTop(const std::string& line) override { v_.cbDisp->insertItem(0, QString::fromStdString(line)); }
    void setDateCaption(const std::string& text) override
    {
        v_.lbNitiji->resize(platform::scaled(220, f_), v_.lbNitiji->height());
        v_.lbNitiji->setText(QString::fromStdString(text));
        setTextColour(v_.lbNitiji, kMetadataDate);
    }
    void setTitleCaption(const std::string& text) override
    {
        const int w = v_.cbDisp->x() - v_.lbTitle->x() - platform::scaled(50, f_);
        v_.lbTitle->resize(std::max(0, w), v_.lbTitle->height());
        v_.lbTitle->setText(QString::fromStdString(text));
    }
    void setOrientation(int orientation) override { s_.PictureOrientation = orientation; }
    void setGpsTexts(const std::string& latitude, const std::string& longitude) override
    {
        s_.GpsLatitudeText = QString::fromStdString(latitude);
        s_.GpsLongitudeText = QString::fromStdString(longitude);
    }
    void playRelatedFile(const std::string& fileName) override
    {
        if (v_.MPlayer)
            v_.MPlayer->PlayRelatedFile(QString::fromStdString(fileName));
    }

private:
    TfrmMain& v_;
    AppState& s_;
    double f_;
};

bool endsWithNoCase(const QString& name, const char* ending)
{
    return name.endsWith(QLatin1String(ending), Qt::CaseInsensitive);
}

// While a picture is read, the window's events keep running (it repaints, a
// signal or Escape ends the program), but a person's other input is dropped
// as it was when the read held the thread and the advance found ViewerReady
// false.
class LoadingInputGate : public QObject {
public:
    LoadingInputGate() { qApp->installEventFilter(this); }
    ~LoadingInputGate() override { qApp->removeEventFilter(this); }
    LoadingInputGate(const LoadingInputGate&) = delete;
    LoadingInputGate& operator=(const LoadingInputGate&) = delete;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease: {
            const int key = static_cast<QKeyEvent*>(event)->key();
            return key != Qt::Key_Escape && key != Qt::Key_End;
        }
        case QEvent::MouseButtonRelease:
            // A drag of the track bar goes on through a load (each position
            // it reaches supersedes the picture loading) and ends with it.
            if (const auto* slider = qobject_cast<QSlider*>(watched); slider && slider->isSliderDown())
                return false;
            return true;
        case QEvent::ShortcutOverride:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
            return true;
        default:
            return false;
        }
    }
};

}  // namespace

TfrmMain::TfrmMain(AppState& state, QWidget* parent)
    : QWidget(parent), state_(state), cache_(std::make_unique<viewer::PictureCache>(48ll * 1024 * 1024))
{
    cache_->setWaitPump([this] {
        showLoading();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        return !closing_ && !platform::endRequested() && jumpWanted_ == 0;
    });
    // FormCreate: the unturned copy starts empty. The printer is prepared
    // later (preparePrinter), when the first picture is on screen.
    state_.UnrotatedPicture = QImage();
    state_.SortList.clear();
    state_.InfoLines.clear();

    setWindowTitle(QStringLiteral("Daredazi"));
    setWindowFlag(Qt::FramelessWindowHint, true);
    setWindowState(Qt::WindowMaximized);
    setFocusPolicy(Qt::StrongFocus);
    buildControls();
    MPlayer = new RelatedMedia(state_, this);
    Image1->installEventFilter(this);
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::preparePrinter()
{
    if (std::exchange(printerPrepared_, true))
        return;
    // Its failure must keep nothing else from working.
    try {
        print::preparePrinterAtStartup();
    } catch (...) {
    }
    // The page set-up too, so that the print dialog comes at once.
    if (state_.frmSub)
        state_.frmSub->pageSetup();
}

void TfrmMain::buildControls()
{
    const double f = platform::dpiFactor(this);
    auto at = [f](QWidget* w, int l, int t, int wd, int h) { platform::placeAt(w, l, t, wd, h, f); };
    auto px = [f](int v) { return platform::scaled(v, f); };
    setFont(platform::uiFont(px(15)));

    // Image1 lives in a scroll area so that a picture shown pixel for pixel
    // can be scrolled; the bars appear only in scroll mode.
    scroller_ = new QScrollArea(this);
    scroller_->setFrameShape(QFrame::NoFrame);
    scroller_->setWidgetResizable(false);
    scroller_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroller_->setFocusPolicy(Qt::NoFocus);
    scroller_->viewport()->setBackgroundRole(QPalette::Window);
    scroller_->setGeometry(rect());
    Image1 = new PictureBox;
    scroller_->setWidget(Image1);
    Image1->resize(size());

    lbSenAr = new widgets::ClickLabel(this);
    at(lbSenAr, 0, 123, 489, 155);
    lbSenOt = new widgets::ClickLabel(this);
    at(lbSenOt, 8, 56, 383, 75);
    lbSenIn = new widgets::ClickLabel(this);
    at(lbSenIn, 15, 62, 369, 63);

    lbNitiji = new widgets::ClickLabel(this);
    lbNitiji->setFont(boldFont(px(23)));
    setTextColour(lbNitiji, kMetadataDate);
    at(lbNitiji, 10, 0, 220, 30);
    lbTitle = new widgets::ClickLabel(this);
    lbTitle->setFont(platform::uiFont(px(27)));
    lbTitle->setWordWrap(true);
    lbTitle->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setBackground(lbTitle, kSkyBlue);
    at(lbTitle, 240, 0, 60, 34);
    lbComnt = new widgets::ClickLabel(this);
    lbComnt->setFont(platform::uiFont(px(17)));
    lbComnt->setWordWrap(true);
    lbComnt->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setBackground(lbComnt, kSkyBlue);
    at(lbComnt, 350, 23, 250, 22);
    lbComnt->hide();
    btMap = new QToolButton(this);
    btMap->setToolTip(QStringLiteral("撮影地の地図を表示"));
    btMap->setText(QStringLiteral("地"));
    btMap->setFocusPolicy(Qt::NoFocus);
    at(btMap, 324, 1, 22, 22);
    btMap->hide();
    auto* box = new ConditionBox(this);
    cbDisp = box;
    setBackground(cbDisp, kSkyBlue);
    cbDisp->setFocusPolicy(Qt::ClickFocus);
    cbDisp->addItem(QStringLiteral("撮影条件"));
    // A list-style drop-down, so its length is the visible-row count set
    // per picture and not the whole list over the full screen.
    cbDisp->setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    at(cbDisp, 350, 0, 250, 23);
    Edit1 = new QLineEdit(this);
    at(Edit1, 610, 0, 5, 15);
    Edit1->hide();
    Edit1->installEventFilter(this);
    TimDsp = new QTimer(this);
    TimDsp->setInterval(20000);

    Panel1 = new QFrame(this);
    Panel1->setFrameShape(QFrame::NoFrame);
    setBackground(Panel1, kBtnShadow);
    Panel1->setToolTip(QStringLiteral("画面上マウス左クリックで次の画像\n右クリックで対象選択,Endキーで終了"));
    at(Panel1, 16, 63, 367, 60);
    Panel1->hide();
    Panel1->installEventFilter(this);

    btBefr = new QPushButton(QStringLiteral("◀"), Panel1);
    btBefr->setToolTip(QStringLiteral("１つ前の画像"));
    at(btBefr, 8, 7, 22, 22);
    lbFName = new widgets::ClickLabel(QStringLiteral("ファイル名"), Panel1);
    lbFName->setFont(boldFont(px(15)));
    at(lbFName, 30, 4, 200, 17);
    btLRt = new QToolButton(Panel1);
    btLRt->setText(QStringLiteral("↶"));
    btLRt->setAutoRaise(true);
    btLRt->setCheckable(true);
    btLRt->setToolTip(QStringLiteral("90度左回転"));
    btLRt->setFocusPolicy(Qt::NoFocus);
    at(btLRt, 33, 19, 20, 20);
    btRRt = new QToolButton(Panel1);
    btRRt->setText(QStringLiteral("↷"));
    btRRt->setAutoRaise(true);
    btRRt->setCheckable(true);
    btRRt->setToolTip(QStringLiteral("90度右回転"));
    btRRt->setFocusPolicy(Qt::NoFocus);
    at(btRRt, 33, 37, 20, 20);
    btPrint = new QToolButton(Panel1);
    btPrint->setText(QStringLiteral("印"));
    btPrint->setToolTip(QStringLiteral("印刷する"));
    btPrint->setFocusPolicy(Qt::NoFocus);
    at(btPrint, 8, 34, 22, 22);
    tbJump = new QSlider(Qt::Horizontal, Panel1);
    tbJump->setMinimum(1);
    tbJump->setValue(1);
    tbJump->setPageStep(10);
    tbJump->setTickPosition(QSlider::TicksAbove);
    at(tbJump, 51, 20, 217, 25);
    lbPosi = new widgets::ClickLabel(QStringLiteral("位置"), Panel1);
    lbPosi->setFont(boldFont(px(17)));
    lbPosi->setAlignment(Qt::AlignRight | Qt::AlignTop);
    setTextColour(lbPosi, kNavy);
    // Right-aligned: the label's right edge stays where the design puts it.
    at(lbPosi, 194, 2, 70, 19);
    lbTotal = new widgets::ClickLabel(QStringLiteral("総数"), Panel1);
    lbTotal->setFont(boldFont(px(17)));
    setTextColour(lbTotal, kNavy);
    at(lbTotal, 273, 2, 50, 19);
    udSec20 = new widgets::UpDown(Panel1);
    udSec20->setRange(0, 2000);
    udSec20->setIncrement(20);
    udSec20->setPosition(0);
    udSec20->setToolTip(QStringLiteral("タイマを２０秒毎増減"));
    at(udSec20, 270, 20, 25, 25);
    udSec1 = new widgets::UpDown(Panel1);
    udSec1->setRange(0, 20);
    udSec1->setIncrement(1);
    udSec1->setPosition(20);
    udSec1->setToolTip(QStringLiteral("タイマを１秒毎増減"));
    at(udSec1, 302, 20, 17, 25);
    lbTimer = new widgets::ClickLabel(QStringLiteral("20秒"), Panel1);
    lbTimer->setFont(boldFont(px(17)));
    at(lbTimer, 324, 3, 42, 19);
    btTime = new QPushButton(QStringLiteral("OFF"), Panel1);
    btTime->setToolTip(QStringLiteral("タイマを止める"));
    at(btTime, 326, 23, 33, 19);
    lbUD = new widgets::ClickLabel(QStringLiteral("20    1  タイマ"), Panel1);
    at(lbUD, 273, 45, 94, 15);
    lbSize = new widgets::ClickLabel(Panel1);
    at(lbSize, 72, 45, 200, 15);

    // The panel's texts keep to their design places in the substitute font:
    // a caption that runs taller or wider than its place gets a smaller font.
    platform::shrinkToFit(lbFName, lbFName->width(), btLRt->y() - lbFName->y());
    platform::shrinkToFit(lbPosi, lbPosi->width(), tbJump->y() - lbPosi->y());
    platform::shrinkToFit(lbTotal, lbTimer->x() - lbTotal->x(), udSec20->y() - lbTotal->y());
    platform::shrinkToFit(lbTimer, Panel1->width() - lbTimer->x(), std::min(lbTimer->height(), btTime->y() - lbTimer->y()));
    platform::shrinkToFit(btTime, btTime->width(), btTime->height());
    platform::shrinkToFit(lbUD, Panel1->width() - lbUD->x(), Panel1->height() - lbUD->y());
    platform::shrinkToFit(lbSize, lbUD->x() - lbSize->x(), Panel1->height() - lbSize->y());

    // Event bindings.
    connect(Image1, &PictureBox::clicked, this, [this] { Image1Click(Image1); });
    for (widgets::ClickLabel* l : {lbSenAr, lbSenOt, lbSenIn, lbTimer, lbPosi, lbTotal, lbFName})
        connect(l, &widgets::ClickLabel::clicked, this, [this, l] { Image1Click(l); });
    connect(Image1, &PictureBox::mousePressed, this, [this](QMouseEvent* e) { Image1MouseDown(e->button()); });
    connect(lbSenAr, &widgets::ClickLabel::mousePressed, this, [this](QMouseEvent* e) { Image1MouseDown(e->button()); });
    // The hot zones follow the pointer through the window's own mouse
    // moves (see followPointer): enter and leave of single labels miss a
    // pointer that jumps across them.
    connect(udSec20, &widgets::UpDown::clicked, this, &TfrmMain::udSec1Click);
    connect(udSec1, &widgets::UpDown::clicked, this, &TfrmMain::udSec1Click);
    connect(TimDsp, &QTimer::timeout, this, &TfrmMain::TimDspTimer);
    connect(btBefr, &QPushButton::clicked, this, &TfrmMain::btBefrClick);
    connect(tbJump, &QSlider::valueChanged, this, &TfrmMain::tbJumpChange);
    connect(btTime, &QPushButton::clicked, this, &TfrmMain::btTimeClick);
    connect(btLRt, &QToolButton::clicked, this, &TfrmMain::btLRtClick);
    connect(btRRt, &QToolButton::clicked, this, &TfrmMain::btRRtClick);
    connect(btMap, &QToolButton::clicked, this, &TfrmMain::btMapClick);
    connect(btPrint, &QToolButton::clicked, this, &TfrmMain::btPrintClick);
    connect(lbComnt, &widgets::ClickLabel::clicked, this, &TfrmMain::lbComntClick);
    box->closedUp = [this] { cbDispCloseUp(); };
}

bool TfrmMain::timerModeOn() const { return udSec1->isEnabled(); }
bool TfrmMain::hasBorder() const { return !(windowFlags() & Qt::FramelessWindowHint); }
void TfrmMain::setBorder(bool on) { setWindowFlag(Qt::FramelessWindowHint, !on); }

void TfrmMain::setAutoScroll(bool on)
{
    autoScroll_ = on;
    const Qt::ScrollBarPolicy policy = on ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
    scroller_->setHorizontalScrollBarPolicy(policy);
    scroller_->setVerticalScrollBarPolicy(policy);
    if (!on) {
        scroller_->horizontalScrollBar()->setValue(0);
        scroller_->verticalScrollBar()->setValue(0);
    }
}

bool TfrmMain::dateFromMetadata() const
{
    return !lbNitiji->text().isEmpty() && lbNitiji->palette().color(QPalette::WindowText) == kMetadataDate;
}

QImage TfrmMain::fullPicture() const
{
    if (shown_.image.isNull())
        return QImage();
    if (!shown_.reduced)
        return shown_.kind == imaging::PictureKind::Bmp && !shown_.bitmap.isNull() ? shown_.bitmap.toImage()
                                                                                  : shown_.image;
    // The screen holds a reduced copy: decode the file again at full size
    // and turn it as shown.
    viewer::PictureRequest r;
    r.path = shownPath_;
    r.background = palette().color(QPalette::Window);
    std::shared_ptr<viewer::LoadedPicture> loaded;
    {
        LoadingInputGate gate;
        loaded = cache_->loadNow(r, true);
    }
    if (!loaded || loaded->failed)
        return QImage();
    if (turn_ == 0)
        return loaded->picture.image;
    return imaging::RotateBitmap90(imaging::Bitmap::fromImage(loaded->picture.image), turn_).toImage();
}

int TfrmMain::virtualKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Backspace: return VK_BACK;
    case Qt::Key_Return:
    case Qt::Key_Enter: return VK_RETURN;
    case Qt::Key_Shift: return VK_SHIFT;
    case Qt::Key_Control: return VK_CONTROL;
    case Qt::Key_Escape: return VK_ESCAPE;
    case Qt::Key_Space: return VK_SPACE;
    case Qt::Key_End: return VK_END;
    case Qt::Key_Left: return VK_LEFT;
    case Qt::Key_Up: return VK_UP;
    case Qt::Key_Right: return VK_RIGHT;
    case Qt::Key_Down: return VK_DOWN;
    }
    return 0;
}

void TfrmMain::keyPressEvent(QKeyEvent* event)
{
    const int vk = virtualKey(event->key());
    if (vk == 0) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (event->isAutoRepeat() && (vk == VK_CONTROL || vk == VK_SHIFT))
        return;
    FormKeyDown(vk, event->modifiers());
}

bool TfrmMain::eventFilter(QObject* watched, QEvent* event)
{
    // The print system is asked once the first picture has been painted,
    // so its answer does not hold that picture back (an empty box is
    // painted while the picture is still decoding).
    if (watched == Image1 && event->type() == QEvent::Paint && !Image1->isEmpty() && !printerPrepared_) {
        Image1->removeEventFilter(this);
        QTimer::singleShot(0, this, &TfrmMain::preparePrinter);
    }
    if (watched == Edit1 && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (const int vk = virtualKey(k->key())) {
            FormKeyDown(vk, k->modifiers());
            return true;
        }
    }
    if (watched == windowHandle()) {
        if (event->type() == QEvent::MouseMove)
            followPointer(static_cast<QMouseEvent*>(event)->position().toPoint());
        else if (event->type() == QEvent::Leave)
            lbSenOtMouseLeave();
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    scroller_->setGeometry(rect());
    FormResize();
    keepFittingWorkArea();
}

void TfrmMain::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    keepFittingWorkArea();
}

void TfrmMain::fitWorkArea()
{
    // A window manager frames the window within a second or so of showing
    // it; until then the frame's share is unknown (none).
    fitting_.setRemainingTime(3000);
    placeInWorkArea();
}

void TfrmMain::placeInWorkArea()
{
    if (!hasBorder())
        return;
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!s)
        return;
    fittedMargins_ = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QRect client = s->availableGeometry().marginsRemoved(fittedMargins_);
    if (geometry() != client)
        setGeometry(client);
}

void TfrmMain::keepFittingWorkArea()
{
    if (fitting_.hasExpired() || !hasBorder() || !isVisible() || windowState() != Qt::WindowNoState)
        return;
    const QMargins now = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    QScreen* s = screen();
    if (now != fittedMargins_ || (s && !s->availableGeometry().contains(frameGeometry())))
        QTimer::singleShot(0, this, [this] {
            if (!fitting_.hasExpired())
                placeInWorkArea();
        });
}

void TfrmMain::closeEvent(QCloseEvent* event)
{
    // FormClose: the run's lists go with the viewer.
    closing_ = true;
    cache_->clear();
    state_.FolderList.clear();
    state_.FolderIndexList.clear();
    state_.FileList.clear();
    state_.UnrotatedPicture = QImage();
    state_.SortList.clear();
    state_.InfoLines.clear();
    state_.ViewerReady = false;
    TimDsp->stop();
    QWidget::closeEvent(event);
    QCoreApplication::quit();
}

void TfrmMain::coverScreenWhenFullScreen()
{
    // Full screen is a borderless maximised window; without a window
    // manager to size it, it takes the screen's bounds itself.
    if (!hasBorder() && (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) && screen() &&
        geometry() != screen()->geometry())
        setGeometry(screen()->geometry());
}

void TfrmMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        coverScreenWhenFullScreen();
}

void TfrmMain::followPointer(const QPoint& pos)
{
    // Every mouse move of the window, whichever child it lands on: the panel
    // is up exactly while the pointer is inside lbSenOt (lbSenIn and the
    // panel lie within it; lbSenAr above it hides it).
    const bool inside = lbSenOt->geometry().contains(pos) || lbSenIn->geometry().contains(pos);
    if (inside && !Panel1->isVisible())
        lbSenOtMouseEnter();
    else if (!inside && Panel1->isVisible())
        lbSenOtMouseLeave();
}

void TfrmMain::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The native window is made anew when the border changes.
    if (QWindow* w = windowHandle())
        w->installEventFilter(this);
    coverScreenWhenFullScreen();
    keepFittingWorkArea();
}

void TfrmMain::setPrefetchEnabled(bool on)
{
    cache_->setEnabled(on);
    if (!on)
        cache_->clear();
}

// ---------------------------------------------------------------------------
// Navigation

void TfrmMain::takeFocusFromPanel()
{
    // Focus leaves the track bar, the buttons and the list, so the arrow
    // keys reach the window's key handler again. Where it is the window's
    // already, showing and hiding the edit would only cost a relayout.
    if (focusWidget() == this)
        return;
    Edit1->show();
    Edit1->setFocus();
    Edit1->hide();
    setFocus();
}

void TfrmMain::Image1Click(QObject* sender)
{
    // 1-3.
    if (!state_.ViewerReady)
        return;
    const int count = static_cast<int>(state_.FileList.size());
    const bool handOver = sender && sender == handOverSender;
    if (count == 1 && !handOver)
        return;
    if (count == 0) {
        widgets::showMessage(kNoPictures, this);
        return;
    }
    // 4-6.
    state_.ViewerReady = false;
    jumpWanted_ = 0;
    if ((state_.MovieOpen || state_.ExternalPlayerStarted) && MPlayer)
        MPlayer->stopForNextPicture();
    state_.MovieOpen = false;
    state_.ExternalPlayerStarted = false;
    // 7-10.
    loadingWanted_ = true;
    const bool timerWasRunning = TimDsp->isActive() && sender != TimDsp;
    if (timerWasRunning)
        TimDsp->stop();
    lbComnt->hide();
    takeFocusFromPanel();
    // 11-13.
    inShow_ = true;
    ShowPicture();
    inShow_ = false;
    loadingWanted_ = false;
    if (std::exchange(loadingShown_, false))
        QApplication::restoreOverrideCursor();
    if (timerWasRunning)
        TimDsp->start();
    if (superseded_) {
        // The track bar moved on while the picture loaded: its load was
        // given up and the newest position is shown instead.
        superseded_ = false;
        state_.ViewerReady = true;
        followWantedJump(true);
        return;
    }
    // 14: the display is repainted; input meanwhile finds ViewerReady false.
    inShow_ = true;
    QCoreApplication::processEvents();
    inShow_ = false;
    // The title goes to the window manager after the picture has gone to
    // the display: it would have the display server busy with the manager's
    // look at the new title just as the picture is to be put up.
    if (!pendingTitle_.isNull())
        setWindowTitle(std::exchange(pendingTitle_, QString()));
    // 15-18.
    ++state_.CurrentIndex;
    state_.SuppressJumpChange = true;
    tbJump->setValue(state_.CurrentIndex);
    lbPosi->setText(QString::number(state_.CurrentIndex));
    state_.SuppressJumpChange = false;
    if (state_.CurrentIndex > static_cast<int>(state_.FileList.size()) - 1)
        state_.CurrentIndex = 0;
    state_.ViewerReady = true;
    if (!followWantedJump(false))
        prefetchNeighbours();
}

bool TfrmMain::followWantedJump(bool superseded)
{
    if (jumpWanted_ == 0 || closing_)
        return false;
    // Queued, so a long drag does not stack one show inside another.
    QTimer::singleShot(0, this, [this, superseded] {
        const int p = std::exchange(jumpWanted_, 0);
        if (p > 0 && state_.ViewerReady && !closing_)
            jumpTo(p, superseded);
    });
    return true;
}

void TfrmMain::TimDspTimer() { Image1Click(TimDsp); }

void TfrmMain::stepBack(QObject* sender)
{
    const int next = viewer::stepBackIndex(state_.CurrentIndex, static_cast<int>(state_.FileList.size()));
    if (next < 0)
        return;
    // While a picture loads, the step is dropped with the advance.
    if (!state_.ViewerReady)
        return;
    state_.CurrentIndex = next;
    steppedBack_ = true;
    Image1Click(sender);
    steppedBack_ = false;
}

void TfrmMain::FormKeyDown(int key, Qt::KeyboardModifiers)
{
    QScrollBar* v = scroller_->verticalScrollBar();
    QScrollBar* h = scroller_->horizontalScrollBar();
    switch (key) {
    case VK_DOWN:
        if (autoScroll_)
            v->setValue(viewer::scrollStep(v->value(), v->maximum(), true));
        else
            Image1Click(this);
        break;
    case VK_RIGHT:
        if (autoScroll_)
            h->setValue(viewer::scrollStep(h->value(), h->maximum(), true));
        else
            Image1Click(this);
        break;
    case VK_UP:
        if (autoScroll_)
            v->setValue(viewer::scrollStep(v->value(), v->maximum(), false));
        else
            stepBack(this);
        break;
    case VK_LEFT:
        if (autoScroll_)
            h->setValue(viewer::scrollStep(h->value(), h->maximum(), false));
        else
            stepBack(this);
        break;
    case VK_RETURN:
    case VK_SPACE:
        Image1Click(this);
        break;
    case VK_BACK:
        stepBack(this);
        break;
    case VK_ESCAPE:
    case VK_END:
        quitViewer();
        break;
    case VK_CONTROL:
        openFolderWindow(false);
        break;
    case VK_SHIFT:
        btTimeClick();
        break;
    default:
        break;
    }
}

void TfrmMain::btBefrClick() { FormKeyDown(VK_BACK, Qt::NoModifier); }

void TfrmMain::tbJumpChange()
{
    if (state_.SuppressJumpChange)
        return;
    const int p = tbJump->value();
    lbPosi->setText(QString::number(p));
    if (!state_.ViewerReady) {
        // Moved while a picture is shown (a drag goes on): the newest
        // position is shown next, and the load it supersedes is given up.
        if (inShow_)
            jumpWanted_ = p;
        return;
    }
    jumpTo(p, false);
}

void TfrmMain::jumpTo(int p, bool afterGivenUp)
{
    // After a load given up, the screen holds neither the picture
    // CurrentIndex names nor its neighbour: any position is shown.
    if (!afterGivenUp) {
        if (p == state_.CurrentIndex)
            return;
        if (p == tbJump->maximum() && state_.CurrentIndex == 0)
            return;
    }
    const int count = static_cast<int>(state_.FileList.size());
    if (p > count)
        p = count;
    // The neighbours of the old place are not wanted now (unless jumped to).
    state_.CurrentIndex = std::max(0, p - 1);
    cache_->cancelAhead(state_.fullPath(state_.CurrentIndex));
    Image1Click(tbJump);
}

void TfrmMain::Image1MouseDown(Qt::MouseButton button)
{
    if (button == Qt::RightButton)
        openFolderWindow(true);
}

void TfrmMain::openFolderWindow(bool fromMouse)
{
    // Leaving the viewer for the folder window leaves the hot zone too.
    Panel1->hide();
    if (fromMouse) {
        state_.FolderWindowShown = false;
        if (!hasBorder())
            showMinimized();
    }
    if (state_.frmSub)
        state_.frmSub->exec();
}

void TfrmMain::quitViewer()
{
    if (state_.frmSub)
        state_.frmSub->hide();
    close();
}

void TfrmMain::lbSenOtMouseEnter() { Panel1->show(); }

void TfrmMain::lbSenOtMouseLeave() { Panel1->hide(); }

void TfrmMain::btTimeClick()
{
    if (timerModeOn()) {
        btTime->setText(QStringLiteral("ON"));
        btTime->setToolTip(QStringLiteral("タイマを作動する"));
        udSec1->setEnabled(false);
        udSec20->setEnabled(false);
        lbTimer->setEnabled(false);
        TimDsp->stop();
    } else {
        btTime->setText(QStringLiteral("OFF"));
        btTime->setToolTip(QStringLiteral("タイマを止める"));
        udSec1->setEnabled(true);
        udSec20->setEnabled(true);
        lbTimer->setEnabled(true);
        if (state_.FileList.size() > 1)
            TimDsp->start();
    }
}

void TfrmMain::udSec1Click(bool)
{
    const int s = udSec20->position() + udSec1->position();
    lbTimer->setText(viewer::timerCaption(s));
    TimDsp->setInterval(viewer::timerIntervalMs(s));
}

void TfrmMain::FormResize()
{
    if (!lbSenOt)
        return;
    const double f = platform::dpiFactor(this);
    const int cw = width(), ch = height();
    lbSenOt->move(lbSenOt->x(), ch - lbSenOt->height());
    lbSenAr->move(lbSenAr->x(), lbSenOt->y() - lbSenAr->height());
    lbSenIn->move(lbSenIn->x(), lbSenOt->y() + platform::scaled(6, f));
    Panel1->move(Panel1->x(), lbSenOt->y() + platform::scaled(7, f));
    cbDisp->move(cw - platform::scaled(280, f), cbDisp->y());
    Edit1->move(cw - platform::scaled(27, f), Edit1->y());
    lbComnt->move(cbDisp->x(), lbComnt->y());
    btMap->move(cbDisp->x() - platform::scaled(22, f), btMap->y());
    const bool windowMode = hasBorder();
    if (windowMode && (Image1->proportional() || Image1->stretch())) {
        Image1->resize(cw, ch);
        placeTitleWidth();
    }
    if (firstResize_ && !windowMode)
        Image1->resize(cw, ch);
    firstResize_ = false;
}

void TfrmMain::showFileName(const QString& text)
{
    // A long file name stops before the position text; its middle gives way
    // so that both ends, the name's ending too, stay readable.
    const double f = platform::dpiFactor(this);
    const QFontMetrics posi(lbPosi->font());
    const QString widest(QString::number(std::max<qsizetype>(state_.FileList.size(), 1)).size(), QLatin1Char('0'));
    const int posiLeft = lbPosi->x() + lbPosi->width() - lbPosi->contentsMargins().right() - posi.horizontalAdvance(widest);
    const int room = std::max(0, posiLeft - platform::scaled(6, f) - lbFName->x());
    const QFontMetrics own(lbFName->font());
    const QString shown = own.horizontalAdvance(text) > room ? own.elidedText(text, Qt::ElideMiddle, room) : text;
    lbFName->setText(shown);
    lbFName->adjustSize();
    lbFName->resize(std::min(lbFName->width(), room), lbFName->height());
}

void TfrmMain::placeTitleWidth()
{
    const double f = platform::dpiFactor(this);
    lbTitle->resize(std::max(0, cbDisp->x() - lbTitle->x() - platform::scaled(50, f)), lbTitle->height());
}

// ---------------------------------------------------------------------------
// Display

viewer::PictureRequest TfrmMain::requestFor(int index) const
{
    viewer::PictureRequest r;
    r.path = state_.fullPath(index);
    r.area = Image1->size();
    r.proportional = Image1->proportional();
    r.stretch = Image1->stretch();
    r.background = palette().color(QPalette::Window);
    return r;
}

viewer::PictureRequest TfrmMain::startRequest(const QString& path)
{
    viewer::PictureRequest r;
    r.path = path;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        r.area = screen->geometry().size();
    r.background = QApplication::palette().color(QPalette::Window);
    return r;
}

void TfrmMain::showShown()
{
    QImage image = shown_.image;
    if (shown_.kind == imaging::PictureKind::Bmp && !shown_.bitmap.isNull())
        image = shown_.bitmap.toImage();
    QSize full = shown_.fullSize;
    Image1->setPicture(image, full);
}

QString TfrmMain::shownFileName() const
{
    const int k = state_.shownIndex();
    return k >= 0 && k < state_.FileList.size() ? state_.FileList[k] : QString();
}

void TfrmMain::showLoading()
{
    // A picture read ahead is on screen in a millisecond or two, before a
    // cursor or a vanished button could be seen. Put up on every step, the
    // wait cursor and the button cost the display server three round trips
    // before each picture's paint; so they wait for a wait.
    if (!loadingWanted_ || loadingShown_)
        return;
    loadingShown_ = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    btMap->hide();
}

void TfrmMain::ShowPicture()
{
    const double f = platform::dpiFactor(this);
    const int index = state_.CurrentIndex;
    const QString path = state_.fullPath(index);
    const platform::FileFacts info = platform::lookUpFile(path);
    const bool found = info.regular && !info.hidden;
    if (!found) {
        // 2.
        Image1->clear();
        shown_ = imaging::DecodedPicture();
        unrotated_ = imaging::DecodedPicture();
        shownPath_.clear();
        cbDisp->hide();
        lbTitle->hide();
        btMap->hide();
        lbNitiji->clear();
        lbSize->setText(kNotFound);
        lbSize->adjustSize();
    } else {
        // 3. The title and the list are shown below, as far as this picture
        // has them: shown here and hidden there again, each would make the
        // toolkit ask the display server where the pointer is, a round trip
        // before every picture's paint.
        lbSize->clear();
        bool failed = false;
        bool previewShown = false;
        bool mapPosition = false;
        try {
            // 4.
            const viewer::PictureRequest request = requestFor(index);
            std::shared_ptr<viewer::LoadedPicture> loaded;
            {
                LoadingInputGate gate;
                // A JPEG decoded now shows a quick first look while the
                // picture itself is decoded.
                loaded = cache_->take(request, [this, &previewShown](const imaging::DecodedPicture& p) {
                    if (closing_)
                        return;
                    showLoading();
                    Image1->setPicture(p.image, p.fullSize);
                    Image1->repaint();
                    previewShown = true;
                    if (previewPainted)
                        previewPainted(p.image);
                });
            }
            // The window closed, or the program was asked to end, while the
            // file was read: nothing more is shown.
            if (closing_ || platform::endRequested())
                return;
            if (!loaded && jumpWanted_ != 0) {
                superseded_ = true;
                return;
            }
            if (!loaded || loaded->failed)
                throw imaging::DecodeError("picture not decoded");
            const bool hasExif = !loaded->exif.empty();
            if (loaded->picture.kind != imaging::PictureKind::None) {
                shown_ = loaded->picture;
                shownPath_ = path;
                turn_ = 0;
                showShown();
            }
            // 5.
            if (!Image1->isEmpty()) {
                const QSize s = Image1->pictureSize();
                lbSize->setText(QStringLiteral("(") + QString::number(s.width()) + QChar(0x00D7) +
                                QString::number(s.height()) + QStringLiteral(")"));
            }
            // 6.
            cbDisp->clear();
            state_.InfoLines.clear();
            state_.PictureOrientation = 0;
            btLRt->setChecked(false);
            btRRt->setChecked(false);
            state_.UnrotatedPicture = QImage();
            unrotated_ = imaging::DecodedPicture();
            lbNitiji->clear();
            setTextColour(lbNitiji, kMetadataDate);
            lbTitle->clear();
            state_.GpsLatitudeText.clear();
            state_.GpsLongitudeText.clear();
            // 7.
            if (hasExif) {
                // The picture's head is read where the loader left it: a
                // copy would cost a fresh quarter megabyte on every advance.
                state_.PictureStream = QByteArray::fromRawData(loaded->exif.bytes.data(),
                                                               static_cast<qsizetype>(loaded->exif.bytes.size()));
                ViewerSink sink(*this, state_, f);
                try {
                    metadata::ExifBlobRead(loaded->exif, sink, {state_.UseGoogleMap});
                } catch (...) {
                    state_.PictureStream.clear();
                    throw;
                }
                state_.PictureStream.clear();
                mapPosition = hasMapPosition(state_.GpsLatitudeText, state_.GpsLongitudeText);
            }
            // 8.
            if (lbNitiji->text().isEmpty()) {
                setTextColour(lbNitiji, kFileDate);
                lbNitiji->setText(viewer::fileDateText(info.modified));
            }
            // 9.
            // A decoder that turned the picture itself (HEIF, JPEG XL) has
            // applied its orientation already.
            if (shown_.oriented)
                state_.PictureOrientation = 0;
            if (state_.PictureOrientation == 6 || state_.PictureOrientation == 8) {
                unrotated_ = shown_;
                state_.UnrotatedPicture = Image1->picture();
                RotateBitmap90(state_.PictureOrientation / 2 - 2);
                (state_.PictureOrientation == 6 ? btRRt : btLRt)->setChecked(true);
            }
        } catch (const std::exception&) {
            failed = true;
        } catch (...) {
            failed = true;
        }
        if (failed && previewShown && shownPath_ != path) {
            // The first look of a picture that failed leaves the screen.
            if (shown_.image.isNull())
                Image1->clear();
            else
                showShown();
        }
        // The map button: for this picture's position, else none (the
        // previous picture's stays until here unless the load was waited for).
        btMap->setVisible(mapPosition && !failed);
        if (failed) {
            // The date, title and conditions would still be the previous
            // picture's if decoding failed before they were reset.
            cbDisp->clear();
            state_.InfoLines.clear();
            lbNitiji->clear();
            lbTitle->clear();
            state_.PictureStream.clear();
            // Emptied, they would stand as a bare bar and list beside the
            // message; the steps below hide them anyway.
            lbTitle->hide();
            cbDisp->hide();
            widgets::showMessage(kErrorMessage, this);
        }
        // 11.
        if (cbDisp->count() == 0) {
            cbDisp->hide();
        } else {
            cbDisp->show();
            cbDisp->setCurrentIndex(0);
            cbDisp->setMaxVisibleItems(viewer::dropDownLength(cbDisp->count()));
        }
        // 12. The title starts where the design puts it, or after the date
        // where the date runs wider in this platform's font.
        lbNitiji->adjustSize();
        const int designLeft = platform::scaled(hasBorder() ? 200 : 240, f);
        const int dateEnd = lbNitiji->text().isEmpty() ? 0 : lbNitiji->geometry().right() + platform::scaled(6, f);
        lbTitle->move(std::max(designLeft, dateEnd), lbTitle->y());
        if (lbTitle->text().isEmpty()) {
            lbTitle->hide();
        } else {
            lbTitle->show();
            placeTitleWidth();
            lbTitle->resize(lbTitle->width(), std::max(lbTitle->heightForWidth(lbTitle->width()), platform::scaled(34, f)));
        }
        // 13.
        lbSize->setText(viewer::sizeText(info.size) + QStringLiteral("   ") + lbSize->text());
        lbSize->adjustSize();
        // 14.
        if (!Image1->proportional() && !Image1->stretch()) {
            const QSize outer = frameGeometry().size();
            const QSize pic = Image1->pictureSize();
            if (pic.width() > outer.width() || pic.height() > outer.height()) {
                Image1->resize(pic);
                setAutoScroll(true);
                const QSize client = scroller_->viewport()->size();
                Image1->resize(std::max(Image1->width(), client.width()), std::max(Image1->height(), client.height()));
            } else if (autoScroll_) {
                setAutoScroll(false);
                Image1->resize(outer);
            }
        }
    }
    // 15-16.
    const QFontMetrics fm(font());
    auto width = [&fm](const QString& s) { return fm.horizontalAdvance(s); };
    const QString native = platform::displayFileName(QDir::toNativeSeparators(path));
    const int dpi = screen() ? qRound(screen()->logicalDotsPerInchX()) : 96;
    showFileName(viewer::shortenPath(native, width, dpi * 3 / 2));
    // The window's title follows the paint (see Image1Click).
    pendingTitle_ = viewer::shortenPath(native, width, this->width() - 200);
}

void TfrmMain::prefetchNeighbours()
{
    const int count = static_cast<int>(state_.FileList.size());
    if (count < 2 || !cache_->enabled())
        return;
    // The next advance shows CurrentIndex; a step back shows the one
    // before the picture on screen.
    const int next = state_.CurrentIndex;
    const int back = viewer::stepBackIndex(state_.CurrentIndex, count);
    cache_->cancelQueued();
    // Only the picture on screen and the two a step reaches stay decoded.
    QStringList keep{state_.fullPath(next), shownPath_};
    if (back >= 0)
        keep << state_.fullPath(back);
    cache_->keepOnly(keep);
    const viewer::PictureRequest n = requestFor(next);
    if (back >= 0 && back != next) {
        const viewer::PictureRequest b = requestFor(back);
        if (steppedBack_) {
            cache_->prefetch(b);
            cache_->prefetch(n);
        } else {
            cache_->prefetch(n);
            cache_->prefetch(b);
        }
    } else {
        cache_->prefetch(n);
    }
}

// ---------------------------------------------------------------------------
// Rotation

void TfrmMain::RotateBitmap90(int direction)
{
    if (shown_.image.isNull())
        return;
    if (shown_.kind == imaging::PictureKind::Bmp && !shown_.bitmap.isNull()) {
        shown_.bitmap = imaging::RotateBitmap90(shown_.bitmap, direction);
        shown_.image = shown_.bitmap.toImage();
    } else {
        shown_.image = imaging::RotateBitmap90(imaging::Bitmap::fromImage(shown_.image), direction).toImage();
        shown_.isIcon = false;
    }
    shown_.fullSize = shown_.fullSize.transposed();
    turn_ = direction;
    showShown();
}

void TfrmMain::rerenderOnBackground()
{
    // The unturned graphic drawn onto a bitmap of the window's colour.
    const imaging::DecodedPicture& src = unrotated_.image.isNull() ? shown_ : unrotated_;
    if (src.image.isNull())
        return;
    QImage flat(src.image.size(), QImage::Format_RGB32);
    flat.fill(palette().color(QPalette::Window));
    QPainter p(&flat);
    p.drawImage(0, 0, src.image);
    p.end();
    imaging::DecodedPicture d = src;
    d.image = flat;
    d.isIcon = false;
    d.bitmap = imaging::Bitmap();
    d.kind = imaging::PictureKind::None;
    shown_ = d;
    turn_ = 0;
}

void TfrmMain::btLRtClick()
{
    turnButtonClick(btLRt, btRRt, 2, 6, 8);
}

void TfrmMain::btRRtClick()
{
    turnButtonClick(btRRt, btLRt, 1, 8, 6);
}

// The two turn buttons act alike: pressing one releases the other and turns
// the unturned picture (starting again from it when the picture stands
// turned the other way); releasing it shows the unturned picture again.
void TfrmMain::turnButtonClick(QToolButton* button, QToolButton* other, int direction, int otherOrientation,
                               int orientation)
{
    if (button->isChecked())
        other->setChecked(false);
    if (state_.FileList.isEmpty())
        return;
    const QString name = shownFileName();
    if (button->isChecked()) {
        if (unrotated_.image.isNull()) {
            unrotated_ = shown_;
            state_.UnrotatedPicture = Image1->picture();
        } else if (state_.PictureOrientation == otherOrientation) {
            shown_ = unrotated_;
            turn_ = 0;
        }
        if ((endsWithNoCase(name, ".ico") && !Image1->stretch()) || endsWithNoCase(name, ".png"))
            rerenderOnBackground();
        RotateBitmap90(direction);
        state_.PictureOrientation = orientation;
    } else {
        if (!unrotated_.image.isNull()) {
            shown_ = unrotated_;
            turn_ = 0;
            showShown();
        }
        state_.PictureOrientation = 1;
    }
}

// ---------------------------------------------------------------------------
// Condition lines

void TfrmMain::cbDispCloseUp()
{
    const double f = platform::dpiFactor(this);
    if (cbDisp->currentIndex() < 0) {
        lbComnt->hide();
    } else {
        const int dpi = screen() ? qRound(screen()->logicalDotsPerInchX()) : 96;
        const int w = dpi * 22 / 120;
        const bool many = cbDisp->count() > 30;
        const int width = many ? cbDisp->width() + w - 24 : cbDisp->width() + w;
        lbComnt->setText(cbDisp->currentText());
        lbComnt->resize(width, std::max(lbComnt->heightForWidth(width), 1));
        lbComnt->setVisible(lbComnt->height() > platform::scaled(24, f));
        lbComnt->raise();
        if (many)
            lbComnt->resize(cbDisp->width() + 5, lbComnt->height());
    }
    takeFocusFromPanel();
}

void TfrmMain::lbComntClick() { lbComnt->hide(); }
