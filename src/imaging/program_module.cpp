#include "imaging/program_module.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QString>

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
#include <dlfcn.h>
#endif

namespace imaging {

ProgramModule loadProgramModule(const char* fileName, const char* installedPath, const char* entrySymbol)
{
    ProgramModule m;
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString dir = QCoreApplication::applicationDirPath();
    for (const QString& path : {dir + u'/' + QLatin1String(fileName), dir + u'/' + QLatin1String(installedPath)}) {
        if (!QFileInfo(path).isFile())
            continue;
        // Local: a module's copies of the program's own helpers stay its own.
        void* module = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            m.error = dlerror();
            continue;
        }
        if ((m.entry = dlsym(module, entrySymbol)))
            return m;
        m.error = "no " + QByteArray(entrySymbol) + " in " + QFile::encodeName(path);
    }
    if (m.error.isEmpty())
        m.error = "module " + QByteArray(fileName) + " not found";
#else
    (void)installedPath;
    (void)entrySymbol;
    m.error = "no module " + QByteArray(fileName) + " on this system";
#endif
    return m;
}

}  // namespace imaging
