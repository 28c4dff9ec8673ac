#include "platform/shell_open.h"

#include <QDesktopServices>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>

namespace platform {

namespace {

#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
// The handler's process, its streams going nowhere.
void prepare(QProcess& process, const QString& program, const QStringList& arguments)
{
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
}

// The first line a short query prints; empty when it fails or takes over
// five seconds.
QString firstLineOf(const QString& program, const QStringList& arguments)
{
    QProcess process;
    prepare(process, program, arguments);
    process.setStandardOutputFile(QString());  // its answer is read below
    process.start();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return {};
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    return out.section(u'\n', 0, 0).section(u';', 0, 0).trimmed();
}
#endif

}  // namespace

bool openExternally(const QUrl& url)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Qt's own opener runs xdg-open with our standard streams, and xdg-open
    // lists every browser it failed to find there.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) {
        QProcess process;
        prepare(process, opener, {url.isLocalFile() ? url.toLocalFile() : url.toString(QUrl::FullyEncoded)});
        return process.startDetached();
    }
#endif
    return QDesktopServices::openUrl(url);
}

bool desktopHasHandlerFor(const QString& filePath)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // xdg-open opens anything, a browser being its last resort, and
    // reports no failure while the program it started runs; what the
    // desktop would choose is asked beforehand.
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (opener.isEmpty() || mime.isEmpty())
        return false;
    const QString type = firstLineOf(mime, {QStringLiteral("query"), QStringLiteral("filetype"), filePath});
    if (type.isEmpty())
        return false;
    return !firstLineOf(mime, {QStringLiteral("query"), QStringLiteral("default"), type}).isEmpty();
#else
    Q_UNUSED(filePath);
    return true;
#endif
}

void openFileWatched(const QString& filePath, QObject* context, std::function<void()> failed)
{
    QPointer<QObject> guard(context);
    auto report = [guard, failed] {
        if (guard)
            failed();
    };
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (!opener.isEmpty()) {
        // Not a child of any window: a help viewer still open when we end
        // stays open, as one started detached would.
        auto* process = new QProcess;
        prepare(*process, opener, {filePath});
        QObject::connect(process, &QProcess::errorOccurred, process, [process, report](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart) {
                report();
                process->deleteLater();
            }
        });
        QObject::connect(process, &QProcess::finished, process,
                         [process, report](int code, QProcess::ExitStatus status) {
                             if (status != QProcess::NormalExit || code != 0)
                                 report();
                             process->deleteLater();
                         });
        process->start();
        return;
    }
#endif
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(filePath)) && context)
        QMetaObject::invokeMethod(context, report, Qt::QueuedConnection);
}

}  // namespace platform
