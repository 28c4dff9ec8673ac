#include "support/real_program.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

namespace testsupport {

XServer::~XServer()
{
    if (server_.state() != QProcess::NotRunning) {
        server_.terminate();
        server_.waitForFinished(5000);
    }
}

bool XServer::start()
{
    const QString xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (xvfb.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        return false;
    // -noreset: an X server starts afresh whenever its last client leaves,
    // and refuses connections while it does; a program started between two
    // others then fails to reach the display.
    server_.start(xvfb, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"), QStringLiteral("-nolisten"),
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

QByteArray XServer::xdotool(const QStringList& args, int timeoutMs) const
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display_);
    p.setProcessEnvironment(env);
    p.start(QStringLiteral("xdotool"), args);
    if (!p.waitForFinished(timeoutMs))
        p.kill();
    return p.readAllStandardOutput();
}

QStringList XServer::windows(const QString& namePattern) const
{
    const QByteArray out =
        xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"), namePattern});
    QStringList ids;
    for (const QByteArray& line : out.split('\n'))
        if (!line.trimmed().isEmpty())
            ids << QString::fromLatin1(line.trimmed());
    return ids;
}

QString XServer::waitForWindow(const QString& namePattern, int timeoutMs) const
{
    QElapsedTimer t;
    t.start();
    do {
        const QStringList found = windows(namePattern);
        if (!found.isEmpty())
            return found.first();
        QThread::msleep(50);
    } while (t.elapsed() < timeoutMs);
    return {};
}

QRect XServer::geometry(const QString& window) const
{
    const QByteArray out = xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window});
    int x = 0, y = 0, w = 0, h = 0;
    for (const QByteArray& line : out.split('\n')) {
        if (line.startsWith("X="))
            x = line.mid(2).toInt();
        else if (line.startsWith("Y="))
            y = line.mid(2).toInt();
        else if (line.startsWith("WIDTH="))
            w = line.mid(6).toInt();
        else if (line.startsWith("HEIGHT="))
            h = line.mid(7).toInt();
    }
    return QRect(x, y, w, h);
}

void XServer::key(const QString& keys) const { xdotool({QStringLiteral("key"), keys}); }

void XServer::type(const QString& text) const { xdotool({QStringLiteral("type"), text}); }

void XServer::click(const QString& window, int x, int y) const
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x), QString::number(y),
             QStringLiteral("click"), QStringLiteral("1")});
}

RealProgram::RealProgram(const QString& program, const XServer* x) : program_(program), x_(x) {}

RealProgram::~RealProgram()
{
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

bool RealProgram::start(const QStringList& arguments)
{
    QDir(home_.path()).mkpath(QStringLiteral("run"));
    QFile::setPermissions(home_.path() + QStringLiteral("/run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_LOGGING_RULES", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("HOME"), home_.path());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home_.path() + QStringLiteral("/run"));
    env.insert(QStringLiteral("TMPDIR"), home_.path());
    env.insert(QStringLiteral("LANG"), QStringLiteral("ja_JP.UTF-8"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("ja_JP.UTF-8"));
    if (x_) {
        env.insert(QStringLiteral("DISPLAY"), x_->display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    } else {
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.start(program_, arguments);
    return process_.waitForStarted(10000);
}

qint64 RealProgram::pid() const { return process_.processId(); }

bool RealProgram::running() const { return process_.state() != QProcess::NotRunning; }

double RealProgram::endBy(int signal, int timeoutMs)
{
    if (!running())
        return -1;
    QElapsedTimer t;
    t.start();
    ::kill(static_cast<pid_t>(process_.processId()), signal);
    if (!process_.waitForFinished(timeoutMs))
        return -1;
    return t.nsecsElapsed() / 1e6;
}

bool RealProgram::endedCleanly() const
{
    return process_.state() == QProcess::NotRunning && process_.exitStatus() == QProcess::NormalExit &&
           process_.exitCode() == 0;
}

QString RealProgram::howItEnded() const
{
    if (running())
        return QStringLiteral("running");
    if (process_.exitStatus() != QProcess::NormalExit) {
        // With what it said last (a fatal message of the toolkit, say).
        const QByteArray said = const_cast<QProcess&>(process_).readAll().right(400).trimmed();
        return said.isEmpty() ? QStringLiteral("crashed") : QStringLiteral("crashed: ") + QString::fromLocal8Bit(said);
    }
    return QStringLiteral("status %1").arg(process_.exitCode());
}

long RealProgram::peakKb() const
{
    QFile f(QStringLiteral("/proc/%1/status").arg(process_.processId()));
    if (!running() || !f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

QByteArray RealProgram::output() { return process_.readAll(); }

}  // namespace testsupport
