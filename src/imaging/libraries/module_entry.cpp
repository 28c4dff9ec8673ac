// The entry point of the module the viewer loads the library readers from.
#include "imaging/library_formats.h"

extern "C" __attribute__((visibility("default"))) const imaging::LibraryFormats* daredazi_library_formats()
{
    return &imaging::linkedLibraryFormats();
}
