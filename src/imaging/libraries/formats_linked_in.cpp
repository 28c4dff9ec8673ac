// Programs that link the library readers in (tests, tools, fuzzers) use
// them directly.
#include "imaging/library_formats.h"

namespace imaging {

const LibraryFormats& libraryFormats() { return linkedLibraryFormats(); }

}  // namespace imaging
