// Time from the Escape key to the end of the process, in a show of large
// camera pictures (so the viewer is decoding ahead when the key comes). Each
// round runs the program's windows in a child process; the child notes the
// moment it sends the key, the parent the moment the child has ended.
// Then, where Xvfb and xdotool are installed, the real program on an X
// display: Escape in a show of camera pictures, Escape while a related
// sound plays (the media back end loaded), and a click on the folder
// window's Exit; timed from the start of the xdotool that presses until the
// program has ended (xdotool's own start-up, timed alone, is printed too).
// A long session comes after each: in the child, a walk through every
// window (the folder tree opened on a folder of thousands of folders, a
// search, the print dialog, the version window) and then a show of 1,200
// advances at the shortest slide time, which is ten minutes of a show
// (simulated: each timer tick is sent at once); on the X display, the real
// program shows pictures for ten minutes at the shortest slide time (give
// other minutes as the second argument, 0 to leave it out).
// Prints the figures; asserts nothing.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>
#include <QLineEdit>
#include <QProcess>
#include <QSet>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/app_state.h"
#include "app/aux_windows.h"
#include "app/startup.h"
#include "folder/tfrm_sub.h"
#include "print/tdlg_print.h"
#include "search/tdlg_px_serch.h"
#include "widgets/up_down.h"
#include "widgets/folder_tree.h"
#include "widgets/message_box.h"
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
    widgets::MessageCapture messages;
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
    const int rc = QApplication::exec();
    std::printf("  key to end of event loop %.1f ms\n", ms(Clock::now() - sent));
    // As the program ends.
    app::endProcess(rc);
}

// Waits until the folder window lists folder.
void chooseFolder(TfrmSub* sub, const QString& folder)
{
    sub->tvFoldr->selectPath(folder);
    for (int i = 0; i < 500 && sub->FLList->count() == 0; ++i) {
        QCoreApplication::processEvents();
        usleep(10000);
    }
}

// The long session of the offscreen child: every window, then ten minutes of
// a show at the shortest slide time, its ticks sent at once.
int runLongChild(int fd, const QString& cameraFolder, const QString& busyFolder, const QString& showFolder)
{
    int argc = 1;
    char name[] = "bench_quit";
    char* argv[] = {name, nullptr};
    QApplication application(argc, argv);
    app::prepareApplication();
    AppState state;
    app::createWindows(state);
    widgets::MessageCapture messages;
    TfrmSub* sub = state.frmSub;
    TfrmMain* viewer = state.frmMain;
    const auto pump = [](int ms) {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    };

    // The tree opened on a folder of thousands of folders: its reader
    // thread and the file-system watcher get work.
    sub->tvFoldr->selectPath(busyFolder);
    sub->tvFoldr->expand(sub->tvFoldr->currentIndex());
    pump(1500);
    // A search over the camera pictures.
    chooseFolder(sub, cameraFolder);
    state.dlgPxSerch->edSerch->setText(QStringLiteral("a"));
    state.dlgPxSerch->OKBtnClick();
    pump(200);
    // The print dialog and the version window, opened and closed.
    {
        TDlgPrint print(state, viewer);
        print.show();
        pump(200);
    }
    {
        TfrmSSVer version(sub);
        version.show();
        pump(100);
    }

    // The show, at the shortest slide time (0:00, half a second).
    if (!sub->isVisible())
        sub->show();
    chooseFolder(sub, showFolder);
    sub->btOK->click();
    viewer->udSec1->setPosition(0);
    viewer->udSec1Click(false);
    for (int tick = 0; tick < 1200; ++tick) {
        viewer->TimDspTimer();
        QCoreApplication::processEvents();
    }
    pump(100);

    Clock::time_point sent;
    QTimer::singleShot(0, [&] {
        sent = Clock::now();
        const auto stamp = sent.time_since_epoch().count();
        if (write(fd, &stamp, sizeof stamp) != sizeof stamp)
            _exit(3);
        QWidget* target = viewer->focusWidget() ? viewer->focusWidget() : viewer;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(target, &press);
    });
    const int rc = QApplication::exec();
    std::printf("  key to end of event loop %.1f ms\n", ms(Clock::now() - sent));
    // As the program ends.
    app::endProcess(rc);
}

