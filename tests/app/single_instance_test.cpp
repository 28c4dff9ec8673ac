// One viewer per user and display: the real program started several times
// at once, on two displays, against a name another user took, and a later
// start bringing this process's viewer forward.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTest>

#include <memory>
#include <vector>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstddef>
#include <cstring>

#include "app/app_state.h"
#include "app/single_instance.h"
#include "viewer/tfrm_main.h"

namespace {

// A runtime folder of our own, so no viewer the machine's user runs takes part.
std::unique_ptr<QTemporaryDir> uniqueRuntimeDir()
{
    auto dir = std::make_unique<QTemporaryDir>();
    EXPECT_TRUE(dir->isValid());
    return dir;
}

std::unique_ptr<QProcess> startProgram(const QString& runtimeDir, const QString& workDir)
{
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(workDir);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(QStringLiteral(DAREDAZI_PROGRAM), {});
    return process;
}

}  // namespace

TEST(SingleInstance, SimultaneousStartsLeaveExactlyOne)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    for (const int starts : {2, 10}) {
        SCOPED_TRACE(starts);
        const auto runtime = uniqueRuntimeDir();
        const QString runtimeDir = runtime->path();
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < starts; ++i)
            runs.push_back(startProgram(runtimeDir, dir.path()));
        for (auto& run : runs)
            ASSERT_TRUE(run->waitForStarted(10000));

        // All but one hand over and end by themselves.
        QDeadlineTimer deadline(30000);
        auto running = [&] {
            int n = 0;
            for (auto& run : runs)
                n += run->state() != QProcess::NotRunning;
            return n;
        };
        while (running() > 1 && !deadline.hasExpired())
            QTest::qWait(50);
        QTest::qWait(500);  // a second survivor would still be running now
        EXPECT_EQ(running(), 1);
        for (auto& run : runs) {
            if (run->state() == QProcess::NotRunning) {
                EXPECT_EQ(run->exitStatus(), QProcess::NormalExit);
                EXPECT_EQ(run->exitCode(), 0) << run->readAll().toStdString();
            }
        }

        // The survivor keeps answering: a later start ends at once too.
        auto late = startProgram(runtimeDir, dir.path());
        EXPECT_TRUE(late->waitForFinished(15000));
        EXPECT_EQ(late->exitCode(), 0);

        for (auto& run : runs) {
            run->kill();
            run->waitForFinished(5000);
        }
    }
}

TEST(SingleInstance, LaterStartRestoresTheMinimisedViewer)
{
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const auto runtime = uniqueRuntimeDir();
    const QString runtimeDir = runtime->path();
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDir));

    AppState state;
    ASSERT_FALSE(app::forwardToRunningInstance()) << "nobody else holds a fresh name";
    TfrmMain viewer(state);
    state.frmMain = &viewer;
    viewer.showMinimized();
    ASSERT_TRUE(viewer.isMinimized());
    app::listenForLaterInstances(state);

    QTemporaryDir dir;
    auto later = startProgram(runtimeDir, dir.path());
    ASSERT_TRUE(later->waitForFinished(15000));
    EXPECT_EQ(later->exitCode(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !viewer.isMinimized(); }, 5000));
    EXPECT_TRUE(viewer.isVisible());

    state.frmMain = nullptr;
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

namespace {

// Sets XDG_RUNTIME_DIR for the test's lifetime.
class RuntimeDirScope {
public:
    explicit RuntimeDirScope(const QByteArray& value) : saved_(qgetenv("XDG_RUNTIME_DIR")), had_(qEnvironmentVariableIsSet("XDG_RUNTIME_DIR"))
    {
        if (value.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", value);
    }
    ~RuntimeDirScope()
    {
        if (had_)
            qputenv("XDG_RUNTIME_DIR", saved_);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }

private:
    QByteArray saved_;
    bool had_;
};

}  // namespace

TEST(SingleInstance, ChannelIsPrivateToTheNumericUser)
{
    const QString uid = QString::number(getuid());
    const QByteArray savedUser = qgetenv("USER");
    {
        // Two shells of one user with different USER values share one name.
        RuntimeDirScope none{QByteArray()};
        qputenv("USER", "alice");
        const app::InstanceChannel first = app::instanceChannel();
        qputenv("USER", "bob");
        const app::InstanceChannel second = app::instanceChannel();
        EXPECT_EQ(first.name, second.name);
        EXPECT_TRUE(first.name.contains(QStringLiteral("Daredazi-") + uid + QLatin1Char('-'))) << first.name.toStdString();
    }
    {
        // In the private runtime folder, a socket file nobody else can make.
        QTemporaryDir runtime;
        RuntimeDirScope scope(QFile::encodeName(runtime.path()));
        const app::InstanceChannel channel = app::instanceChannel();
        EXPECT_FALSE(channel.abstract);
        EXPECT_EQ(channel.name, runtime.filePath(QStringLiteral("Daredazi-") + uid + QLatin1Char('-') + app::displayKey()));
    }
    {
        // A runtime folder others may enter is not trusted either.
        QTemporaryDir runtime;
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                                                  QFileDevice::ReadOther | QFileDevice::ExeOther);
        RuntimeDirScope scope(QFile::encodeName(runtime.path()));
        EXPECT_FALSE(app::instanceChannel().name.startsWith(runtime.path()));
    }
    {
        // A relative or missing runtime folder is not trusted.
        RuntimeDirScope relative("relative/run");
        EXPECT_FALSE(app::instanceChannel().name.contains(QStringLiteral("relative")));
    }
    qputenv("USER", savedUser);
}

