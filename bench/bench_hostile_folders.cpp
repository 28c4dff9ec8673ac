// Hostile folders: each row of what a folder may hold (FIFOs, devices and
// huge files under pictures' names, a maker note of sixteen million lines,
// broken links, Shift-JIS names, a link to the root, a folder 1,000 levels
// deep) met by the real program on an X server of its own, driven with
// xdotool, and then asked to end by a signal. Prints per row what happened,
// the time of the step the row waits for, the program's peak memory and the
// time from the signal to the end of the process; then the same for every
// signal in each state a signal must end the program in. Asserts nothing.
//
//   bench_hostile_folders [PICTURES [rows|signals]]
//       PICTURES: pictures of the search row (100000); rows or signals:
//       that part alone
#include <QCoreApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <vector>

#include "support/hostile_rows.h"

namespace {

const char* const kRows[] = {
    "",
    "57 KB maker note asking for 16 million lines",
    "8 and 64 GB sparse files beside the shown picture",
    "related sound that is a FIFO",
    "picture replaced by a FIFO during the show",
    "search while one picture becomes a FIFO",
    "picture replaced by /dev/zero, another grown to 8 GB",
    "daredazi-info on a FIFO and on a 64 GB file",
    "SIGTERM while the first picture's error box is up",
    "dangling links in the folder and a sub-folder",
    "Shift-JIS file name",
    "link to / inside the folder, sub-folders on",
    "picture 1,000 folders deep",
};

void print(const char* what, const testsupport::RowResult& r)
{
    if (!r.skipped.isEmpty()) {
        std::printf("%-52s skipped: %s\n", what, qPrintable(r.skipped));
        return;
    }
    std::printf("%-52s %-8s %8.0f ms  peak %5ld MB  %s  %s\n", what, r.reached ? "ok" : "FAILED", r.actionMs,
                r.peakKb / 1024, r.endMs < 0 ? "no end on signal" : qPrintable(QStringLiteral("end %1 ms%2").arg(r.endMs, 0, 'f', 0).arg(r.endedCleanly ? QString() : QStringLiteral(" (unclean)"))),
                qPrintable(r.detail));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    testsupport::XServer x;
    if (!x.start()) {
        std::printf("skipped: Xvfb or xdotool missing\n");
        return 0;
    }
    testsupport::RowSetup setup;
    setup.program = bin + QStringLiteral("/daredazi");
    setup.info = bin + QStringLiteral("/daredazi-info");
    setup.x = &x;
    setup.pictures = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 100000;
    std::printf("hostile folders: the real program on Xvfb 1920x1080 at 96 dpi; time of the step the row waits\n"
                "for, peak resident memory (target: under 400 MB), signal to end (target: within 200 ms)\n\n");
    const QString part = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    for (int row = 1; row <= 12 && part != QLatin1String("signals"); ++row) {
        QTemporaryDir folder;
        setup.folder = folder.path();
        print(qPrintable(QStringLiteral("%1  %2").arg(row, 2).arg(QString::fromUtf8(kRows[row]))),
              testsupport::runRow(row, setup));
    }

    if (part == QLatin1String("rows"))
        return 0;
    std::printf("\nsignals in each state (5 rounds each: worst end)\n");
    setup.pictures = std::min(setup.pictures, 20000);
    for (const char* state : {"box", "dialog", "walk", "search", "decode"}) {
        for (const auto& [signal, name] : {std::pair{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}}) {
            setup.signal = signal;
            testsupport::RowResult worst;
            worst.endMs = 0;
            bool allEnded = true;
            for (int round = 0; round < 5; ++round) {
                QTemporaryDir folder;
                setup.folder = folder.path();
                const testsupport::RowResult r = testsupport::runSignalCase(QString::fromLatin1(state), setup);
                const bool ended = r.endMs >= 0 && r.endedCleanly && r.reached;
                if (!ended)
                    print(qPrintable(QStringLiteral("  round %1 failed").arg(round + 1)), r);
                allEnded = allEnded && ended;
                if (r.endMs < 0 || r.endMs > worst.endMs || !r.reached)
                    worst = r;
                worst.peakKb = std::max(worst.peakKb, r.peakKb);
            }
            worst.reached = allEnded;
            print(qPrintable(QStringLiteral("%1 in %2").arg(QString::fromLatin1(name), QString::fromLatin1(state))),
                  worst);
        }
    }
    return 0;
}