// Runs child in a process of its own; the milliseconds from the moment it
// wrote to the end of the process, or -1.
double timedChild(const std::function<int(int fd)>& child)
{
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        _exit(child(fds[1]));
    }
    close(fds[1]);
    Clock::rep stamp = 0;
    const bool got = read(fds[0], &stamp, sizeof stamp) == sizeof stamp;
    int status = 0;
    waitpid(pid, &status, 0);
    const auto ended = Clock::now();
    close(fds[0]);
    if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return ms(ended - Clock::time_point(Clock::duration(stamp)));
}

void printFigures(const char* what, std::vector<double> rounds)
{
    if (rounds.empty()) {
        std::printf("%s: no round succeeded\n", what);
        return;
    }
    std::sort(rounds.begin(), rounds.end());
    std::printf("%s: median %.1f ms, worst %.1f ms over %zu rounds (target: at most 200 ms)\n", what,
                rounds[rounds.size() / 2], rounds.back(), rounds.size());
}

// The real program on a display of its own.
class XDisplay {
public:
    bool start()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            return false;
        server_.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                             QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("1920x1080x24"), QStringLiteral("-dpi"), QStringLiteral("96")});
        if (!server_.waitForStarted(5000))
            return false;
        QByteArray number;
        while (!number.contains('\n') && server_.waitForReadyRead(10000))
            number += server_.readAllStandardOutput();
        display_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        return !number.trimmed().isEmpty();
    }
    ~XDisplay()
    {
        for (QProcess* p : {&sound_, &server_}) {
            if (p->state() == QProcess::NotRunning)
                continue;
            p->terminate();
            p->waitForFinished(5000);
        }
    }
    // A sound server of the bench's own (PulseAudio with a null sink) where
    // one is installed, so that a related sound really plays.
    bool startSoundServer()
    {
        const QString pulse = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
        if (pulse.isEmpty() || !soundRuntime_.isValid())
            return false;
        const QString socket = soundRuntime_.path() + QStringLiteral("/native");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), soundRuntime_.path());
        env.insert(QStringLiteral("HOME"), soundRuntime_.path());
        sound_.setProcessEnvironment(env);
        sound_.setProcessChannelMode(QProcess::MergedChannels);
        sound_.start(pulse, {QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                             QStringLiteral("-n"), QStringLiteral("-L"), QStringLiteral("module-null-sink"),
                             QStringLiteral("-L"),
                             QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") + socket});
        if (!sound_.waitForStarted(5000))
            return false;
        for (int i = 0; i < 50 && !QFileInfo::exists(socket); ++i)
            QThread::msleep(100);
        if (!QFileInfo::exists(socket))
            return false;
        soundServer_ = QStringLiteral("unix:") + socket;
        return true;
    }
    QProcessEnvironment environment(const QString& home) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!soundServer_.isEmpty())
            env.insert(QStringLiteral("PULSE_SERVER"), soundServer_);
        env.insert(QStringLiteral("DISPLAY"), display_);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + QStringLiteral("/run"));
        env.insert(QStringLiteral("LANG"), QStringLiteral("ja_JP.UTF-8"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("ja_JP.UTF-8"));
        return env;
    }
    // Runs xdotool to its end; the milliseconds it took.
    double xdotool(const QStringList& args, QByteArray* out = nullptr) const
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), display_);
        p.setProcessEnvironment(env);
        QElapsedTimer t;
        t.start();
        p.start(QStringLiteral("xdotool"), args);
        p.waitForFinished(20000);
        if (out)
            *out = p.readAllStandardOutput();
        return t.nsecsElapsed() / 1e6;
    }

private:
    QProcess server_;
    QString display_;
    QTemporaryDir soundRuntime_;
    QProcess sound_;
    QString soundServer_;
};

