#include "print/tdlg_print.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

#include "app/app_state.h"
#include "folder/tfrm_sub.h"
#include "widgets/click_label.h"
#include "platform/dpi.h"
#include "platform/fonts.h"
#include "platform/window_functions.h"
#include "widgets/message_box.h"
#include "widgets/radio_group.h"
#include "print/page_layout.h"
#include "viewer/picture_box.h"
#include "viewer/tfrm_main.h"

namespace print {

namespace {

PrinterDialogHook& dialogHook()
{
    static PrinterDialogHook h;
    return h;
}

const QString kTitleOverflow = QStringLiteral("標題が印刷範囲から溢れます。\n印刷を続行しますか？");
const QString kPictureOverflow = QStringLiteral("画像が印刷範囲を超えています。\n印刷を続行しますか？");

QRect toRect(const Edges& e) { return QRect(e.left, e.top, e.width(), e.height()); }

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// The margins are measured from the paper's edge, so the job paints on the
// whole sheet; the page setup keeps its own mode afterwards.
class FullPageScope {
public:
    explicit FullPageScope(QPrinter& p) : printer_(p), was_(p.fullPage()) { p.setFullPage(true); }
    ~FullPageScope() { printer_.setFullPage(was_); }
    FullPageScope(const FullPageScope&) = delete;
    FullPageScope& operator=(const FullPageScope&) = delete;

private:
    QPrinter& printer_;
    bool was_;
};

}  // namespace

void setPrinterDialogHook(PrinterDialogHook hook) { dialogHook() = std::move(hook); }

PageSetup pageSetupOf(const QPrinter& printer)
{
    const QPageLayout layout = printer.pageLayout();
    const QRectF full = layout.fullRect(QPageLayout::Millimeter);
    const QMarginsF m = layout.margins(QPageLayout::Millimeter);
    PageSetup s;
    s.pageWidth = qRound(full.width() * 100.0);
    s.marginLeft = qRound(m.left() * 100.0);
    s.marginTop = qRound(m.top() * 100.0);
    s.marginRight = qRound(m.right() * 100.0);
    s.marginBottom = qRound(m.bottom() * 100.0);
    return s;
}

int printerFontHeight(const QFont& font, int dotsPerInch)
{
    if (font.pointSizeF() > 0)
        return -qRound(font.pointSizeF() * dotsPerInch / 72.0);
    return -font.pixelSize();
}

LayoutInput jobLayoutInput(const QPrinter& printer, const QFont& font, int printTextCode, bool scale,
                           bool full, QSize picture, const QString& text)
{
    LayoutInput in;
    in.setup = pageSetupOf(printer);
    const QRect sheet = printer.pageLayout().fullRectPixels(printer.resolution());
    in.pageWidth = sheet.width();
    in.pageHeight = sheet.height();
    in.fontHeight = printerFontHeight(font, printer.resolution());
    in.printTextCode = printTextCode;
    in.scale = scale;
    in.full = full;
    in.pictureWidth = picture.width();
    in.pictureHeight = picture.height();
    in.text = text;
    const QFontMetrics fm(font, &printer);
    in.textWidth = [fm](const QString& s) { return fm.horizontalAdvance(s); };
    return in;
}

void drawLayout(QPainter& painter, const PageLayout& layout, const QImage& picture, const QFont& font)
{
    painter.drawImage(toRect(layout.dest), picture, toRect(layout.source));
    if (layout.lines.empty())
        return;
    painter.setFont(font);
    painter.setPen(Qt::black);
    const QFontMetrics fm(font, painter.device());
    for (const TextLine& line : layout.lines) {
        if (line.clipped)
            painter.setClipRect(toRect(line.clip));
        if (layout.opaqueText)
            painter.fillRect(QRect(line.x, line.y, fm.horizontalAdvance(line.text), fm.height()), Qt::white);
        // y is the top of the text cell; Qt places text by its baseline.
        painter.drawText(QPoint(line.x, line.y + fm.ascent()), line.text);
        painter.setClipping(false);
    }
}

}  // namespace print

