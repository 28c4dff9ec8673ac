#pragma once
// The program's own modules (the readers of the larger picture libraries,
// the media back end): loaded from beside the program in the build tree, or
// from the package's module folder, the first time they are needed.
#include <QByteArray>

namespace imaging {

struct ProgramModule {
    void* entry = nullptr;  // the entry function; null when not loaded
    QByteArray error;       // why not
};

// Loads `fileName` from the program's folder or from `installedPath`
// (relative to that folder) and looks up `entrySymbol` in it. Where the
// system has no such modules, it tells so.
ProgramModule loadProgramModule(const char* fileName, const char* installedPath, const char* entrySymbol);

}  // namespace imaging
