// The print job end to end: the dialog prints to a PDF file through QPrinter,
// pdftoppm renders the page at the printer's own resolution (one dot, one
// pixel), and the picture and text are looked for where the layout says.
// Set DAREDAZI_KEEP_PRINT_PAGES to keep the temporary folder for a look.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QWidget>

#include <functional>
#include <memory>

#include "app/app_state.h"
#include "folder/tfrm_sub.h"
#include "widgets/click_label.h"
#include "widgets/message_box.h"
#include "widgets/radio_group.h"
#include "widgets/up_down.h"
#include "support/test_support.h"
#include "print/page_layout.h"
#include "print/print_setup.h"
#include "print/tdlg_print.h"
#include "viewer/tfrm_main.h"

namespace {

constexpr int kDpi = 150;
const QString kTitle = QStringLiteral("テスト標題ABC");
const QString kDate = QStringLiteral("2024:01:02 10:11:12");
const QRgb kBlue = qRgb(0, 0, 255);

QImage solid(int w, int h, QRgb colour)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

// Grey level 100 + 5 * column: the column a page pixel came from can be read back.
QImage columns(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    for (int x = 0; x < w; ++x)
        for (int y = 0; y < h; ++y) {
            const int v = 100 + 5 * x;
            img.setPixel(x, y, qRgb(v, v, v));
        }
    return img;
}

QRect boundsOf(const QImage& page, const QRect& within, const std::function<bool(QRgb)>& match)
{
    int l = INT_MAX, t = INT_MAX, r = -1, b = -1;
    const QRect area = within.intersected(page.rect());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (match(page.pixel(x, y))) {
                l = std::min(l, x);
                t = std::min(t, y);
                r = std::max(r, x);
                b = std::max(b, y);
            }
    return r < 0 ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

bool isBlue(QRgb c) { return qBlue(c) > 180 && qRed(c) < 90 && qGreen(c) < 90; }
bool isInk(QRgb c) { return qRed(c) < 90 && qGreen(c) < 90 && qBlue(c) < 90; }
bool isWhite(QRgb c) { return qRed(c) > 245 && qGreen(c) > 245 && qBlue(c) > 245; }
bool isPicture(QRgb c) { return !isWhite(c) && !isInk(c); }

QRect rectOf(const print::Edges& e) { return QRect(e.left, e.top, e.width(), e.height()); }

void expectNear(const QRect& got, const QRect& want, int tolerance, const char* what)
{
    ASSERT_FALSE(got.isNull()) << what << ": nothing found";
    EXPECT_NEAR(got.left(), want.left(), tolerance) << what;
    EXPECT_NEAR(got.top(), want.top(), tolerance) << what;
    EXPECT_NEAR(got.right(), want.right(), tolerance) << what;
    EXPECT_NEAR(got.bottom(), want.bottom(), tolerance) << what;
}

class PrintJob : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
            GTEST_SKIP() << "pdftoppm not installed";
        ASSERT_TRUE(dir_.isValid());
        if (qEnvironmentVariableIsSet("DAREDAZI_KEEP_PRINT_PAGES")) {
            dir_.setAutoRemove(false);
            std::printf("print pages in %s\n", qPrintable(dir_.path()));
        }
        state_ = std::make_unique<AppState>();
        viewer_ = std::make_unique<TfrmMain>(*state_);
        state_->frmMain = viewer_.get();
        sub_ = std::make_unique<TfrmSub>(*state_);
        state_->frmSub = sub_.get();
        QPrinter* p = sub_->pageSetup();
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setResolution(kDpi);
        print::setPrinterDialogHook([this](QPrinter&) {
            ++printerDialogs_;
            return printerDialogAnswer_;
        });
    }

    void TearDown() override
    {
        print::setPrinterDialogHook(nullptr);
        if (state_) {
            state_->frmSub = nullptr;
            state_->frmMain = nullptr;
        }
        sub_.reset();
        viewer_.reset();
    }

    void setDate(const QString& text, bool fromPicture)
    {
        viewer_->lbNitiji->setText(text);
        QPalette pal = viewer_->lbNitiji->palette();
        pal.setColor(QPalette::WindowText, fromPicture ? QColor(255, 0, 0) : QColor(216, 100, 0));
        viewer_->lbNitiji->setPalette(pal);
    }

