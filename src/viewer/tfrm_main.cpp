#include "viewer/tfrm_main.h"

#include <QComboBox>
#include <QFrame>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include "app/app_state.h"
#include "platform/click_label.h"
#include "platform/up_down.h"
#include "viewer/picture_box.h"

TfrmMain::TfrmMain(AppState& state, QWidget* parent) : QWidget(parent), state_(state)
{
    setWindowTitle(QStringLiteral("Daredazi"));
    Image1 = new PictureBox(this);
    lbSenAr = new platform::ClickLabel(this);
    lbSenOt = new platform::ClickLabel(this);
    lbSenIn = new platform::ClickLabel(this);
    Panel1 = new QFrame(this);
    Panel1->hide();
    lbNitiji = new platform::ClickLabel(this);
    lbTitle = new platform::ClickLabel(this);
    lbComnt = new platform::ClickLabel(this);
    lbComnt->hide();
    btMap = new QToolButton(this);
    btMap->hide();
    cbDisp = new QComboBox(this);
    Edit1 = new QLineEdit(this);
    Edit1->hide();
    TimDsp = new QTimer(this);
    TimDsp->setInterval(20000);
    btBefr = new QPushButton(Panel1);
    lbFName = new platform::ClickLabel(QStringLiteral("ファイル名"), Panel1);
    btLRt = new QToolButton(Panel1);
    btRRt = new QToolButton(Panel1);
    btPrint = new QToolButton(Panel1);
    tbJump = new QSlider(Qt::Horizontal, Panel1);
    tbJump->setMinimum(1);
    lbPosi = new platform::ClickLabel(QStringLiteral("位置"), Panel1);
    lbTotal = new platform::ClickLabel(QStringLiteral("総数"), Panel1);
    udSec20 = new platform::UpDown(Panel1);
    udSec1 = new platform::UpDown(Panel1);
    lbTimer = new platform::ClickLabel(QStringLiteral("20秒"), Panel1);
    btTime = new QPushButton(QStringLiteral("OFF"), Panel1);
    lbUD = new platform::ClickLabel(QStringLiteral("20    1  タイマ"), Panel1);
    lbSize = new platform::ClickLabel(Panel1);
}

TfrmMain::~TfrmMain() = default;

bool TfrmMain::timerModeOn() const { return udSec1->isEnabled(); }
bool TfrmMain::hasBorder() const { return !(windowFlags() & Qt::FramelessWindowHint); }
void TfrmMain::setBorder(bool on) { setWindowFlag(Qt::FramelessWindowHint, !on); }
QImage TfrmMain::fullPicture() const { return QImage(); }
bool TfrmMain::dateFromMetadata() const { return false; }

void TfrmMain::Image1Click(QObject*) {}
void TfrmMain::TimDspTimer() { Image1Click(TimDsp); }
void TfrmMain::FormKeyDown(int, Qt::KeyboardModifiers) {}
void TfrmMain::btBefrClick() {}
void TfrmMain::tbJumpChange() {}
void TfrmMain::btTimeClick() {}
void TfrmMain::udSec1Click(bool) {}
void TfrmMain::btLRtClick() {}
void TfrmMain::btRRtClick() {}
void TfrmMain::cbDispCloseUp() {}
void TfrmMain::lbComntClick() {}
