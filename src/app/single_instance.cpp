#include "app/single_instance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <memory>

#include "app/app_state.h"
#include "app/open_from_outside.h"
#include "folder/tfrm_sub.h"
#include "viewer/tfrm_main.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace app {

namespace {

// A client gets this long to send its one line.
constexpr int kClientDeadlineMs = 1000;
// A start gives up looking for the running instance after this long and
// runs on its own. A running instance answers a connect at once (the system
// queues it), so only a name held by something else takes this long.
constexpr int kForwardDeadlineMs = 1000;
constexpr int kConnectWaitMs = 200;

// The server claimed by forwardToRunningInstance, handed to
// listenForLaterInstances; owned by the application object.
QPointer<QLocalServer>& claimedServer()
{
    static QPointer<QLocalServer> server;
    return server;
}

QString userKey()
{
#ifdef Q_OS_UNIX
    // The numeric id: $USER may differ between two shells of one user.
    return QString::number(getuid());
#else
    QString user = qEnvironmentVariable("USERNAME");
    // Keep the name safe as a pipe name.
    user.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    return user;
#endif
}

void prepare(QLocalServer& server, const InstanceChannel& channel)
{
    if (channel.abstract)
        server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
#ifdef Q_OS_UNIX
    // A socket in the private runtime folder is guarded by the folder; the
    // access options would bind elsewhere and rename over the name, which
    // would let two starts both believe they own it.
    else if (channel.name.startsWith(QLatin1Char('/')))
        server.setSocketOptions(QLocalServer::NoOptions);
#endif
    else
        server.setSocketOptions(QLocalServer::UserAccessOption);
}

void prepare(QLocalSocket& socket, const InstanceChannel& channel)
{
    if (channel.abstract)
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
}

// An abstract socket name can be bound by anyone, so both ends make sure the
// other end runs as this user before a byte is trusted.
bool peerIsThisUser([[maybe_unused]] qintptr descriptor)
{
#ifdef Q_OS_LINUX
    struct ucred credentials {};
    socklen_t length = sizeof credentials;
    if (getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return false;
    return credentials.uid == getuid();
#else
    return true;
#endif
}

enum class Asked { Answered, NoAnswer, OtherUser };

Asked askRunningInstance(const InstanceChannel& channel, const QByteArray& message, int connectWaitMs)
{
    QLocalSocket socket;
    prepare(socket, channel);
    socket.connectToServer(channel.name);
    if (!socket.waitForConnected(connectWaitMs))
        return Asked::NoAnswer;
    if (!peerIsThisUser(socket.socketDescriptor()))
        return Asked::OtherUser;
    socket.write(message);
    socket.waitForBytesWritten(1000);
    // The running one closes when it has read the line.
    if (socket.state() == QLocalSocket::ConnectedState)
        socket.waitForDisconnected(1000);
    return Asked::Answered;
}

// Whether folder is a private folder of this user: a real folder (not a
// link), owned by the user, closed to everyone else.
bool isPrivateFolder([[maybe_unused]] const QString& folder)
{
#ifdef Q_OS_UNIX
    struct stat st {};
    if (lstat(QFile::encodeName(folder).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
#else
    return QFileInfo(folder).isDir();
#endif
}

// Letters, digits, '.' and '-' as they are; every other byte as '_' and its
// two hexadecimal digits.
QString socketSafe(const QString& text)
{
    QString out;
    for (const char c : text.toUtf8()) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '.' || u == '-')
            out += QLatin1Char(c);
        else
            out += QLatin1Char('_') + QString::number(u, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    }
    return out;
}

// Hands path to the windows once the viewer is between two pictures: a
// picture that loads pumps the event loop, and a new show must not start in
// the middle of it.
void deliver(AppState& state, const QString& path, int attemptsLeft)
{
    const bool loading = state.frmMain && state.frmMain->isVisible() && !state.ViewerReady &&
                         !state.FileList.isEmpty();
    if (loading && attemptsLeft > 0) {
        QTimer::singleShot(100, state.frmMain, [&state, path, attemptsLeft] { deliver(state, path, attemptsLeft - 1); });
        return;
    }
    bringForward(state);
    openFromOutside(state, path);
}

void answer(QLocalSocket* socket, AppState& state)
{
    auto drop = [socket] {
        socket->abort();
        socket->deleteLater();
    };
    if (!peerIsThisUser(socket->socketDescriptor())) {
        drop();
        return;
    }
    QTimer::singleShot(kClientDeadlineMs, socket, drop);
    auto received = std::make_shared<QByteArray>();
    auto onData = [socket, received, drop, &state] {
        if (socket->state() != QLocalSocket::ConnectedState)
            return;
        received->append(socket->read(kMaxHandOverBytes + 2 - received->size()));
        const qsizetype end = received->indexOf('\n');
        if (end < 0) {
            if (received->size() > kMaxHandOverBytes)
                drop();
            return;
        }
        QString path;
        if (end != received->size() - 1 || socket->bytesAvailable() > 0 || !parseHandOverMessage(*received, &path)) {
            drop();
            return;
        }
        socket->disconnectFromServer();
        socket->deleteLater();
        // Out of the socket's handler: the folder window may open modally.
        QTimer::singleShot(0, state.frmMain ? static_cast<QObject*>(state.frmMain) : QCoreApplication::instance(),
                           [&state, path] { deliver(state, path, 50); });
    };
    QObject::connect(socket, &QLocalSocket::readyRead, socket, onData);
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (socket->bytesAvailable() > 0)
        onData();
}

}  // namespace

QString displayKey(const QString& platformName, const QString& displayName)
{
    QString key;
    if (platformName == QLatin1String("xcb")) {
        // host:number.screen; every screen of one display is one desktop,
        // and "unix:0" is ":0".
        QString name = displayName.isEmpty() ? QStringLiteral(":0") : displayName;
        const qsizetype colon = name.lastIndexOf(QLatin1Char(':'));
        QString host = colon >= 0 ? name.left(colon) : QString();
        QString number = colon >= 0 ? name.mid(colon + 1) : name;
        if (const qsizetype dot = number.indexOf(QLatin1Char('.')); dot >= 0)
            number.truncate(dot);
        if (host == QLatin1String("unix"))
            host.clear();
        key = QStringLiteral("x") + host + QLatin1Char('-') + number;
    } else if (platformName.startsWith(QLatin1String("wayland"))) {
        key = QStringLiteral("wl-") + (displayName.isEmpty() ? QStringLiteral("wayland-0") : displayName);
    } else {
        key = platformName + (displayName.isEmpty() ? QString() : QLatin1Char('-') + displayName);
    }
    key = socketSafe(key);
    // A socket path must fit its address structure (108 bytes).
    if (key.size() > 40)
        key = QString::fromLatin1(QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
    return key;
}

QString displayKey()
{
    const QString platform = QGuiApplication::platformName();
#ifdef Q_OS_WIN
    // Each login (console or remote) is a session with its own desktop.
    DWORD session = 0;
    ProcessIdToSessionId(GetCurrentProcessId(), &session);
    return displayKey(platform, QString::number(session));
#else
    if (platform == QLatin1String("xcb"))
        return displayKey(platform, qEnvironmentVariable("DISPLAY"));
    if (platform.startsWith(QLatin1String("wayland")))
        return displayKey(platform, qEnvironmentVariable("WAYLAND_DISPLAY"));
    return displayKey(platform, QString());
#endif
}

InstanceChannel instanceChannel(const QString& display)
{
    const QString base = QStringLiteral("Daredazi-") + userKey() + QLatin1Char('-') + display;
#ifdef Q_OS_UNIX
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && isPrivateFolder(runtime)) {
        const QString path = QDir(runtime).filePath(base);
        // A socket path must fit the address structure (108 bytes).
        if (QFile::encodeName(path).size() < 100)
            return {path, false};
    }
#endif
#ifdef Q_OS_LINUX
    return {base, true};
#else
    return {base, false};
#endif
}

InstanceChannel instanceChannel() { return instanceChannel(displayKey()); }

QString instanceServerName() { return instanceChannel().name; }

QByteArray handOverMessage(const QString& path)
{
    QByteArray bytes = path.toUtf8();
    if (bytes.size() > kMaxHandOverBytes)
        bytes.clear();  // too long to be handed over: come forward only
    return bytes + '\n';
}

bool parseHandOverMessage(const QByteArray& message, QString* path)
{
    if (!message.endsWith('\n') || message.size() > kMaxHandOverBytes + 1)
        return false;
    const QByteArray bytes = message.first(message.size() - 1);
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return false;
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return false;
    if (!text.isEmpty() && !QDir::isAbsolutePath(text))
        return false;
    *path = text;
    return true;
}

bool forwardToRunningInstance(const QString& path)
{
    const InstanceChannel channel = instanceChannel();
    const QByteArray message = handOverMessage(path);
    int failedConnects = 0;
    const QDeadlineTimer deadline(kForwardDeadlineMs);
    while (!deadline.hasExpired()) {
        const int wait = static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 1, kConnectWaitMs));
        const Asked asked = askRunningInstance(channel, message, wait);
        if (asked == Asked::Answered)
            return true;
        // Another user holds the name (an abstract one can be taken by
        // anyone): no viewer of ours can be behind it. Run unguarded.
        if (asked == Asked::OtherUser)
            return false;
        ++failedConnects;

        auto* server = new QLocalServer(QCoreApplication::instance());
        prepare(*server, channel);
        if (server->listen(channel.name)) {
            claimedServer() = server;
            return false;
        }
        const auto error = server->serverError();
        delete server;
        if (error != QAbstractSocket::AddressInUseError)
            return false;  // no instance guard possible here; run anyway

        // Someone holds the name but did not answer: it may be a start that
        // has bound but not yet listens, or (socket files only) the remains of
        // a run that crashed. Only after repeated failed connects is the file
        // taken for stale and removed.
        if (!channel.abstract && failedConnects >= 5) {
            QLocalServer::removeServer(channel.name);
            failedConnects = 0;
        }
        QThread::msleep(10 + QRandomGenerator::global()->bounded(20));
    }
    // The name stays held without an answer: run unguarded.
    return false;
}

void stopListening()
{
    if (QLocalServer* server = claimedServer()) {
        server->close();
        delete server;
    }
}

void bringForward(AppState& state)
{
    auto raise = [](QWidget* w) {
        if (w->isMinimized())
            w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
        w->show();
        w->raise();
        w->activateWindow();
    };
    QWidget* viewer = state.frmMain;
    QWidget* folder = state.frmSub;
    if (viewer && viewer->isVisible())
        raise(viewer);
    if (folder && folder->isVisible())
        raise(folder);
}

void listenForLaterInstances(AppState& state)
{
    QLocalServer* server = claimedServer();
    if (!server)
        return;
    // One run's windows answer; a server kept from an earlier one forgets them.
    QObject::disconnect(server, &QLocalServer::newConnection, nullptr, nullptr);
    auto answerPending = [server, &state] {
        while (QLocalSocket* socket = server->nextPendingConnection())
            answer(socket, state);
    };
    QObject::connect(server, &QLocalServer::newConnection, server, answerPending);
    answerPending();
}

}  // namespace app