TEST(SingleInstance, HandOverCarriesOnlyOneBoundedAbsolutePath)
{
    struct Row {
        QByteArray message;
        bool accepted;
        QString path;
    };
    const QByteArray longest = "/" + QByteArray(app::kMaxHandOverBytes - 1, 'a');
    const std::vector<Row> rows = {
        {"\n", true, {}},
        {"/home/u/写真/a.jpg\n", true, QStringLiteral("/home/u/写真/a.jpg")},
        {longest + "\n", true, QString::fromLatin1(longest)},
        {"/" + longest + "\n", false, {}},        // one byte over the bound
        {"raise\n", false, {}},                   // a word, not a path
        {"pictures/a.jpg\n", false, {}},          // relative to someone else's folder
        {"/a.jpg", false, {}},                    // no line end
        {"/a\nb.jpg\n", false, {}},               // two lines
        {QByteArray("/a\0b\n", 5), false, {}},    // NUL
        {"/a\x1b[2Jb\n", false, {}},              // control character
        {"/a\xff\xfe.jpg\n", false, {}},          // not UTF-8
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message.left(40).toStdString());
        QString path = QStringLiteral("untouched");
        EXPECT_EQ(app::parseHandOverMessage(row.message, &path), row.accepted);
        if (row.accepted) {
            EXPECT_EQ(path, row.path);
        }
    }
    // What a later start sends reads back as its path; one too long to hand
    // over is sent as a plain request to come forward.
    QString path;
    ASSERT_TRUE(app::parseHandOverMessage(app::handOverMessage(QStringLiteral("/tmp/写真")), &path));
    EXPECT_EQ(path, QStringLiteral("/tmp/写真"));
    EXPECT_EQ(app::handOverMessage(QString(5000, QLatin1Char('/'))), QByteArray("\n"));
}

TEST(SingleInstance, SilentOrGarbageClientsAreDroppedAndTheInstanceKeepsAnswering)
{
    QTemporaryDir runtime;
    RuntimeDirScope scope(QFile::encodeName(runtime.path()));
    AppState state;
    ASSERT_FALSE(app::forwardToRunningInstance());
    TfrmMain viewer(state);
    state.frmMain = &viewer;
    viewer.showMinimized();
    app::listenForLaterInstances(state);

    const QByteArray overlong(1 << 20, 'x');
    const std::vector<QByteArray> sends = {
        {},                                   // connects and says nothing
        "raise\n",
        "/no/line/end",
        overlong,                             // a flood without a line end
        "/a.jpg\n/b.jpg\n",
        QByteArray("\x00\x01\x02\xff\n", 5),
    };
    for (const QByteArray& send : sends) {
        SCOPED_TRACE(send.left(20).toHex().toStdString());
        QLocalSocket raw;
        raw.connectToServer(app::instanceServerName());
        ASSERT_TRUE(raw.waitForConnected(2000));
        raw.write(send);
        // The instance closes the line itself, within its one second.
        const bool closed = QTest::qWaitFor([&] { return raw.state() == QLocalSocket::UnconnectedState; }, 3000);
        EXPECT_TRUE(closed);
        EXPECT_TRUE(viewer.isMinimized()) << "garbage must not act";
    }

    // A proper request after all that is still answered.
    QLocalSocket good;
    good.connectToServer(app::instanceServerName());
    ASSERT_TRUE(good.waitForConnected(2000));
    good.write(app::handOverMessage({}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !viewer.isMinimized(); }, 3000));
    state.frmMain = nullptr;
}

