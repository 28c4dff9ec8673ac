#include "platform/external_player.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QTextStream>
#include <QUrl>
#include <QWidget>

#include "platform/shell_open.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace platform {

QString externalPlayerMarkerDir()
{
#ifdef Q_OS_WIN
    return QStringLiteral("E:\\DidIvu");
#else
    return {};
#endif
}

namespace {

// Undoes the escapes of a desktop entry string value (\s \n \t \r \\).
QString unescapeDesktopValue(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c != u'\\' || i + 1 >= value.size()) {
            out += c;
            continue;
        }
        const QChar n = value[++i];
        if (n == u's')
            out += u' ';
        else if (n == u'n')
            out += u'\n';
        else if (n == u't')
            out += u'\t';
        else if (n == u'r')
            out += u'\r';
        else
            out += n;
    }
    return out;
}

QString envOr(const char* name, const QString& fallback)
{
    const QString v = qEnvironmentVariable(name);
    return v.isEmpty() ? fallback : v;
}

QStringList configDirs()
{
    QStringList dirs{envOr("XDG_CONFIG_HOME", QDir::homePath() + QStringLiteral("/.config"))};
    dirs += envOr("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg")).split(u':', Qt::SkipEmptyParts);
    return dirs;
}

QStringList applicationDirs()
{
    QStringList dirs{envOr("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"))};
    dirs += envOr("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")).split(u':', Qt::SkipEmptyParts);
    for (QString& d : dirs)
        d += QStringLiteral("/applications");
    return dirs;
}

// Entries listed for a type in the [Default Applications] group of one list.
QStringList defaultsInList(const QString& listFile, const QString& mimeType)
{
    QFile file(listFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    bool inDefaults = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u'[')) {
            inDefaults = line == QStringLiteral("[Default Applications]");
            continue;
        }
        if (!inDefaults)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed() == mimeType)
            return line.mid(eq + 1).split(u';', Qt::SkipEmptyParts);
    }
    return {};
}

QString locateDesktopEntry(const QString& id)
{
    for (const QString& dir : applicationDirs()) {
        const QString path = dir + u'/' + id;
        if (QFileInfo(path).isFile())
            return path;
        // "vendor-app.desktop" may live in a vendor/ sub-folder.
        const qsizetype dash = id.indexOf(u'-');
        if (dash > 0) {
            const QString sub = dir + u'/' + id.left(dash) + u'/' + id.mid(dash + 1);
            if (QFileInfo(sub).isFile())
                return sub;
        }
    }
    return {};
}

QString desktopEntryKey(const QString& desktopFile, const QString& key)
{
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QTextStream in(&file);
    bool inEntry = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        if (!inEntry)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && line.left(eq).trimmed() == key)
            return unescapeDesktopValue(line.mid(eq + 1).trimmed());
    }
    return {};
}

}  // namespace

QStringList expandDesktopExec(const QString& exec, const QString& filePath, const QString& desktopFile)
{
    // Split into arguments: blanks separate, double quotes group, and inside
    // quotes a backslash escapes the next character.
    QStringList raw;
    QString current;
    bool inQuotes = false;
    bool haveArg = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (inQuotes) {
            if (c == u'\\' && i + 1 < exec.size())
                current += exec[++i];
            else if (c == u'"')
                inQuotes = false;
            else
                current += c;
        } else if (c == u'"') {
            inQuotes = true;
            haveArg = true;
        } else if (c == u' ' || c == u'\t') {
            if (haveArg)
                raw << current;
            current.clear();
            haveArg = false;
        } else {
            current += c;
            haveArg = true;
        }
    }
    if (haveArg)
        raw << current;

    const QString url = QUrl::fromLocalFile(filePath).toString();
    QStringList args;
    bool fileGiven = false;
    for (const QString& arg : raw) {
        // A lone field code is replaced (or dropped) as a whole argument.
        if (arg == QStringLiteral("%f") || arg == QStringLiteral("%F")) {
            args << filePath;
            fileGiven = true;
            continue;
        }
        if (arg == QStringLiteral("%u") || arg == QStringLiteral("%U")) {
            args << url;
            fileGiven = true;
            continue;
        }
        if (arg == QStringLiteral("%i") || arg == QStringLiteral("%c") || arg == QStringLiteral("%d")
            || arg == QStringLiteral("%D") || arg == QStringLiteral("%n") || arg == QStringLiteral("%N")
            || arg == QStringLiteral("%v") || arg == QStringLiteral("%m"))
            continue;
        QString out;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            if (arg[i] != u'%' || i + 1 >= arg.size()) {
                out += arg[i];
                continue;
            }
            const QChar code = arg[++i];
            if (code == u'%') {
                out += u'%';
            } else if (code == u'f' || code == u'F') {
                out += filePath;
                fileGiven = true;
            } else if (code == u'u' || code == u'U') {
                out += url;
                fileGiven = true;
            } else if (code == u'k') {
                out += desktopFile;
            }
            // Other codes are deprecated or carry nothing for us.
        }
        args << out;
    }
    if (args.isEmpty() || args.first().isEmpty())
        return {};
    if (!fileGiven)
        args << filePath;
    return args;
}