    // Prints picture (the viewer's own when null) with the dialog set up by `choose`; returns the page as
    // rendered (null when no page was printed) and keeps the layout the job
    // should have followed.
    QImage printPage(const QImage& picture, const std::function<void(TDlgPrint&)>& choose, const QString& name,
                 bool answer = true)
    {
        const QString pdf = dir_.filePath(name + QStringLiteral(".pdf"));
        sub_->pageSetup()->setOutputFileName(pdf);
        {
            TDlgPrint dlg(*state_, viewer_.get());
            if (!picture.isNull())
                dlg.pictureSource = [picture] { return picture; };
            if (choose)
                choose(dlg);
            widgets::MessageCapture capture(answer);
            dlg.OKBtnClick();
            questions_ = capture.texts;
            text_ = print::composePrintText(state_->PrintTextCode, viewer_->lbNitiji->text(),
                                            viewer_->dateFromMetadata(), viewer_->lbTitle->text());
            const QSize size = picture.isNull() ? viewer_->fullPicture().size() : picture.size();
            layout_ = print::layoutPage(print::jobLayoutInput(*sub_->pageSetup(), state_->PrinterFont,
                                                              state_->PrintTextCode, dlg.cbScale->isChecked(),
                                                              dlg.cbFull->isChecked(), size, text_));
        }
        if (!QFile::exists(pdf))
            return QImage();
        const QString prefix = dir_.filePath(name);
        QProcess::execute(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QString::number(kDpi),
                                                       QStringLiteral("-png"), QStringLiteral("-singlefile"), pdf,
                                                       prefix});
        QImage page(prefix + QStringLiteral(".png"));
        return page.convertToFormat(QImage::Format_RGB32);
    }

    // Where the ink of a text line written with its cell's top at (x, y) lies.
    QRect inkOf(const print::TextLine& line) const
    {
        const QFontMetrics fm(state_->PrinterFont, sub_->pageSetup());
        // Leading blanks leave no ink but move the rest along.
        qsizetype blanks = 0;
        while (blanks < line.text.size() && line.text.at(blanks) == u' ')
            ++blanks;
        const int lead = fm.horizontalAdvance(line.text.left(blanks));
        return fm.tightBoundingRect(line.text.mid(blanks)).translated(line.x + lead, line.y + fm.ascent());
    }

    QRect pictureArea() const { return rectOf(layout_.dest); }

    QTemporaryDir dir_;
    std::unique_ptr<AppState> state_;
    std::unique_ptr<TfrmMain> viewer_;
    std::unique_ptr<TfrmSub> sub_;
    int printerDialogs_ = 0;
    bool printerDialogAnswer_ = true;
    QStringList questions_;
    QString text_;
    print::PageLayout layout_;
};

TEST_F(PrintJob, DefaultsPutALandscapePictureAcrossTheWidthWithTheTextUnderIt)
{
    viewer_->lbTitle->setText(kTitle);
    setDate(kDate, false);
    const QImage page = printPage(solid(400, 300, kBlue), nullptr, QStringLiteral("defaults"));
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(printerDialogs_, 1);
    EXPECT_TRUE(questions_.isEmpty());
    // A4 at 150 dpi with 25 mm margins: the area is 147..1093; the height
    // follows the picture's proportions.
    EXPECT_EQ(page.width(), 1240);
    EXPECT_EQ(layout_.dest, (print::Edges{147, 147, 1093, 856}));
    expectNear(boundsOf(page, page.rect(), isBlue), pictureArea().adjusted(0, 0, -1, -1), 2, "picture");
    ASSERT_EQ(layout_.lines.size(), 1u);
    EXPECT_EQ(layout_.lines[0].text, QStringLiteral("  ") + kTitle);  // the file's date is left out
    EXPECT_EQ(layout_.lines[0].y, 857);
    expectNear(boundsOf(page, page.rect(), isInk), inkOf(layout_.lines[0]), 2, "text");
}

