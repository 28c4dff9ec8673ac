#include "app/single_instance.h"

#include <QCoreApplication>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>
#include <QWidget>

#include "app/app_state.h"
#include "folder/tfrm_sub.h"
#include "viewer/tfrm_main.h"

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace app {

namespace {

constexpr char kRaiseRequest[] = "raise\n";

// The server claimed by forwardToRunningInstance, handed to
// listenForLaterInstances; owned by the application object.
QPointer<QLocalServer>& claimedServer()
{
    static QPointer<QLocalServer> server;
    return server;
}

#ifdef Q_OS_LINUX
// Abstract sockets leave no file behind when a run crashes, and binding one
// is atomic, so two starts can never both own the name.
constexpr bool kAbstract = true;
#else
constexpr bool kAbstract = false;
#endif

void prepare(QLocalServer& server)
{
    server.setSocketOptions(kAbstract ? QLocalServer::AbstractNamespaceOption : QLocalServer::UserAccessOption);
}

void prepare(QLocalSocket& socket)
{
    if (kAbstract)
        socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
}

bool askRunningInstance(const QString& name)
{
    QLocalSocket socket;
    prepare(socket);
    socket.connectToServer(name);
    if (!socket.waitForConnected(1000))
        return false;
    socket.write(kRaiseRequest);
    socket.waitForBytesWritten(1000);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(500);
    return true;
}

}  // namespace

QString instanceServerName()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("USERNAME");
#ifdef Q_OS_UNIX
    if (user.isEmpty())
        user = QString::number(getuid());
#endif
    // Keep the name safe as a pipe or socket name.
    user.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]")), QStringLiteral("_"));
    return QStringLiteral("Daredazi-") + user;
}

bool forwardToRunningInstance()
{
    const QString name = instanceServerName();
    int failedConnects = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (askRunningInstance(name))
            return true;
        ++failedConnects;

        auto* server = new QLocalServer(QCoreApplication::instance());
        prepare(*server);
        if (server->listen(name)) {
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
        if (!kAbstract && failedConnects >= 5) {
            QLocalServer::removeServer(name);
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
    auto answer = [server, &state] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            auto onData = [socket, &state] {
                if (socket->readAll().contains("raise"))
                    bringForward(state);
            };
            QObject::connect(socket, &QLocalSocket::readyRead, socket, onData);
            if (socket->bytesAvailable() > 0)
                onData();
        }
    };
    QObject::connect(server, &QLocalServer::newConnection, server, answer);
    answer();
}

}  // namespace app
