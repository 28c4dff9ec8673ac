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
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

#include "app/app_state.h"
#include "widgets/message_box.h"
#include "imaging/picture_decoder.h"
#include "viewer/picture_box.h"
#include "viewer/tfrm_main.h"
#include "support/libjpeg_writer.h"

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
    widgets::MessageCapture messages;
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

// A greyscale progressive JPEG with `scans` scans (each AC coefficient
// band split in two bits), the most a file may have before it is refused.
// With `repeats` > 0: flat grey, one refining scan over the whole band,
// written once and then repeated (libjpeg warns of the bogus progression
// and refines again): the costliest scans 75 kilobytes can hold.
QByteArray manyScanJpeg(int w, int h, int bands, int repeats = 0)
{
    std::vector<jpeg_scan_info> script;
    if (repeats > 0) {
        script = {{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 1}, {1, {0}, 1, 63, 1, 0}};
    } else {
        script.push_back({1, {0}, 0, 0, 0, 1});
        script.push_back({1, {0}, 0, 0, 1, 0});
    }
    for (int b = 0; b < bands; ++b) {
        const int ss = 1 + b * 63 / bands, se = (b + 1) * 63 / bands;
        script.push_back({1, {0}, ss, se, 0, 1});
        script.push_back({1, {0}, ss, se, 1, 0});
    }
    QByteArray bytes = testsupport::libjpegWrite(
        w, h, 1,
        [&](jpeg_compress_struct& c) {
            c.scan_info = script.data();
            c.num_scans = static_cast<int>(script.size());
            c.optimize_coding = TRUE;
        },
        [&](int y, JSAMPLE* row) {
            for (int x = 0; x < w; ++x)
                row[x] = repeats > 0 ? 0x80 : static_cast<JSAMPLE>(((x * 7) ^ (y * 3)) & 0xFF);
        });
    if (repeats > 0) {
        const qsizetype sos = bytes.lastIndexOf("\xFF\xDA"), eoi = bytes.size() - 2;
        const QByteArray scan = bytes.mid(sos, eoi - sos);
        bytes.truncate(eoi);
        for (int i = 0; i < repeats; ++i)
            bytes += scan;
        bytes += QByteArray("\xFF\xD9", 2);
        // Padded to the bytes its pixels need, so that only the scans' cost
        // can refuse it.
        const qsizetype need = qsizetype(w) * h / 512 + 1;
        if (bytes.size() < need)
            bytes.append(need - bytes.size(), '\0');
    }
    return bytes;
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
    // The scan bound: a 24-megapixel picture with the most scans allowed,
    // and the costliest scans repeated over 38 megapixels.
    struct Case {
        int w, h, bands, repeats;
    };
    for (const Case& k : {Case{6000, 4000, 4, 0}, Case{6000, 4000, 49, 0}, Case{6000, 6400, 0, 97}}) {
        const QByteArray jpg = manyScanJpeg(k.w, k.h, k.bands, k.repeats);
        imaging::DecodeRequest r;
        r.drawnSize = [](QSize) { return QSize(1620, 1080); };
        QElapsedTimer t;
        t.start();
        QString outcome = QStringLiteral("shown");
        try {
            imaging::decodePicture(QStringLiteral("s.jpg"), jpg, r);
        } catch (const imaging::DecodeError&) {
            outcome = QStringLiteral("refused");
        }
        const QString what = k.repeats ? QStringLiteral("%1x%2 one refining scan x %3").arg(k.w).arg(k.h).arg(k.repeats + 1)
                                       : QStringLiteral("%1x%2 progressive, %3 scans").arg(k.w).arg(k.h).arg(2 + 2 * k.bands);
        std::printf("%-38s %-22s %8.0f\n", qPrintable(what),
                    qPrintable(outcome), t.nsecsElapsed() / 1e6);
    }
    std::printf("target: each shown or refused within 1000 ms, peak under 400 MB\n");
    return 0;
}
