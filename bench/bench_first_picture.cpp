// From a start with a picture on the command line ("daredazi PICTURE") to
// that picture painted, and from the folder window's OK to the first picture
// painted for a folder the program has not listed before, each against
// decoding the picture alone at the scale the viewer chose, in the same run.
// The pictures are 24-megapixel JPEGs. Warm (the files in the page cache)
// and, where the cache can be dropped (root), cold. Prints its figures;
// asserts nothing.
//
// A start runs in a process of its own (this program again, with --start),
// through the same start-up as main(), timed from just before the process
// is made to the paint. Offscreen the started process gets a 1920x1080
// screen, as a full-HD desktop would have; the OK figures use the offscreen
// screen (800x600) or, under a display (QT_QPA_PLATFORM=xcb, e.g. Xvfb at
// 1920x1080), the viewer's own screen size.
#include <QListWidget>
#include <QPushButton>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

#include "app/app_state.h"
#include "app/open_from_outside.h"
#include "app/single_instance.h"
#include "platform/end_signals.h"
#include "platform/file_names.h"
#include "platform/media_environment.h"
#include "camera_jpeg.h"
#include "page_cache.h"
#include "app/startup.h"
#include "folder/tfrm_sub.h"
#include "widgets/folder_tree.h"
#include "widgets/message_box.h"
#include "imaging/picture_decoder.h"
#include "viewer/picture_box.h"
#include "viewer/tfrm_main.h"
#include "viewer/viewer_logic.h"

