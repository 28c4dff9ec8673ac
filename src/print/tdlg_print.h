#pragma once
// The print dialog "画像の印刷": what text goes with the picture and how the
// picture is scaled; OK runs the printer dialog and prints one page.
#include <QDialog>
#include <QFont>
#include <QImage>
#include <QSize>
#include <QString>

#include <functional>

struct AppState;
class QCheckBox;
class QPainter;
class QPrinter;
class QPushButton;

namespace widgets {
class RadioGroup;
}

namespace print {
struct LayoutInput;
struct PageLayout;
struct PageSetup;

// Stands in for the printer dialog while set (tests): gets the printer the
// job will use and returns true to print, false for Cancel.
using PrinterDialogHook = std::function<bool(QPrinter& printer)>;
void setPrinterDialogHook(PrinterDialogHook hook);

// The page-setup values of a printer in hundredths of a millimetre.
PageSetup pageSetupOf(const QPrinter& printer);

// The printer font's height value in dots for a printer resolution:
// negative, minus the character height.
int printerFontHeight(const QFont& font, int dotsPerInch);

// The layout inputs of one job: the printer's whole sheet in dots, its page
// setup, the font, the choices, the picture's size and the text.
LayoutInput jobLayoutInput(const QPrinter& printer, const QFont& font, int printTextCode, bool scale,
                           bool full, QSize picture, const QString& text);

// Draws a computed layout: the picture part onto its rectangle, then the
// text lines (on white below the picture, see-through over it).
void drawLayout(QPainter& painter, const PageLayout& layout, const QImage& picture,
                const QFont& font);
}  // namespace print

class TDlgPrint : public QDialog {
    Q_OBJECT
public:
    explicit TDlgPrint(AppState& state, QWidget* parent = nullptr);
    ~TDlgPrint() override;

    widgets::RadioGroup* rgInOut = nullptr;
    widgets::RadioGroup* rgSelect = nullptr;
    QPushButton* btFont = nullptr;
    QPushButton* btPrSet = nullptr;
    QCheckBox* cbScale = nullptr;
    QCheckBox* cbFull = nullptr;
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;
    // The font dialog's font (it opens on it).
    QFont dlgFontFont;

    // Where the picture comes from; the viewer's full-resolution picture
    // unless replaced.
    std::function<QImage()> pictureSource;

    void FormCreate();
    void cbScaleClick();
    void btFontClick();
    void btPrSetClick();
    void OKBtnClick();

    // The printer the job uses: the folder window's page setup.
    QPrinter* printer();

private:
    // The print job; returns when it is done or the user stopped it.
    void printJob();
    QImage pictureToPrint() const;

    AppState& state_;
    QPrinter* ownPrinter_ = nullptr;  // only when there is no folder window
};