TEST(SingleInstance, SocketLeftByACrashedRunIsTakenOver)
{
    QTemporaryDir runtime;
    RuntimeDirScope scope(QFile::encodeName(runtime.path()));
    // A socket file nobody listens on, as a run that crashed leaves it.
    const QByteArray name = QFile::encodeName(app::instanceServerName());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(static_cast<size_t>(name.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, name.constData(), static_cast<size_t>(name.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(QFile::decodeName(name)));

    EXPECT_FALSE(app::forwardToRunningInstance()) << "the stale name is claimed, not answered";
    QLocalSocket probe;
    probe.connectToServer(app::instanceServerName());
    EXPECT_TRUE(probe.waitForConnected(2000)) << "this run now listens under the name";
}

#ifdef Q_OS_LINUX
// Without a runtime folder the name is an abstract socket, which any user can
// reach: a request from another user must not act. Needs root to be another
// user.
TEST(SingleInstance, AnotherUsersRequestIsRefused)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    RuntimeDirScope none{QByteArray()};
    const app::InstanceChannel channel = app::instanceChannel();
    ASSERT_TRUE(channel.abstract);
    AppState state;
    if (app::forwardToRunningInstance())
        GTEST_SKIP() << "a viewer of this user is running";
    TfrmMain viewer(state);
    state.frmMain = &viewer;
    viewer.showMinimized();
    app::listenForLaterInstances(state);

    const QByteArray name = channel.name.toUtf8();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Plain system calls only, in the child of a threaded process.
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.constData(), static_cast<size_t>(name.size()));
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), length) != 0)
            _exit(2);
        if (::write(fd, "\n", 1) != 1)
            _exit(4);
        char buffer[16];
        while (::read(fd, buffer, sizeof buffer) > 0) {
        }
        _exit(0);
    }
    int status = -1;
    const bool ended = QTest::qWaitFor([&] { return waitpid(child, &status, WNOHANG) == child; }, 5000);
    if (!ended) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    if (ended && WIFEXITED(status) && WEXITSTATUS(status) == 3) {
        state.frmMain = nullptr;
        GTEST_SKIP() << "cannot become a second user here";
    }
    EXPECT_TRUE(ended) << "the other user's line is closed";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the other user reached the name";
    QTest::qWait(200);
    EXPECT_TRUE(viewer.isMinimized()) << "another user's request must not act";
    state.frmMain = nullptr;
}
#endif

TEST(SingleInstance, OneDisplayIsOneDesktop)
{
    // Every screen of one X display, however it is written, is one desktop;
    // other displays, hosts and window systems are others.
    const QString zero = app::displayKey(QStringLiteral("xcb"), QStringLiteral(":0"));
    for (const char* same : {":0.0", ":0.1", "unix:0"})
        EXPECT_EQ(app::displayKey(QStringLiteral("xcb"), QString::fromLatin1(same)), zero) << same;
    const QStringList others = {
        app::displayKey(QStringLiteral("xcb"), QStringLiteral(":1")),
        app::displayKey(QStringLiteral("xcb"), QStringLiteral("localhost:10.0")),
        app::displayKey(QStringLiteral("wayland"), QStringLiteral("wayland-0")),
        app::displayKey(QStringLiteral("wayland"), QStringLiteral("wayland-1")),
        zero,
    };
    EXPECT_EQ(QSet<QString>(others.begin(), others.end()).size(), others.size()) << others.join(u' ').toStdString();
    // Whatever the display is called, the key is a plain part of a socket name.
    const QString odd = app::displayKey(QStringLiteral("xcb"), QStringLiteral("/tmp/ünix sock:7.0/") + QString(200, u'x'));
    EXPECT_TRUE(odd.contains(QRegularExpression(QStringLiteral("^[A-Za-z0-9._-]{1,40}$")))) << odd.toStdString();
}

namespace {

// An X display of the test's own, numbered by the server itself.
class OwnDisplay {
public:
    bool start()
    {
        const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
        if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            return false;
        server_.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                             QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                             QStringLiteral("1280x800x24")});
        if (!server_.waitForStarted(5000))
            return false;
        QByteArray number;
        while (!number.contains('\n') && server_.waitForReadyRead(10000))
            number += server_.readAllStandardOutput();
        name_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        return !number.trimmed().isEmpty();
    }
    ~OwnDisplay()
    {
        server_.terminate();
        server_.waitForFinished(5000);
    }
    const QString& name() const { return name_; }

    // Whether a visible window whose name matches the pattern comes up
    // within the seconds given.
    bool shows(const QString& pattern, int seconds) const
    {
        QProcess search;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), name_);
        search.setProcessEnvironment(env);
        search.start(QStringLiteral("timeout"), {QString::number(seconds), QStringLiteral("xdotool"), QStringLiteral("search"),
                                                 QStringLiteral("--sync"), QStringLiteral("--onlyvisible"),
                                                 QStringLiteral("--name"), pattern});
        search.waitForFinished((seconds + 5) * 1000);
        return search.exitStatus() == QProcess::NormalExit && search.exitCode() == 0 &&
               !search.readAllStandardOutput().trimmed().isEmpty();
    }

    // The real program on this display.
    std::unique_ptr<QProcess> run(const QString& runtimeDir, const QString& argument) const
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), name_);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        if (runtimeDir.isEmpty())
            env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
        else
            env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(QStringLiteral(DAREDAZI_PROGRAM), {argument});
        return process;
    }

