#include "platform/end_signals.h"

#include <QCoreApplication>
#include <QTimer>
#include <QVariant>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#ifndef _WIN32
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

std::atomic<bool> requested{false};
void (*cleanUpFn)() = nullptr;

// Leaves the loop running now and every loop started later: a modal box
// that the request closed would otherwise give way to the next one, or to
// the main loop not yet begun.
void leaveEveryLoop()
{
    auto* app = QCoreApplication::instance();
    if (!app || app->property("daredaziLeaving").toBool())
        return;
    app->setProperty("daredaziLeaving", true);
    QCoreApplication::exit(0);
    auto* again = new QTimer(app);
    again->setInterval(5);
    QObject::connect(again, &QTimer::timeout, [] { QCoreApplication::exit(0); });
    again->start();
}

#ifndef _WIN32
// One pipe wakes the window's thread, the other the thread that makes sure.
int toWindow[2] = {-1, -1};
int toGuard[2] = {-1, -1};

void onSignal(int)
{
    const int saved = errno;
    const char c = 1;
    (void)!::write(toWindow[1], &c, 1);
    (void)!::write(toGuard[1], &c, 1);
    errno = saved;
}

bool makePipe(int fds[2])
{
    if (::pipe(fds) != 0)
        return false;
    for (int i = 0; i < 2; ++i) {
        ::fcntl(fds[i], F_SETFD, FD_CLOEXEC);
        ::fcntl(fds[i], F_SETFL, ::fcntl(fds[i], F_GETFL) | (i == 1 ? O_NONBLOCK : 0));
    }
    return true;
}

void guard()
{
    char c;
    while (::read(toGuard[0], &c, 1) < 0 && errno == EINTR) {
    }
    requested.store(true);
    // The orderly end (the loops left, the windows taken down) normally
    // ends the process well within this; a thread stuck in a read, or work
    // that does not look up, must not keep it.
    std::this_thread::sleep_for(std::chrono::milliseconds(kEndGraceMs));
    if (cleanUpFn)
        cleanUpFn();
    ::_exit(0);
}
#else
void onSignal(int)
{
    requested.store(true);
}
#endif

}  // namespace

void installEndSignals(void (*cleanUp)())
{
    cleanUpFn = cleanUp;
#ifndef _WIN32
    if (!makePipe(toWindow) || !makePipe(toGuard))
        return;
    std::thread(guard).detach();
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int s : {SIGTERM, SIGINT, SIGHUP})
        sigaction(s, &sa, nullptr);
#else
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
#endif
}

void watchEndSignals()
{
    auto* app = QCoreApplication::instance();
    if (!app || app->property("daredaziWatching").toBool())
        return;
    app->setProperty("daredaziWatching", true);
#ifndef _WIN32
    if (toWindow[0] < 0)
        return;
    auto* notifier = new QSocketNotifier(toWindow[0], QSocketNotifier::Read, app);
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char buffer[16];
        (void)!::read(toWindow[0], buffer, sizeof buffer);
        requested.store(true);
        // Not quit(): that only asks the windows to close, and the folder
        // window may refuse.
        leaveEveryLoop();
    });
#else
    auto* poll = new QTimer(app);
    poll->setInterval(50);
    QObject::connect(poll, &QTimer::timeout, [] {
        if (requested.load())
            leaveEveryLoop();
    });
    poll->start();
#endif
}

bool endRequested() { return requested.load(std::memory_order_relaxed); }

}  // namespace platform
