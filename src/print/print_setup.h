#pragma once
// Start-up preparation of the printer: its font, and a job begun and
// aborted so the first real print is quick. Skipped when no printer exists.
namespace print {

void preparePrinterAtStartup();

}  // namespace print
