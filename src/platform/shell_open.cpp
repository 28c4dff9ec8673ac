#include "platform/shell_open.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>

namespace platform {

bool openExternally(const QUrl& url)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Qt's own opener runs xdg-open with our standard streams, and xdg-open
    // lists every browser it failed to find there.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) {
        QProcess process;
        process.setProgram(opener);
        process.setArguments({url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        return process.startDetached();
    }
#endif
    return QDesktopServices::openUrl(url);
}

}  // namespace platform