QString defaultDesktopEntryFor(const QString& mimeType)
{
    QStringList lists;
    for (const QString& dir : configDirs())
        lists << dir + QStringLiteral("/mimeapps.list");
    const QStringList appDirs = applicationDirs();
    for (const QString& dir : appDirs)
        lists << dir + QStringLiteral("/mimeapps.list");
    for (const QString& dir : appDirs)
        lists << dir + QStringLiteral("/defaults.list");
    for (const QString& list : lists) {
        for (const QString& id : defaultsInList(list, mimeType)) {
            const QString path = locateDesktopEntry(id.trimmed());
            if (!path.isEmpty())
                return path;
        }
    }
    return {};
}

QStringList defaultApplicationCommand(const QString& filePath)
{
    const QMimeType type = QMimeDatabase().mimeTypeForFile(filePath, QMimeDatabase::MatchExtension);
    QStringList candidates{type.name()};
    candidates += type.aliases();
    candidates += type.parentMimeTypes();
    for (const QString& name : candidates) {
        const QString entry = defaultDesktopEntryFor(name);
        if (entry.isEmpty())
            continue;
        const QStringList command = expandDesktopExec(desktopEntryKey(entry, QStringLiteral("Exec")), filePath, entry);
        if (!command.isEmpty())
            return command;
    }
    return {};
}

ExternalPlayer::ExternalPlayer(QObject* parent) : QObject(parent) {}

ExternalPlayer::~ExternalPlayer()
{
    // The player belongs to the user once started; leave it running.
    if (process_)
        process_->setParent(nullptr);
}

bool ExternalPlayer::open(const QString& filePath, QWidget* owner)
{
    Q_UNUSED(owner);
#ifdef Q_OS_WIN
    return QDesktopServices::openUrl(QUrl::fromLocalFile(filePath));
#else
    const QStringList command = defaultApplicationCommand(filePath);
    if (command.isEmpty())
        return openExternally(QUrl::fromLocalFile(filePath));
    close();
    auto* process = new QProcess(this);
    // The player's own messages are not ours to print.
    process->setStandardInputFile(QProcess::nullDevice());
    process->setStandardOutputFile(QProcess::nullDevice());
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(command.first(), command.mid(1));
    if (!process->waitForStarted(3000)) {
        delete process;
        return false;
    }
    // Forget the process once it ends by itself.
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    connect(process, &QObject::destroyed, this, [this, process] {
        if (process_ == process)
            process_ = nullptr;
    });
    process_ = process;
    return true;
#endif
}

void ExternalPlayer::close()
{
#ifdef Q_OS_WIN
    if (HWND player = FindWindowW(L"WMPlayerApp", nullptr))
        PostMessageW(player, WM_CLOSE, 0, 0);
#else
    if (process_ && process_->state() != QProcess::NotRunning)
        process_->terminate();
#endif
}

}  // namespace platform
