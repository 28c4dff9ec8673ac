// Time from the Escape key to the end of the process, in a show of large
// camera pictures (so the viewer is decoding ahead when the key comes). Each
// round runs the program's windows in a child process; the child notes the
// moment it sends the key, the parent the moment the child has ended.
// Prints the figures; asserts nothing.
#include <QApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "app/app_state.h"
#include "app/startup.h"
#include "folder/tfrm_sub.h"
#include "platform/folder_tree.h"
#include "platform/message_box.h"
#include "viewer/tfrm_main.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

int runChild(int fd, const QString& folder)
{
    int argc = 1;
    char name[] = "bench_quit";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    app::prepareApplication();
    AppState state;
    app::createWindows(state);
    platform::MessageCapture messages;
    TfrmSub* sub = state.frmSub;
    sub->tvFoldr->selectPath(folder);
    for (int i = 0; i < 500 && sub->FLList->count() == 0; ++i) {
        QCoreApplication::processEvents();
        usleep(10000);
    }
    sub->btOK->click();
    Clock::time_point sent;
    QTimer::singleShot(30, [&] {
        sent = Clock::now();
        const auto stamp = sent.time_since_epoch().count();
        if (write(fd, &stamp, sizeof stamp) != sizeof stamp)
            _exit(3);
        TfrmMain* viewer = state.frmMain;
        QWidget* target = viewer->focusWidget() ? viewer->focusWidget() : viewer;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    });
    QApplication::exec();
    const auto loopEnded = Clock::now();
    app::destroyWindows(state);
    const auto destroyed = Clock::now();
    std::printf("  key to end of event loop %.1f ms, window teardown %.1f ms\n", ms(loopEnded - sent),
                ms(destroyed - loopEnded));
    std::fflush(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QStringLiteral(DAREDAZI_TESTDATA_DIR) + QStringLiteral("/canon");
    std::printf("quit: Escape to process end, show of %s\n", qPrintable(folder));
    std::vector<double> rounds;
    for (int round = 0; round < 5; ++round) {
        int fds[2];
        if (pipe(fds) != 0)
            return 1;
        std::fflush(stdout);
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            _exit(runChild(fds[1], folder));
        }
        close(fds[1]);
        Clock::rep stamp = 0;
        const bool got = read(fds[0], &stamp, sizeof stamp) == sizeof stamp;
        int status = 0;
        waitpid(pid, &status, 0);
        const auto ended = Clock::now();
        close(fds[0]);
        if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::printf("round %d: the child failed\n", round + 1);
            continue;
        }
        const double total = ms(ended - Clock::time_point(Clock::duration(stamp)));
        std::printf("round %d: %.1f ms from Escape to process end\n", round + 1, total);
        rounds.push_back(total);
    }
    if (rounds.empty())
        return 1;
    std::sort(rounds.begin(), rounds.end());
    std::printf("median %.1f ms, worst %.1f ms (target: at most 200 ms)\n", rounds[rounds.size() / 2], rounds.back());
    return 0;
}
