#pragma once
// The real program started as a person starts it, for the tests and the
// benchmarks: on an X server of its own (Xvfb) and driven with xdotool, or
// on the offscreen platform where no display is needed; with a home and
// runtime folder of its own under a temporary folder; asked to end by a
// signal as a logout or Ctrl+C does.
#include <QProcess>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

// An X server on a display of its own, 1920 x 1080 at 96 dpi.
class XServer {
public:
    XServer() = default;
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // False when Xvfb or xdotool is missing or the server does not come up.
    bool start();
    const QString& display() const { return display_; }

    // Runs xdotool to its end; its standard output.
    QByteArray xdotool(const QStringList& args, int timeoutMs = 20000) const;
    // The first visible window whose name matches the pattern, waited for up
    // to timeoutMs; empty when none came.
    QString waitForWindow(const QString& namePattern, int timeoutMs) const;
    // Every visible window whose name matches.
    QStringList windows(const QString& namePattern) const;
    QRect geometry(const QString& window) const;
    // Presses keys (xdotool key names) into the focused window.
    void key(const QString& keys) const;
    void type(const QString& text) const;
    // Clicks at a point of the window (window coordinates).
    void click(const QString& window, int x, int y) const;

private:
    QProcess server_;
    QString display_;
};

class RealProgram {
public:
    // x null: the offscreen platform.
    RealProgram(const QString& program, const XServer* x);
    ~RealProgram();
    RealProgram(const RealProgram&) = delete;
    RealProgram& operator=(const RealProgram&) = delete;

    bool start(const QStringList& arguments);
    qint64 pid() const;
    bool running() const;
    // Sends the signal and waits up to timeoutMs for the end; the
    // milliseconds it took (-1: still running).
    double endBy(int signal, int timeoutMs);
    // Whether the process ended normally with status 0.
    bool endedCleanly() const;
    // How it ended, in words ("status 0", "crashed").
    QString howItEnded() const;
    // Peak resident memory so far, in kilobytes (0 once ended).
    long peakKb() const;
    QByteArray output();
    QString home() const { return home_.path(); }

private:
    QString program_;
    const XServer* x_;
    QTemporaryDir home_;
    QProcess process_;
};

}  // namespace testsupport
