#include "print/print_setup.h"

namespace print {

void preparePrinterAtStartup() {}

}  // namespace print