TDlgPrint::TDlgPrint(AppState& state, QWidget* parent) : QDialog(parent), state_(state)
{
    setWindowTitle(QStringLiteral("画像の印刷"));
    setWindowFlags(platform::kFixedDialogFlags);
    const double f = platform::dpiFactor(this);
    setFont(platform::uiFont(platform::scaled(15, f)));
    setFixedSize(platform::scaled(460, f), platform::scaled(226, f));
    auto place = [f](QWidget* w, int l, int t, int wd, int h) { platform::placeAt(w, l, t, wd, h, f); };

    rgInOut = new widgets::RadioGroup(QStringLiteral("標題等の印刷"),
                                       {QStringLiteral("印刷しない"), QStringLiteral("画像下部に重ねて印刷"),
                                        QStringLiteral("画像の下に別に印刷")},
                                       this);
    place(rgInOut, 8, 6, 212, 102);
    rgInOut->setItemIndex(2);
    rgSelect = new widgets::RadioGroup(QStringLiteral("印刷する項目"),
                                        {QStringLiteral("撮影日時のみ印刷"), QStringLiteral("標題のみ印刷"),
                                         QStringLiteral("日時と標題を印刷")},
                                        this);
    place(rgSelect, 8, 116, 212, 102);
    rgSelect->setItemIndex(2);

    cbScale = new QCheckBox(QStringLiteral("用紙の大きさに合わせて印刷"), this);
    place(cbScale, 232, 14, 222, 22);
    cbScale->setChecked(true);
    cbFull = new QCheckBox(QStringLiteral("印刷範囲の全面に印刷"), this);
    place(cbFull, 232, 40, 222, 22);
    // Their captions keep the dialog's font size; the boxes run on to the
    // dialog's edge where the caption needs it.
    for (QCheckBox* c : {cbScale, cbFull})
        c->resize(std::min(std::max(c->width(), c->sizeHint().width()), width() - c->x()), c->height());

    btFont = new QPushButton(QStringLiteral("フォント"), this);
    place(btFont, 240, 84, 96, 44);
    btFont->setAutoDefault(false);
    btPrSet = new QPushButton(QStringLiteral("印刷\n設定"), this);
    place(btPrSet, 348, 84, 96, 44);
    btPrSet->setAutoDefault(false);

    OKBtn = new QPushButton(QStringLiteral("印刷実行..."), this);
    place(OKBtn, 240, 178, 96, 33);
    OKBtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("キャンセル"), this);
    place(CancelBtn, 348, 178, 96, 33);
    CancelBtn->setAutoDefault(false);

    dlgFontFont = platform::uiFont(15);

    connect(cbScale, &QCheckBox::toggled, this, &TDlgPrint::cbScaleClick);
    connect(btFont, &QPushButton::clicked, this, &TDlgPrint::btFontClick);
    connect(btPrSet, &QPushButton::clicked, this, &TDlgPrint::btPrSetClick);
    connect(OKBtn, &QPushButton::clicked, this, &TDlgPrint::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());

    FormCreate();
}

TDlgPrint::~TDlgPrint() { delete ownPrinter_; }

void TDlgPrint::FormCreate()
{
    rgInOut->setItemIndex(print::inOutIndexFor(state_.PrintTextCode));
    rgSelect->setItemIndex(print::selectIndexFor(state_.PrintTextCode));
    dlgFontFont = state_.PrinterFont;
    if (state_.PrintScaleMode == 0) {
        cbScale->setChecked(false);
        cbFull->setEnabled(false);
    }
    if (state_.PrintScaleMode == 2)
        cbFull->setChecked(true);
    cbScaleClick();
}

void TDlgPrint::cbScaleClick() { cbFull->setEnabled(cbScale->isChecked()); }