TEST_F(PrintJob, TextOverThePictureIsSeeThrough)
{
    viewer_->lbTitle->setText(kTitle);
    const QImage page = printPage(solid(400, 300, kBlue), [](TDlgPrint& d) {
        d.rgInOut->setItemIndex(1);
        d.rgSelect->setItemIndex(1);
    }, QStringLiteral("over"));
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(state_->PrintTextCode, 2);
    ASSERT_EQ(layout_.lines.size(), 1u);
    const QRect ink = inkOf(layout_.lines[0]);
    EXPECT_TRUE(pictureArea().contains(ink)) << "text is inside the picture";
    expectNear(boundsOf(page, page.rect(), isInk), ink, 2, "text");
    // No white box behind the letters.
    EXPECT_TRUE(boundsOf(page, pictureArea().adjusted(2, 2, -3, -3), isWhite).isNull());
}

TEST_F(PrintJob, ALongTitleIsSplitOnceBelowThePicture)
{
    QString title;
    for (int i = 0; i < 8; ++i)
        title += QStringLiteral("とても長い標題です");
    viewer_->lbTitle->setText(title);
    const QImage page = printPage(solid(400, 300, kBlue), [](TDlgPrint& d) { d.rgSelect->setItemIndex(1); },
                              QStringLiteral("split"));
    ASSERT_FALSE(page.isNull());
    EXPECT_TRUE(questions_.isEmpty());
    ASSERT_EQ(layout_.lines.size(), 2u);
    EXPECT_EQ(layout_.lines[0].text + layout_.lines[1].text, title);
    const int limit = layout_.right - layout_.left - layout_.k / 3;
    const QFontMetrics fm(state_->PrinterFont, sub_->pageSetup());
    EXPECT_LE(fm.horizontalAdvance(layout_.lines[0].text), limit);
    EXPECT_GT(fm.horizontalAdvance(title.left(layout_.lines[0].text.size() + 1)), limit);
    const QRect below(0, layout_.picBottom + 1, page.width(), page.height());
    const int mid = layout_.lines[1].y;
    expectNear(boundsOf(page, QRect(0, below.top(), page.width(), mid - below.top()), isInk),
               inkOf(layout_.lines[0]), 2, "line 1");
    expectNear(boundsOf(page, QRect(0, mid, page.width(), page.height()), isInk), inkOf(layout_.lines[1]), 2,
               "line 2");
}

TEST_F(PrintJob, WholeAreaCropsASquarePictureOneMoreColumnAtTheRight)
{
    const QImage page = printPage(columns(30, 30), [](TDlgPrint& d) {
        d.rgInOut->setItemIndex(0);
        d.cbFull->setChecked(true);
    }, QStringLiteral("crop"));
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(state_->PrintScaleMode, 2);
    // Area 946 x 1460: 19 of the 30 columns fit its proportions; of the 11
    // left over, 5 go at the left and 6 at the right.
    EXPECT_EQ(layout_.source, (print::Edges{5, 0, 24, 30}));
    EXPECT_EQ(layout_.dest, (print::Edges{147, 147, 1093, 1607}));
    expectNear(boundsOf(page, page.rect(), isPicture), pictureArea().adjusted(0, 0, -1, -1), 2, "picture");
    // Read the column back from the grey level, in the middle of the first
    // and the last column drawn (each about 50 pixels wide).
    const int y = 600;
    const double columnWidth = 946.0 / 19.0;
    auto columnAt = [&](int x) { return qRound((qRed(page.pixel(x, y)) - 100) / 5.0); };
    EXPECT_EQ(columnAt(147 + int(columnWidth / 2)), 5);
    EXPECT_EQ(columnAt(1093 - int(columnWidth / 2)), 23);
    EXPECT_EQ(columnAt(147 + int(columnWidth * 9.5)), 14);
}