namespace {

constexpr int kRuns = 5;

QImage photoImage(int w, int h)
{
    QImage img(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(3);
    for (int y = 0; y < h; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const double fx = double(x) / w, fy = double(y) / h;
            const int n = int(rng.bounded(40)) - 20;
            row[x] = qRgb(std::clamp(int(120 + 80 * std::sin(fx * 9 + fy * 3)) + n, 0, 255),
                          std::clamp(int(110 + 70 * std::cos(fy * 7 - fx * 2)) + n, 0, 255),
                          std::clamp(int(100 + 60 * std::sin((fx + fy) * 5)) + n / 2, 0, 255));
        }
    }
    return img;
}

QByteArray photoJpeg(int w, int h) { return bench::encodeJpeg(photoImage(w, h), 90); }

// Sets the flag when the widget has been painted.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

struct Run {
    double total = 0;     // OK pressed to the first paint done
    double inOk = 0;      // of which OK's handler (show list, decode, fit)
    double decode = 0;    // the picture alone at the viewer's scale, same file state
    QSize drawn;
    int scale = 1;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// One OK on a folder the windows have never listed.
Run okToPainted(const QString& folder, const QString& first, bool cold)
{
    Run r;
    AppState state;
    app::createWindows(state);
    TfrmSub* sub = state.frmSub;
    sub->show();
    QCoreApplication::processEvents();
    // The user picks the folder and, a moment later, presses OK.
    QElapsedTimer pick;
    pick.start();
    while (pick.elapsed() < 3000 &&
           (sub->tvFoldr->selectedPath() != QDir::toNativeSeparators(folder) || sub->FLList->count() == 0)) {
        sub->tvFoldr->selectPath(folder);
        sub->tvFoldrChange();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    while (pick.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    PaintWatch watch;
    state.frmMain->Image1->installEventFilter(&watch);
    if (cold)
        bench::dropPageCache();
    QElapsedTimer t;
    t.start();
    sub->btOK->click();
    r.inOk = t.nsecsElapsed() / 1e6;
    while (!watch.painted && t.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    r.total = t.nsecsElapsed() / 1e6;
    const QSize area = state.frmMain->Image1->size();
    state.frmMain->Image1->removeEventFilter(&watch);
    app::destroyWindows(state);

    // The decode alone, from the same state of the cache.
    if (cold)
        bench::dropPageCache();
    QFile f(first);
    QElapsedTimer d;
    d.start();
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    imaging::DecodeRequest req;
    req.drawnSize = [&](QSize full) { return viewer::drawnSize(area, full, true, false); };
    const imaging::DecodedPicture pic = imaging::decodePicture(QStringLiteral("a.jpg"), bytes, req);
    r.decode = d.nsecsElapsed() / 1e6;
    r.drawn = pic.image.size();
    r.scale = pic.scaleDenom;
    return r;
}

void report(const char* what, const std::vector<Run>& runs)
{
    std::vector<double> total, inOk, decode, ratio;
    for (const Run& r : runs) {
        total.push_back(r.total);
        inOk.push_back(r.inOk);
        decode.push_back(r.decode);
        ratio.push_back(r.total / r.decode);
    }
    const double q = median(ratio);
    std::printf("%-5s OK to first picture painted %7.1f ms, decode alone (file read + 1/%d to %dx%d) %7.1f ms: "
                "%.2fx (bound 1.30) %s\n",
                what, median(total), runs.front().scale, runs.front().drawn.width(), runs.front().drawn.height(),
                median(decode), q, q <= 1.3 ? "met" : "NOT MET");
    std::printf("      of which OK's handler %.1f ms, window shown and painted %.1f ms, beyond the decode %.1f ms\n",
                median(inOk), median(total) - median(inOk), median(total) - median(decode));
}

double monotonicMs()
{
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// ------------------------------------------------------------ the started process

// The started process's state, to tell whether the viewer took over the
// early decode.
AppState* startedState = nullptr;

// Tells the parent when each step of the start is done and ends the process
// once the picture has been painted.
class StartApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        // A first look says so just after its paint, so a paint is judged
        // once the events of the moment have run.
        if (startedState && startedState->frmMain && !startedState->frmMain->previewPainted) {
            startedState->frmMain->previewPainted = [this](const QImage& look) { firstLook_ = look.cacheKey(); };
        }
        const bool paint = event->type() == QEvent::Paint;
        const bool handled = QApplication::notify(receiver, event);
        if (paint) {
            const auto* box = dynamic_cast<const PictureBox*>(receiver);
            if (box && !box->isEmpty()) {
                const double at = monotonicMs();
                const qint64 key = box->picture().cacheKey();
                QTimer::singleShot(0, this, [this, key, at] {
                    // (Painted before the window was on screen, it comes
                    // again once it is.)
                    if (key == firstLook_) {
                        if (!firstLookPainted_)
                            std::printf("firstlook %.3f\n", at);
                        firstLookPainted_ = true;
                        return;
                    }
                    std::printf("painted %.3f\n", at);
                    if (startedState && startedState->frmMain)
                        std::printf("adopted %d\n", startedState->frmMain->pictureCache().hits());
                    std::fflush(stdout);
                    // As the program ends: the instance's socket goes with
                    // it, so the next start finds no stale one.
                    app::endProcess(0);
                });
            }
        }
        return handled;
    }

private:
    qint64 firstLook_ = 0;
    bool firstLookPainted_ = false;
};

void mark(const char* step)
{
    std::printf("%s %.3f\n", step, monotonicMs());
    std::fflush(stdout);
}

// main()'s start, step by step.
int startedProcess(int argc, char** argv, const char* picture)
{
    mark("exec");
    platform::installEndSignals(platform::removeMediaStateFolder);
    platform::keepMediaStateInTemporaryFolder();
    app::keepLibraryMessagesQuiet();
    StartApplication application(argc, argv);
    platform::watchEndSignals();
    mark("application");
    const QString startPath =
        app::startPathFromArguments({QString(), platform::decodeFileName(picture, qstrlen(picture))});
    if (app::forwardToRunningInstance(startPath))
        return 1;
    mark("instance");
    AppState state;
    startedState = &state;
    app::startRun(state, startPath);
    mark("opened");
    QApplication::exec();
    return 1;
}

// ------------------------------------------------------------ the parent

struct Start {
    bool ok = false;
    double exec = 0, application = 0, instance = 0, opened = 0, painted = 0;  // ms from the spawn
    double firstLook = 0;  // the camera's thumbnail painted, when it was
    bool adopted = false;  // the viewer showed the decode begun in main()
};

// One start of this program with --start picture; its steps as they came.
Start startOnce(const QString& self, const QString& picture, const QByteArray& platform, const QByteArray& runtime,
                bool cold)
{
    Start s;
    int out[2];
    if (pipe(out) != 0)
        return s;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const QByteArray selfBytes = QFile::encodeName(self), pictureBytes = QFile::encodeName(picture);
    char* args[] = {const_cast<char*>(selfBytes.constData()), const_cast<char*>("--start"),
                    const_cast<char*>(pictureBytes.constData()), nullptr};
    // The started process gets this environment with its own platform and
    // instance folder (no running viewer takes its start over).
    std::vector<QByteArray> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "QT_QPA_PLATFORM=", 16) != 0 && std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0)
            env.emplace_back(*e);
    env.push_back("QT_QPA_PLATFORM=" + platform);
    env.push_back("XDG_RUNTIME_DIR=" + runtime);
    std::vector<char*> envp;
    for (QByteArray& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    if (cold)
        bench::dropPageCache();
    const double t0 = monotonicMs();
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return s;
    }
    QByteArray text;
    char buf[512];
    pollfd pfd{out[0], POLLIN, 0};
    while (monotonicMs() - t0 < 15000 && ::poll(&pfd, 1, 100) >= 0) {
        if (!(pfd.revents & (POLLIN | POLLHUP)))
            continue;
        const ssize_t n = ::read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, n);
    }
    ::close(out[0]);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() != 2)
            continue;
        const double ms = f[1].toDouble() - t0;
        if (f[0] == "exec")
            s.exec = ms;
        else if (f[0] == "application")
            s.application = ms;
        else if (f[0] == "instance")
            s.instance = ms;
        else if (f[0] == "opened")
            s.opened = ms;
        else if (f[0] == "firstlook")
            s.firstLook = ms;
        else if (f[0] == "adopted")
            s.adopted = f[1].toInt() > 0;
        else if (f[0] == "painted") {
            s.painted = ms;
            s.ok = true;
        }
    }
    return s;
}

