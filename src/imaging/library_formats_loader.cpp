// The viewer's way to the library readers: their module, loaded once, the
// first time a picture needs it.
#include "imaging/library_formats.h"

#include "imaging/program_module.h"

namespace imaging {

namespace {

struct Loaded {
    const LibraryFormats* formats = nullptr;
    QByteArray error;
};

const Loaded& loaded()
{
    static const Loaded once = [] {
        Loaded l;
        const ProgramModule m =
            loadProgramModule(DAREDAZI_MODULE_FILE, DAREDAZI_MODULE_INSTALLED, "daredazi_library_formats");
        using Entry = const LibraryFormats* (*)();
        if (m.entry)
            l.formats = reinterpret_cast<Entry>(m.entry)();
        l.error = l.formats ? QByteArray() : m.error.isEmpty() ? QByteArray("no readers in the module") : m.error;
        return l;
    }();
    return once;
}

}  // namespace

const LibraryFormats& libraryFormats()
{
    const Loaded& l = loaded();
    if (!l.formats)
        throw DecodeError(l.error.toStdString());
    return *l.formats;
}

}  // namespace imaging
