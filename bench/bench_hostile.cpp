// Hostile files: each file of the sample folder hostile/ shown by the real
// viewer (1920 x 1080, whole picture) in a process of its own, with the time
// of the advance that shows or refuses it and the process's peak resident
// memory. The valid large picture is also decoded at full size, as printing
// does.
//
//   bench_hostile                (all files)
//   bench_hostile one PATH [--full]   (internal) one file, prints its figures
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>

#include "app/app_state.h"
#include "platform/message_box.h"
#include "viewer/picture_box.h"
#include "viewer/tfrm_main.h"

namespace {

long statusKb(const char* field)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (f.open(QIODevice::ReadOnly))
        for (const QByteArray& line : f.readAll().split('\n'))
            if (line.startsWith(field))
                return line.mid(static_cast<int>(qstrlen(field))).trimmed().split(' ').first().toLong();
    return 0;
}

int oneFile(const QString& path, bool full)
{
    platform::MessageCapture messages;
    AppState state;
    QObject ok;
    TfrmMain v(state);
    v.handOverSender = &ok;
    v.resize(1920, 1080);
    v.show();
    QApplication::processEvents();
    const QFileInfo info(path);
    state.FolderList = {info.absolutePath()};
    state.FileList = {info.fileName()};
    state.FolderIndexList = {QStringLiteral("0")};
    state.CurrentIndex = 0;
    state.ViewerReady = true;
    const long before = statusKb("VmRSS:");
    QElapsedTimer t;
    t.start();
    v.Image1Click(&ok);
    double ms = t.nsecsElapsed() / 1e6;
    QString outcome = messages.texts.isEmpty()
                          ? QStringLiteral("shown %1x%2").arg(v.Image1->pictureSize().width()).arg(v.Image1->pictureSize().height())
                          : QStringLiteral("refused");
    if (full && messages.texts.isEmpty()) {
        t.restart();
        const QImage all = v.fullPicture();
        ms = t.nsecsElapsed() / 1e6;
        outcome = all.isNull() ? QStringLiteral("full: refused")
                               : QStringLiteral("full %1x%2").arg(all.width()).arg(all.height());
    }
    std::printf("%s\t%.0f\t%ld\t%ld\n", qPrintable(outcome), ms, before / 1024, statusKb("VmHWM:") / 1024);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() >= 2 && args[0] == QLatin1String("one"))
        return oneFile(args[1], args.contains(QLatin1String("--full")));

    const QDir dir(QStringLiteral(DAREDAZI_TESTDATA_DIR "/hostile"));
    const QStringList names = dir.entryList(QDir::Files, QDir::Name);
    if (names.isEmpty()) {
        std::printf("no files in %s\n", qPrintable(dir.path()));
        return 1;
    }
    std::printf("%-38s %-22s %8s %10s %10s\n", "file", "outcome", "time ms", "before MB", "peak MB");
    auto runOne = [&](const QString& name, bool full) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList a{QStringLiteral("one"), dir.filePath(name)};
        if (full)
            a << QStringLiteral("--full");
        child.start(QCoreApplication::applicationFilePath(), a);
        child.waitForFinished(120000);
        const QList<QByteArray> f = child.readAllStandardOutput().trimmed().split('\t');
        if (f.size() < 4) {
            std::printf("%-38s %-22s (child ended with status %d)\n", qPrintable(name), "?", child.exitCode());
            return;
        }
        std::printf("%-38s %-22s %8s %10s %10s\n", qPrintable(name + (full ? QStringLiteral(" (print)") : QString())),
                    f[0].constData(), f[1].constData(), f[2].constData(), f[3].constData());
    };
    for (const QString& name : names)
        runOne(name, false);
    for (const QString& name : names)
        if (name.endsWith(QLatin1String(".png")))
            runOne(name, true);
    std::printf("target: each shown or refused within 1000 ms, peak under 400 MB\n");
    return 0;
}