// One round: starts the program on the argument, waits for the window named,
// lets it work a moment, then quits it with the xdotool command given
// (which may name the window as %1). Returns the key-to-end time, or -1.
double quitRound(const XDisplay& x, const QString& program, const QString& argument, const QString& windowName,
                 int settleMs, const std::function<QStringList(const QByteArray& window)>& quitCommand)
{
    QTemporaryDir home;
    QDir(home.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(home.path() + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcess viewer;
    viewer.setProcessEnvironment(x.environment(home.path()));
    viewer.setProcessChannelMode(QProcess::ForwardedChannels);
    viewer.start(program, {argument});
    if (!viewer.waitForStarted(5000))
        return -1;
    QByteArray window;
    x.xdotool({QStringLiteral("search"), QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
               QStringLiteral("--name"), windowName},
              &window);
    window = window.trimmed().split('\n').value(0);
    if (window.isEmpty()) {
        viewer.kill();
        viewer.waitForFinished();
        return -1;
    }
    QThread::msleep(settleMs);
    // The command is made (and whatever it waits for done) before the clock starts.
    const QStringList command = quitCommand(window);
    QElapsedTimer t;
    t.start();
    x.xdotool(command);
    const bool ended = viewer.waitForFinished(5000);
    const double total = t.nsecsElapsed() / 1e6;
    if (!ended) {
        viewer.kill();
        viewer.waitForFinished();
        return -1;
    }
    return total;
}

bool makeSoundPicture(const QString& folder)
{
    QImage image(800, 600, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    const QString picture = folder + QStringLiteral("/a.jpg");
    return image.save(picture, "JPEG")
           && QProcess::execute(QStringLiteral("sox"), {QStringLiteral("-n"), QStringLiteral("-r"),
                                                        QStringLiteral("22050"), folder + QStringLiteral("/tone.wav"),
                                                        QStringLiteral("synth"), QStringLiteral("30"),
                                                        QStringLiteral("sine"), QStringLiteral("440")})
                  == 0
           && QProcess::execute(QStringLiteral("exiftool"),
                                {QStringLiteral("-q"), QStringLiteral("-overwrite_original"),
                                 QStringLiteral("-RelatedSoundFile=tone.wav"), picture})
                  == 0;
}

int runOnDisplay(int argc, char** argv, const QString& folder, const QString& showFolder)
{
    QCoreApplication application(argc, argv);
    XDisplay x;
    if (!x.start()) {
        std::printf("\non an X display: skipped (Xvfb or xdotool missing)\n");
        return 0;
    }
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/daredazi");
    std::printf("\nthe real program on an X display (Xvfb 1920x1080, 96 dpi, ja_JP.UTF-8)\n");
    std::vector<double> alone;
    for (int i = 0; i < 5; ++i)
        alone.push_back(x.xdotool({QStringLiteral("key"), QStringLiteral("Escape")}));
    std::sort(alone.begin(), alone.end());
    std::printf("xdotool pressing a key, alone: median %.1f ms (part of every figure below)\n",
                alone[alone.size() / 2]);
    const auto escape = [](const QByteArray&) { return QStringList{QStringLiteral("key"), QStringLiteral("Escape")}; };

    // A show of camera pictures, the next one being decoded ahead.
    const QStringList pictures = QDir(folder).entryList({QStringLiteral("*.jpg"), QStringLiteral("*.JPG")}, QDir::Files);
    if (!pictures.isEmpty()) {
        std::vector<double> rounds;
        for (int i = 0; i < 5; ++i)
            if (const double ms = quitRound(x, program, folder + u'/' + pictures.first(), pictures.first() + u'$', 300, escape);
                ms >= 0)
                rounds.push_back(ms);
        printFigures("Escape in a show of camera pictures", rounds);
    }

    // A related sound playing: the media back end and its threads are up.
    QTemporaryDir sound;
    std::printf("sound server: %s\n", x.startSoundServer() ? "PulseAudio of the benchmark's own (null sink)"
                                                            : "none (pulseaudio not installed): the back end finds none");
    if (makeSoundPicture(sound.path())) {
        std::vector<double> rounds;
        for (int i = 0; i < 5; ++i)
            if (const double ms = quitRound(x, program, sound.path() + QStringLiteral("/a.jpg"),
                                            QStringLiteral("a\\.jpg$"), 1500, escape);
                ms >= 0)
                rounds.push_back(ms);
        printFigures("Escape while a related sound plays", rounds);
    } else {
        std::printf("Escape while a related sound plays: skipped (sox or exiftool missing)\n");
    }

    // Exit in the folder window, clicked where a person clicks it.
    std::vector<double> rounds;
    for (int i = 0; i < 5; ++i) {
        const auto clickExit = [&x](const QByteArray& window) {
            QByteArray geometry;
            x.xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), QString::fromLatin1(window)},
                      &geometry);
            int left = 0, top = 0;
            for (const QByteArray& line : geometry.split('\n')) {
                if (line.startsWith("X="))
                    left = line.mid(2).toInt();
                if (line.startsWith("Y="))
                    top = line.mid(2).toInt();
            }
            // The button's design bounds (170, 458, 73 x 33 at 120 dpi), here at 96.
            const double f = 96.0 / 120.0;
            return QStringList{QStringLiteral("mousemove"), QString::number(left + qRound((170 + 36) * f)),
                               QString::number(top + qRound((458 + 16) * f)), QStringLiteral("click"),
                               QStringLiteral("1")};
        };
        if (const double ms = quitRound(x, program, folder, QStringLiteral("^フォルダの選択$"), 1500, clickExit); ms >= 0)
            rounds.push_back(ms);
    }
    printFigures("Exit clicked in the folder window", rounds);

    // Ten minutes of a show at the shortest slide time, then Escape.
    const int minutes = argc > 2 ? std::atoi(argv[2]) : 10;
    if (minutes <= 0 || showFolder.isEmpty())
        return 0;
    const auto longShow = [&](const QByteArray& window) {
        // The panel comes up under the pointer at the bottom left; udSec1's
        // lower arrow (302, 20, 17 x 25 on the panel at 16, bottom - 68, at
        // 120 dpi), pressed 20 times, brings the time to 0:00.
        const double f = 96.0 / 120.0;
        const int panelX = qRound(16 * f), panelY = 1080 - qRound(75 * f) + qRound(7 * f);
        const QString arrowX = QString::number(panelX + qRound((302 + 8) * f));
        const QString arrowY = QString::number(panelY + qRound((20 + 19) * f));
        x.xdotool({QStringLiteral("mousemove"), QStringLiteral("100"), QStringLiteral("1060")});
        QThread::msleep(300);
        QStringList clicks{QStringLiteral("mousemove"), arrowX, arrowY};
        for (int i = 0; i < 20; ++i)
            clicks << QStringLiteral("click") << QStringLiteral("1");
        x.xdotool(clicks);
        x.xdotool({QStringLiteral("mousemove"), QStringLiteral("960"), QStringLiteral("300")});
        // Pictures seen in the first five seconds (one every half second).
        QSet<QByteArray> seen;
        for (int i = 0; i < 20; ++i) {
            QByteArray caption;
            x.xdotool({QStringLiteral("getwindowname"), QString::fromLatin1(window)}, &caption);
            seen.insert(caption.trimmed());
            QThread::msleep(250);
        }
        std::printf("  %lld pictures shown in the first 5 s; showing on for %d minutes\n",
                    static_cast<long long>(seen.size()), minutes);
        std::fflush(stdout);
        QThread::sleep(static_cast<unsigned long>(minutes) * 60);
        return QStringList{QStringLiteral("key"), QStringLiteral("Escape")};
    };
    const double quit = quitRound(x, program, showFolder + QStringLiteral("/p00.jpg"), QStringLiteral("p00\\.jpg$"),
                                  500, longShow);
    if (quit >= 0)
        std::printf("Escape after %d minutes of a show at the shortest slide time: %.1f ms (target: at most 200 ms)\n",
                    minutes, quit);
    else
        std::printf("Escape after %d minutes of a show: the round failed\n", minutes);
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
        const double total = timedChild([&](int fd) { return runChild(fd, folder); });
        if (total < 0) {
            std::printf("round %d: the child failed\n", round + 1);
            continue;
        }
        std::printf("round %d: %.1f ms from Escape to process end\n", round + 1, total);
        rounds.push_back(total);
    }
    printFigures("offscreen, Escape in a show", rounds);

    // The long session: a folder of 3,000 folders for the tree, 30 pictures
    // of 1600 x 1200 for the show.
    QTemporaryDir work;
    const QString busy = work.filePath(QStringLiteral("busy"));
    const QString show = work.filePath(QStringLiteral("show"));
    for (int i = 0; i < 3000; ++i)
        QDir().mkpath(busy + QStringLiteral("/folder%1").arg(i, 4, 10, QLatin1Char('0')));
    QDir().mkpath(show);
    for (int i = 0; i < 30; ++i) {
        QImage image(1600, 1200, QImage::Format_RGB32);
        image.fill(QColor::fromHsv(i * 12, 160, 200));
        image.save(show + QStringLiteral("/p%1.jpg").arg(i, 2, 10, QLatin1Char('0')), "JPEG");
    }
    std::printf("\nlong session (offscreen): every window, then 1,200 advances at the shortest slide time\n");
    rounds.clear();
    for (int round = 0; round < 3; ++round) {
        const double total = timedChild([&](int fd) { return runLongChild(fd, folder, busy, show); });
        if (total < 0) {
            std::printf("round %d: the child failed\n", round + 1);
            continue;
        }
        std::printf("round %d: %.1f ms from Escape to process end\n", round + 1, total);
        rounds.push_back(total);
    }
    printFigures("offscreen, Escape after a long session", rounds);
    std::fflush(stdout);
    return runOnDisplay(argc, argv, folder, show);
}
