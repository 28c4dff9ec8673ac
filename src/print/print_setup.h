#pragma once
// Start-up preparation of the printer: the printer font, and a job begun and
// aborted on the default printer so the first real print starts quickly.
// Skipped when no printer is installed.
class QFont;
class QPrinter;

namespace print {

// Warms the default printer, if there is one, with the start-up printer font.
void preparePrinterAtStartup();

// Begins a job on printer, writes "あ" at (1, 1) in font and abandons the
// job. Where the platform cannot abort a job, the job's output goes to the
// null device, so nothing ever reaches the print queue or a file.
void warmUpPrinter(QPrinter& printer, const QFont& font);

// The printer font at start (AppState::PrinterFont starts the same): the
// interface font at 9 points.
QFont startupPrinterFont();

}  // namespace print