TEST_F(PrintJob, PixelForPixelAsksBeforePrintingAPictureLargerThanTheArea)
{
    viewer_->lbTitle->setText(kTitle);
    auto pixels = [](TDlgPrint& d) { d.cbScale->setChecked(false); };
    const QImage none = printPage(solid(2000, 1000, kBlue), pixels, QStringLiteral("large_no"), false);
    EXPECT_EQ(questions_, QStringList{QStringLiteral("画像が印刷範囲を超えています。\n印刷を続行しますか？")});
    EXPECT_TRUE(none.isNull()) << "nothing printed after No";

    const QImage page = printPage(solid(2000, 1000, kBlue), pixels, QStringLiteral("large_yes"), true);
    ASSERT_FALSE(page.isNull());
    EXPECT_EQ(state_->PrintScaleMode, 0);
    // Cut at the area's right edge, full height; the text follows the picture.
    EXPECT_EQ(layout_.dest, (print::Edges{147, 147, 1093, 1147}));
    expectNear(boundsOf(page, page.rect(), isBlue), pictureArea().adjusted(0, 0, -1, -1), 2, "picture");
    ASSERT_EQ(layout_.lines.size(), 1u);
    expectNear(boundsOf(page, page.rect(), isInk), inkOf(layout_.lines[0]), 2, "text");
}

TEST_F(PrintJob, TitleTooLongEvenForTwoLinesAsksFirst)
{
    viewer_->lbTitle->setText(QString(400, QChar(u'長')));
    const QImage page = printPage(solid(400, 300, kBlue), nullptr, QStringLiteral("overflow"), false);
    EXPECT_EQ(questions_, QStringList{QStringLiteral("標題が印刷範囲から溢れます。\n印刷を続行しますか？")});
    EXPECT_TRUE(page.isNull());
}

TEST_F(PrintJob, DateOfTheFileIsNeverPrinted)
{
    setDate(kDate, false);
    for (int select : {0, 2}) {
        for (int inOut : {1, 2}) {
            const QImage page = printPage(solid(400, 300, kBlue), [&](TDlgPrint& d) {
                d.rgInOut->setItemIndex(inOut);
                d.rgSelect->setItemIndex(select);
            }, QStringLiteral("orange_%1_%2").arg(inOut).arg(select));
            ASSERT_FALSE(page.isNull());
            EXPECT_TRUE(boundsOf(page, page.rect(), isInk).isNull()) << inOut << " " << select;
        }
    }
}

TEST_F(PrintJob, DateFromThePictureIsPrinted)
{
    setDate(kDate, true);
    if (!viewer_->dateFromMetadata())
        GTEST_SKIP() << "the viewer does not tell the date's origin yet";
    const QImage page = printPage(solid(400, 300, kBlue), [](TDlgPrint& d) { d.rgSelect->setItemIndex(0); },
                              QStringLiteral("red"));
    ASSERT_FALSE(page.isNull());
    ASSERT_EQ(layout_.lines.size(), 1u);
    EXPECT_EQ(layout_.lines[0].text, kDate);
    expectNear(boundsOf(page, page.rect(), isInk), inkOf(layout_.lines[0]), 2, "date");
}

TEST_F(PrintJob, SeeThroughPictureIsPrintedOnTheWindowColour)
{
    QPalette pal = viewer_->palette();
    pal.setColor(QPalette::Window, QColor(0, 0, 255));
    viewer_->setPalette(pal);
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    const QImage page = printPage(icon, [](TDlgPrint& d) { d.rgInOut->setItemIndex(0); }, QStringLiteral("icon"));
    ASSERT_FALSE(page.isNull());
    expectNear(boundsOf(page, page.rect(), isBlue), pictureArea().adjusted(0, 0, -1, -1), 2, "icon");
}

struct Choice {
    int inOut, select;
    bool scale, full;
    int code, mode;
    int shownSelect;  // after the normalisation at OK
    bool fullShown, fullEnabled;
};

// The size of the one picture embedded in a PDF file, as pdfimages lists it.
QSize embeddedImageSize(const QString& pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf});
    if (!p.waitForFinished(30000))
        return {};
    const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    if (lines.size() != 3)  // two heading lines and one image
        return {};
    const QStringList f = lines[2].split(u' ', Qt::SkipEmptyParts);
    return f.size() > 4 ? QSize(f[3].toInt(), f[4].toInt()) : QSize();
}