void TDlgPrint::btFontClick()
{
    // The dialog lists the installed families only: open it on the face that
    // stands in for the printer font here, at its size and style.
    const QFont shown = platform::installedFaceFor(dlgFontFont);
    QFontDialog dialog(shown, this);
    dialog.setOption(QFontDialog::ScalableFonts);
    if (dialog.exec() != QDialog::Accepted)
        return;
    dlgFontFont = dialog.selectedFont();
    state_.PrinterFont = dlgFontFont;
}

void TDlgPrint::btPrSetClick()
{
    if (state_.frmSub) {
        state_.frmSub->btSetPrintClick();
        return;
    }
    QPageSetupDialog dialog(printer(), this);
    dialog.exec();
}

void TDlgPrint::OKBtnClick()
{
    printJob();
    accept();
}

QPrinter* TDlgPrint::printer()
{
    if (state_.frmSub)
        return state_.frmSub->pageSetup();
    if (!ownPrinter_) {
        ownPrinter_ = new QPrinter(QPrinter::HighResolution);
        ownPrinter_->setPageSize(QPageSize(QPageSize::A4));
        ownPrinter_->setPageMargins(QMarginsF(25.0, 25.0, 25.0, 25.0), QPageLayout::Millimeter);
    }
    return ownPrinter_;
}

QImage TDlgPrint::pictureToPrint() const
{
    QImage picture;
    if (pictureSource)
        picture = pictureSource();
    else if (state_.frmMain)
        picture = state_.frmMain->fullPicture();
    if (picture.isNull() || !picture.hasAlphaChannel())
        return picture;
    // An icon (or any picture with see-through parts) is printed as it is
    // seen: on the window's colour.
    QImage flat(picture.size(), QImage::Format_RGB32);
    flat.fill(state_.frmMain ? state_.frmMain->palette().color(QPalette::Window)
                             : QApplication::palette().color(QPalette::Window));
    QPainter p(&flat);
    p.drawImage(0, 0, picture);
    return flat;
}

void TDlgPrint::printJob()
{
    // 1-2. Remember the choices, normalised.
    if (rgInOut->itemIndex() <= 0) {
        rgInOut->setItemIndex(0);
        rgSelect->setItemIndex(-1);
    } else if (rgSelect->itemIndex() < 0) {
        rgSelect->setItemIndex(2);
    }
    state_.PrintTextCode = print::printTextCodeFor(rgInOut->itemIndex(), rgSelect->itemIndex());
    if (!cbScale->isChecked()) {
        cbFull->setChecked(false);
        state_.PrintScaleMode = 0;
    } else {
        state_.PrintScaleMode = cbFull->isChecked() ? 2 : 1;
    }

    // 3. The printer.
    QPrinter* pr = printer();
    if (print::dialogHook()) {
        if (!print::dialogHook()(*pr))
            return;
    } else {
        QPrintDialog PD(pr, this);
        if (PD.exec() != QDialog::Accepted)
            return;
    }

    print::BusyCursor busy;
    const QImage picture = pictureToPrint();
    if (picture.isNull())
        return;

    // 5. The text.
    QString date, title;
    bool redDate = false;
    if (TfrmMain* viewer = state_.frmMain) {
        date = viewer->lbNitiji->text();
        title = viewer->lbTitle->text();
        redDate = viewer->dateFromMetadata();
    }

    // 6-10. The layout, and the two questions.
    const QFont font = state_.PrinterFont;
    const QString text = print::composePrintText(state_.PrintTextCode, date, redDate, title);
    const print::LayoutInput in = print::jobLayoutInput(*pr, font, state_.PrintTextCode, cbScale->isChecked(),
                                                        cbFull->isChecked(), picture.size(), text);
    const print::PageLayout layout = print::layoutPage(in);
    if (!layout.valid)
        return;
    if (layout.titleOverflows && !widgets::askYesNo(print::kTitleOverflow, this))
        return;
    if (layout.pictureOverflows && !widgets::askYesNo(print::kPictureOverflow, this))
        return;

    // 11-13. One page.
    print::FullPageScope wholeSheet(*pr);
    QPainter painter;
    if (!painter.begin(pr))
        return;
    print::drawLayout(painter, layout, picture, font);
    painter.end();
}