private:
    QProcess server_;
    QString name_;
};

void stop(QProcess& process)
{
    process.kill();
    process.waitForFinished(5000);
}

}  // namespace

TEST(SingleInstance, AStartOnAnotherDisplayRunsItsOwnViewer)
{
    OwnDisplay first, second;
    if (!first.start() || !second.start())
        GTEST_SKIP() << "needs Xvfb and xdotool";
    const auto runtime = uniqueRuntimeDir();
    QTemporaryDir pictures;
    for (const char* name : {"a.png", "b.png", "c.png"}) {
        QImage image(320, 240, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        ASSERT_TRUE(image.save(pictures.filePath(QString::fromLatin1(name))));
    }

    auto shown = first.run(runtime->path(), pictures.filePath(QStringLiteral("a.png")));
    ASSERT_TRUE(first.shows(QStringLiteral("a\\.png$"), 20)) << "the show on the first display";

    // Another login's start, on the second display: a viewer of its own
    // there, and the first display's show goes on untouched.
    auto other = second.run(runtime->path(), pictures.filePath(QStringLiteral("b.png")));
    EXPECT_TRUE(second.shows(QStringLiteral("b\\.png$"), 20)) << "no viewer of its own on the second display";
    EXPECT_FALSE(other->waitForFinished(500)) << "the second display's start ended: " << other->readAll().toStdString();
    EXPECT_FALSE(first.shows(QStringLiteral("b\\.png$"), 1)) << "the second display's picture took over the first's show";
    EXPECT_TRUE(first.shows(QStringLiteral("a\\.png$"), 1));

    // A start on the first display hands its picture to the show there.
    auto later = first.run(runtime->path(), pictures.filePath(QStringLiteral("c.png")));
    EXPECT_TRUE(later->waitForFinished(15000));
    EXPECT_EQ(later->exitCode(), 0);
    EXPECT_TRUE(first.shows(QStringLiteral("c\\.png$"), 10)) << "the first display's show did not take the picture";
    EXPECT_TRUE(second.shows(QStringLiteral("b\\.png$"), 1));

    stop(*shown);
    stop(*other);
}

#ifdef Q_OS_LINUX
// Without a runtime folder the name is an abstract socket, which any user
// can take first. A start must not wait on it: it runs at once, unguarded.
TEST(SingleInstance, ANameTakenByAnotherUserDoesNotHoldTheStartUp)
{
    if (getuid() != 0)
        GTEST_SKIP() << "needs root to act as a second user";
    OwnDisplay display;
    if (!display.start())
        GTEST_SKIP() << "needs Xvfb and xdotool";
    RuntimeDirScope none{QByteArray()};
    const app::InstanceChannel channel = app::instanceChannel(app::displayKey(QStringLiteral("xcb"), display.name()));
    ASSERT_TRUE(channel.abstract);
    const QByteArray name = channel.name.toUtf8();

    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t squatter = fork();
    ASSERT_GE(squatter, 0);
    if (squatter == 0) {
        // Plain system calls only, in the child of a threaded process: take
        // the name as another user, listen and never accept, with the queue
        // of waiting connections full.
        ::close(ready[0]);
        if (setgid(65534) != 0 || setuid(65534) != 0)
            _exit(3);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path + 1, name.constData(), static_cast<size_t>(name.size()));
        const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 0) != 0)
            _exit(2);
        for (int i = 0; i < 4; ++i) {
            const int filler = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
            ::connect(filler, reinterpret_cast<sockaddr*>(&address), length);
        }
        if (::write(ready[1], "r", 1) != 1)
            _exit(4);
        for (;;)
            pause();
    }
    ::close(ready[1]);
    char byte = 0;
    const bool taken = ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    if (!taken) {
        int status = 0;
        waitpid(squatter, &status, 0);
        GTEST_SKIP() << "cannot take the name as a second user here";
    }

    auto run = display.run(QString(), QString());
    EXPECT_TRUE(display.shows(QStringLiteral("^フォルダの選択$"), 10)) << "the start waits on the other user's name";
    EXPECT_FALSE(run->waitForFinished(500)) << run->readAll().toStdString();

    stop(*run);
    kill(squatter, SIGKILL);
    int status = 0;
    waitpid(squatter, &status, 0);
}
#endif
