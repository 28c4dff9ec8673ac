// The viewer's way to the library readers: the module beside the program
// (in the build tree) or in the package's library folder, loaded once, the
// first time a picture needs it.
#include "imaging/library_formats.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <dlfcn.h>

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
        const QString dir = QCoreApplication::applicationDirPath();
        const QStringList places{dir + QStringLiteral("/" DAREDAZI_FORMATS_MODULE),
                                 dir + QStringLiteral("/" DAREDAZI_FORMATS_MODULE_INSTALLED)};
        for (const QString& path : places) {
            if (!QFileInfo(path).isFile())
                continue;
            // Local: the module's copies of the program's own helpers stay
            // its own.
            void* module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
            if (!module) {
                l.error = dlerror();
                continue;
            }
            using Entry = const LibraryFormats* (*)();
            if (auto entry = reinterpret_cast<Entry>(dlsym(module, "daredazi_library_formats"))) {
                l.formats = entry();
                if (l.formats)
                    return l;
            }
            l.error = "no readers in " + QFile::encodeName(path);
        }
        if (l.error.isEmpty())
            l.error = "picture format module " DAREDAZI_FORMATS_MODULE " not found";
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