// The picture alone: the file read and decoded at the scale a start asks
// for on a screen of the given size.
Run decodeAlone(const QString& picture, QSize screen, bool cold)
{
    Run r;
    if (cold)
        bench::dropPageCache();
    QElapsedTimer d;
    d.start();
    QFile f(picture);
    f.open(QIODevice::ReadOnly);
    const QByteArray bytes = f.readAll();
    imaging::DecodeRequest req;
    req.drawnSize = [&](QSize full) { return viewer::drawnSize(screen, full, true, false); };
    const imaging::DecodedPicture pic = imaging::decodePicture(QStringLiteral("a.jpg"), bytes, req);
    r.decode = d.nsecsElapsed() / 1e6;
    r.drawn = pic.image.size();
    r.scale = pic.scaleDenom;
    return r;
}

void reportStarts(const char* what, const std::vector<Start>& starts, const std::vector<Run>& alone)
{
    std::vector<double> exec, application, instance, opened, painted, decode, firstLook;
    int adopted = 0;
    for (const Start& s : starts) {
        if (!s.ok)
            continue;
        adopted += s.adopted ? 1 : 0;
        exec.push_back(s.exec);
        application.push_back(s.application);
        instance.push_back(s.instance);
        opened.push_back(s.opened);
        painted.push_back(s.painted);
        if (s.firstLook > 0)
            firstLook.push_back(s.firstLook);
    }
    for (const Run& r : alone)
        decode.push_back(r.decode);
    if (painted.empty()) {
        std::printf("%-5s start to picture: NOT MEASURED (no start painted its picture)\n", what);
        return;
    }
    const double p = median(painted);
    std::printf("%-5s START TO PICTURE %7.1f ms  (target 200 ms warm: %s; %.2fx the target)\n", what, p,
                p <= 200 ? "met" : "NOT MET", p / 200);
    if (!firstLook.empty())
        std::printf("      first look (the camera's thumbnail) painted at %.1f ms in %zu of %zu starts\n",
                    median(firstLook), firstLook.size(), painted.size());
    std::printf("      steps (median ms from the spawn): in main %.1f, application made %.1f, instance checked %.1f,"
                " windows built and picture opened %.1f, painted %.1f\n",
                median(exec), median(application), median(instance), median(opened), p);
    std::printf("      decode alone (file read + 1/%d to %dx%d) %.1f ms; the start beyond it %.1f ms; %zu of %zu "
                "starts painted, %d of them the decode begun in main()\n",
                alone.front().scale, alone.front().drawn.width(), alone.front().drawn.height(), median(decode),
                p - median(decode), painted.size(), starts.size(), adopted);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--start") == 0)
        return startedProcess(argc, argv, argv[2]);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    widgets::MessageCapture quiet;
    QTemporaryDir root;
    std::printf("Generating a 6000x4000 JPEG...\n");
    const QByteArray big = photoJpeg(6000, 4000);
    const QByteArray small = photoJpeg(640, 480);
    // A fresh folder per run: three big pictures first (the viewer decodes
    // the next one ahead while the first is shown), then 38 small ones.
    auto makeFolder = [&](int k) {
        const QString dir = root.filePath(QStringLiteral("f%1").arg(k));
        QDir().mkpath(dir);
        for (int i = 0; i <= 40; ++i) {
            QFile f(dir + QStringLiteral("/p%1.jpg").arg(i, 3, 10, QLatin1Char('0')));
            f.open(QIODevice::WriteOnly);
            f.write(i < 3 ? big : small);
        }
        return dir;
    };
    okToPainted(makeFolder(99), root.filePath(QStringLiteral("f99/p000.jpg")), false);  // warm the code

    std::vector<Run> warm, cold;
    const bool canDrop = bench::dropPageCache();
    for (int k = 0; k < kRuns; ++k) {
        const QString dir = makeFolder(k);
        warm.push_back(okToPainted(dir, dir + QStringLiteral("/p000.jpg"), false));
        if (canDrop) {
            const QString dir2 = makeFolder(100 + k);
            cold.push_back(okToPainted(dir2, dir2 + QStringLiteral("/p000.jpg"), true));
        }
    }
    // Starts with a picture: a folder of its own, ten 24 MP pictures as a
    // camera writes them (with a 160 x 120 Exif thumbnail), and ten
    // without Exif.
    const QByteArray camera = bench::withCameraThumbnail(big, photoImage(6000, 4000));
    auto startFolder = [&](const QString& name, const QByteArray& bytes) {
        const QString dir = root.filePath(name);
        QDir().mkpath(dir);
        for (int i = 0; i < 10; ++i) {
            QFile f(dir + QStringLiteral("/IMG_%1.JPG").arg(i, 4, 10, QLatin1Char('0')));
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
        }
        return dir + QStringLiteral("/IMG_0000.JPG");
    };
    const QString startPicture = startFolder(QStringLiteral("start"), camera);
    const QString plainPicture = startFolder(QStringLiteral("plain"), big);
    const QString runtime = root.filePath(QStringLiteral("run"));
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    QSize startScreen = QGuiApplication::primaryScreen()->geometry().size();
    if (platform.startsWith("offscreen")) {
        const QString config = root.filePath(QStringLiteral("screen.json"));
        QFile c(config);
        c.open(QIODevice::WriteOnly);
        c.write(R"({"screens": [{"name": "bench", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
                R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
        c.close();
        platform = "offscreen:configfile=" + QFile::encodeName(config);
        startScreen = QSize(1920, 1080);
    }
    const QString self = QCoreApplication::applicationFilePath();
    startOnce(self, startPicture, platform, QFile::encodeName(runtime), false);  // warm the files
    startOnce(self, plainPicture, platform, QFile::encodeName(runtime), false);
    std::vector<Start> warmStarts, coldStarts, plainStarts;
    std::vector<Run> warmAlone, coldAlone, plainAlone;
    // Every warm start before the first cold one: a start just after the
    // cache was dropped finds the files it reads (fonts, plug-ins, the
    // loader's files) on the disk again.
    for (int k = 0; k < kRuns; ++k) {
        warmStarts.push_back(startOnce(self, startPicture, platform, QFile::encodeName(runtime), false));
        warmAlone.push_back(decodeAlone(startPicture, startScreen, false));
        plainStarts.push_back(startOnce(self, plainPicture, platform, QFile::encodeName(runtime), false));
        plainAlone.push_back(decodeAlone(plainPicture, startScreen, false));
    }
    for (int k = 0; canDrop && k < kRuns; ++k) {
        coldStarts.push_back(startOnce(self, startPicture, platform, QFile::encodeName(runtime), true));
        coldAlone.push_back(decodeAlone(startPicture, startScreen, true));
    }

    std::printf("24 MP JPEG (%.1f MB), a new folder of 41 pictures (3 of them 24 MP), median of %d runs\n", big.size() / 1e6, kRuns);
    report("warm", warm);
    if (canDrop)
        report("cold", cold);
    else
        std::printf("cold: not measured (dropping the page cache needs root)\n");
    std::printf("\nStarted with a 24 MP picture as a camera writes it (daredazi PICTURE), a %dx%d screen, "
                "median of %d starts\n",
                startScreen.width(), startScreen.height(), kRuns);
    reportStarts("warm", warmStarts, warmAlone);
    if (canDrop)
        reportStarts("cold", coldStarts, coldAlone);
    std::printf("\nStarted with a 24 MP picture without Exif, median of %d starts\n", kRuns);
    reportStarts("warm", plainStarts, plainAlone);
    return 0;
}