TEST_F(PrintJob, PrintsTheShownPictureAtFullResolutionTurnedAsShown)
{
    REQUIRE_TESTDATA();
    if (QStandardPaths::findExecutable(QStringLiteral("pdfimages")).isEmpty())
        GTEST_SKIP() << "pdfimages not installed";
    const auto file = testsupport::testDataDir() / "nikon" / "dc_Nikon_D90_DSC_0003.JPG";
    const std::string folder = file.parent_path().string();
    const std::string name = file.filename().string();
    state_->FolderList = {QString::fromStdString(folder)};
    state_->FolderIndexList = {QStringLiteral("0")};
    state_->FileList = {QString::fromStdString(name)};
    state_->CurrentIndex = 0;
    viewer_->ShowPicture();
    ASSERT_TRUE(viewer_->dateFromMetadata()) << "the sample's shooting date is read";

    printPage(QImage(), nullptr, QStringLiteral("viewer"));
    EXPECT_EQ(embeddedImageSize(dir_.filePath(QStringLiteral("viewer.pdf"))), QSize(4288, 2848));
    ASSERT_EQ(layout_.lines.size(), 1u);
    EXPECT_TRUE(layout_.lines[0].text.startsWith(viewer_->lbNitiji->text()));

    viewer_->btRRt->click();
    printPage(QImage(), nullptr, QStringLiteral("turned"));
    EXPECT_EQ(embeddedImageSize(dir_.filePath(QStringLiteral("turned.pdf"))), QSize(2848, 4288));
}

// The choices are kept even when the printer dialog is cancelled.
TEST_F(PrintJob, ReopenedDialogShowsTheLastChoices)
{
    printerDialogAnswer_ = false;
    const Choice choices[] = {
        {2, 2, true, false, 19, 1, 2, false, true},  // the defaults
        {1, 0, true, true, 1, 2, 0, true, true},
        {2, -1, false, true, 19, 0, 2, false, false},  // no item: the third; no scale: no fill
        {0, 1, false, false, 0, 0, -1, false, false},  // no text: no item
        {1, 1, true, false, 2, 1, 1, false, true},
    };
    for (const Choice& c : choices) {
        {
            TDlgPrint d(*state_, viewer_.get());
            d.rgInOut->setItemIndex(c.inOut);
            d.rgSelect->setItemIndex(c.select);
            d.cbScale->setChecked(c.scale);
            d.cbFull->setChecked(c.full);
            d.OKBtnClick();
        }
        EXPECT_EQ(state_->PrintTextCode, c.code);
        EXPECT_EQ(state_->PrintScaleMode, c.mode);
        TDlgPrint again(*state_, viewer_.get());
        EXPECT_EQ(again.rgInOut->itemIndex(), c.inOut) << c.code;
        EXPECT_EQ(again.rgSelect->itemIndex(), c.shownSelect) << c.code;
        EXPECT_EQ(again.cbScale->isChecked(), c.scale) << c.code;
        EXPECT_EQ(again.cbFull->isChecked(), c.fullShown) << c.code;
        EXPECT_EQ(again.cbFull->isEnabled(), c.fullEnabled) << c.code;
        // The fill box follows the scale box and keeps its mark.
        again.cbFull->setChecked(true);
        again.cbScale->click();
        EXPECT_EQ(again.cbFull->isEnabled(), !c.scale);
        EXPECT_TRUE(again.cbFull->isChecked());
    }
}

TEST_F(PrintJob, PrintButtonHoldsTheSlideTimerWhileTheDialogIsOpen)
{
    for (bool timerMode : {true, false}) {
        viewer_->udSec1->setEnabled(timerMode);
        viewer_->TimDsp->start();
        bool activeWhileOpen = true;
        bool sawDialog = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<TDlgPrint*>(w); d && d->isVisible()) {
                    sawDialog = true;
                    activeWhileOpen = viewer_->TimDsp->isActive();
                    d->CancelBtn->click();
                }
        });
        viewer_->btPrintClick();
        EXPECT_TRUE(sawDialog);
        EXPECT_FALSE(activeWhileOpen);
        EXPECT_EQ(viewer_->TimDsp->isActive(), timerMode);
    }
    viewer_->TimDsp->stop();
}

TEST(PrinterWarmUp, AbandonedJobLeavesNoOutput)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("warm.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(out);
    print::warmUpPrinter(printer, print::startupPrinterFont());
    EXPECT_FALSE(QFile::exists(out));
}

}  // namespace
