// Speed of printing: the start-up preparation of the printer (which must
// stay a small part of the 300 ms start-up budget), against asking the print
// system for its printer list alone; and one print job of a 24-megapixel
// picture to a PDF file at 1200 dpi through the dialog, against drawing the
// same picture on a PDF printer directly. Prints figures and ratios.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/app_state.h"
#include "platform/fonts.h"
#include "widgets/message_box.h"
#include "print/print_setup.h"
#include "print/tdlg_print.h"

namespace {

double medianMs(int runs, const std::function<void()>& f)
{
    std::vector<double> t;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        f();
        t.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    platform::installFontSubstitutes();

    // The first call loads the print-system plugin; start-up pays for it once.
    QElapsedTimer first;
    first.start();
    print::preparePrinterAtStartup();
    const double firstMs = first.nsecsElapsed() / 1e6;
    const int printers = static_cast<int>(QPrinterInfo::availablePrinterNames().size());
    const double listMs = medianMs(20, [] { (void)QPrinterInfo::availablePrinterNames(); });
    const double prepareMs = medianMs(20, [] { print::preparePrinterAtStartup(); });
    std::printf("printers installed: %d\n", printers);
    std::printf("first preparation (plugin load): %8.3f ms\n", firstMs);
    std::printf("printer list alone:        %8.3f ms\n", listMs);
    std::printf("start-up preparation:      %8.3f ms (%.2fx the list; budget of start-up 300 ms)\n", prepareMs,
                listMs > 0 ? prepareMs / listMs : 0.0);

    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    QImage picture(6000, 4000, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = qRgb(x & 255, y & 255, (x ^ y) & 255);
    }

    AppState state;
    print::setPrinterDialogHook([](QPrinter&) { return true; });
    widgets::MessageCapture answers(true);
    const QString jobFile = dir.filePath(QStringLiteral("job.pdf"));
    const double jobMs = medianMs(3, [&] {
        TDlgPrint dlg(state);
        dlg.pictureSource = [&picture] { return picture; };
        QPrinter* p = dlg.printer();
        p->setOutputFormat(QPrinter::PdfFormat);
        p->setOutputFileName(jobFile);
        dlg.OKBtnClick();
    });
    print::setPrinterDialogHook(nullptr);

    const QString plainFile = dir.filePath(QStringLiteral("plain.pdf"));
    const double plainMs = medianMs(3, [&] {
        QPrinter p(QPrinter::HighResolution);
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(plainFile);
        QPainter painter(&p);
        painter.drawImage(QRect(1180, 1180, 7561, 5040), picture);
    });
    std::printf("print job 6000x4000, 1200 dpi PDF: %8.1f ms\n", jobMs);
    std::printf("plain drawImage to PDF:            %8.1f ms (job/plain %.2f)\n", plainMs,
                plainMs > 0 ? jobMs / plainMs : 0.0);
    return 0;
}
