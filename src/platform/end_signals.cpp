#include "platform/end_signals.h"

#include <QCoreApplication>
#include <QTimer>
#include <QVariant>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#ifndef _WIN32
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

std::atomic<bool> requested{false};
void (*cleanUpFn)() = nullptr;
// Paths to remove at the end; filled before any end can come.
constexpr int kMaxEndFiles = 8;
char* endFiles[kMaxEndFiles] = {};
std::atomic<int> endFileCount{0};
std::atomic<bool> ending{false};

#ifndef _WIN32
int toGuard[2] = {-1, -1};

void onSignal(int)
{
    const int saved = errno;
    const char c = 1;
    (void)!::write(toGuard[1], &c, 1);
    errno = saved;
}

void guard()
{
    char c;
    while (::read(toGuard[0], &c, 1) < 0 && errno == EINTR) {
    }
    requested.store(true);
    // At once, whatever the window's thread is doing: it may be stuck in a
    // read, deep in work, or about to take its windows down one by one (a
    // file-system model waits there for its reader thread). The program
    // writes nothing that a sudden end would leave half done.
    endNow();
}
#else
void onSignal(int)
{
    requested.store(true);
}

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
#endif

}  // namespace

void installEndSignals(void (*cleanUp)())
{
    cleanUpFn = cleanUp;
#ifndef _WIN32
    if (::pipe(toGuard) != 0)
        return;
    for (int fd : toGuard)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    ::fcntl(toGuard[1], F_SETFL, ::fcntl(toGuard[1], F_GETFL) | O_NONBLOCK);
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
#ifdef _WIN32
    auto* app = QCoreApplication::instance();
    if (!app || app->property("daredaziWatching").toBool())
        return;
    app->setProperty("daredaziWatching", true);
    auto* poll = new QTimer(app);
    poll->setInterval(20);
    QObject::connect(poll, &QTimer::timeout, [] {
        if (requested.load())
            leaveEveryLoop();
    });
    poll->start();
#endif
}

bool endRequested() { return requested.load(std::memory_order_relaxed); }

void removeAtEnd(const QByteArray& path)
{
    const int n = endFileCount.load();
    if (n >= kMaxEndFiles || path.isEmpty())
        return;
    endFiles[n] = new char[static_cast<size_t>(path.size()) + 1];
    std::memcpy(endFiles[n], path.constData(), static_cast<size_t>(path.size()) + 1);
    endFileCount.store(n + 1);
}

void endNow()
{
    // Once, from whichever thread comes first; another waits for the end.
    if (ending.exchange(true)) {
        for (;;)
            std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (cleanUpFn)
        cleanUpFn();
    for (int i = 0; i < endFileCount.load(); ++i)
        std::remove(endFiles[i]);
    std::fflush(nullptr);
    std::_Exit(0);
}

}  // namespace platform
