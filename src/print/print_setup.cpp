#include "print/print_setup.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>

#include "platform/fonts.h"

namespace print {

QFont startupPrinterFont()
{
    QFont f(platform::kUiFontName);
    f.setPointSize(9);
    return f;
}

void warmUpPrinter(QPrinter& printer, const QFont& font)
{
    // Some print engines cannot take a job back once it has begun; with the
    // output sent to the null device the abandoned page goes nowhere.
    printer.setOutputFileName(QProcess::nullDevice());
    QPainter painter;
    if (!painter.begin(&printer))
        return;
    painter.setFont(font);
    const QFontMetrics fm(font, &printer);
    painter.drawText(QPoint(1, 1 + fm.ascent()), QStringLiteral("あ"));
    printer.abort();
    painter.end();
}

void preparePrinterAtStartup()
{
    // Asking for the printer list is cheap; creating a printer object for a
    // print system without printers is not needed at all.
    const QStringList names = QPrinterInfo::availablePrinterNames();
    if (names.isEmpty())
        return;
    QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        info = QPrinterInfo::printerInfo(names.first());
    QPrinter printer(info, QPrinter::HighResolution);
    warmUpPrinter(printer, startupPrinterFont());
}

}  // namespace print
