#pragma once
// Stands in for the desktop's opener (xdg-open) while it lives: an
// executable of that name first on PATH that notes what it was asked to
// open and where its error stream went, and complains on that stream as a
// desktop without a browser does.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

class FakeOpener {
public:
    FakeOpener() : savedPath_(qgetenv("PATH"))
    {
        const QString script = dir_.filePath(QStringLiteral("xdg-open"));
        QFile f(script);
        if (f.open(QIODevice::WriteOnly)) {
            f.write("#!/bin/sh\n"
                    "{ echo \"$1\"; readlink /proc/self/fd/2; } >> \"$(dirname \"$0\")/opened.txt\"\n"
                    "echo 'xdg-open: no method available' >&2\n");
            f.close();
        }
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", QFile::encodeName(dir_.path()) + ':' + savedPath_);
    }
    ~FakeOpener() { qputenv("PATH", savedPath_); }

    // What was opened, one entry a call, waiting a little for the process.
    QStringList opened(int expected = 1) const
    {
        QStringList lines;
        // Fewer than expected after the wait is an answer too.
        static_cast<void>(QTest::qWaitFor([&] { return (lines = read()).size() >= 2 * expected; }, 3000));
        QStringList out;
        for (int i = 0; i + 1 < lines.size(); i += 2)
            out << lines[i];
        return out;
    }
    // Where the opener's error stream went, for each call.
    QStringList errorStreams() const
    {
        const QStringList lines = read();
        QStringList out;
        for (int i = 1; i < lines.size(); i += 2)
            out << lines[i];
        return out;
    }

private:
    QStringList read() const
    {
        QFile f(dir_.filePath(QStringLiteral("opened.txt")));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir dir_;
    QByteArray savedPath_;
};
