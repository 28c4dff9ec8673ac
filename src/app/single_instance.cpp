#include "app/single_instance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <memory>

#include "app/app_state.h"
#include "app/open_from_outside.h"
#include "folder/tfrm_sub.h"
#include "viewer/tfrm_main.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace app {

namespace {

// A client gets this long to send its one line.
constexpr int kClientDeadlineMs = 1000;

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

bool askRunningInstance(const InstanceChannel& channel, const QByteArray& message)
{
    QLocalSocket socket;
    prepare(socket, channel);
    socket.connectToServer(channel.name);
    if (!socket.waitForConnected(1000))
        return false;
    if (!peerIsThisUser(socket.socketDescriptor()))
        return false;
    socket.write(message);
    socket.waitForBytesWritten(1000);
    // The running one closes when it has read the line.
    if (socket.state() == QLocalSocket::ConnectedState)
        socket.waitForDisconnected(1000);
    return true;
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

InstanceChannel instanceChannel()
{
    const QString base = QStringLiteral("Daredazi-") + userKey();
#ifdef Q_OS_UNIX
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && QFileInfo(runtime).isDir()) {
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
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (askRunningInstance(channel, message))
            return true;
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
    return false;
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
