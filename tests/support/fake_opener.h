#pragma once
// Stands in for the desktop's opener (xdg-open) while it lives: an
// executable of that name first on PATH that notes what it was asked to
// open and where its error stream went, and complains on that stream as a
// desktop without a browser does, then ends with the given status. Beside
// it an xdg-mime that takes every file for a help file and names a viewer
// for help files.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

class FakeOpener {
public:
    explicit FakeOpener(int exitStatus = 0) : savedPath_(qgetenv("PATH"))
    {
        write(QStringLiteral("xdg-open"),
              "#!/bin/sh\n"
              "{ echo \"$1\"; readlink /proc/self/fd/2; } >> \"$(dirname \"$0\")/opened.txt\"\n"
              "echo 'xdg-open: no method available' >&2\n"
              "exit " +
                  QByteArray::number(exitStatus) + "\n");
        write(QStringLiteral("xdg-mime"),
              "#!/bin/sh\n"
              "case \"$2\" in\n"
              "filetype) echo application/vnd.ms-htmlhelp ;;\n"
              "default) echo xchm.desktop ;;\n"
              "esac\n");
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
    void write(const QString& name, const QByteArray& script)
    {
        QFile f(dir_.filePath(name));
        if (f.open(QIODevice::WriteOnly)) {
            f.write(script);
            f.close();
        }
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

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
