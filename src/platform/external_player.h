#pragma once
// Hands a movie to the desktop's own player and asks that player to close
// again when the show moves on.
#include <QObject>
#include <QString>
#include <QStringList>

class QProcess;
class QWidget;

namespace platform {

// The folder whose presence sends movies to the desktop's player instead of
// the viewer's own. Empty where there is no such convention (movies then
// always play in the viewer).
QString externalPlayerMarkerDir();

// Expands the Exec line of a desktop entry for one local file: the program
// and its arguments, unquoted, with %f %F %u %U standing for the file and the
// other field codes dropped. Empty when the line holds no program.
QStringList expandDesktopExec(const QString& exec, const QString& filePath, const QString& desktopFile = {});

// The desktop entry file chosen as the default application for a MIME type,
// looked up in the mimeapps.list files of the XDG configuration and data
// folders (first match wins). Empty when none is set or the entry is missing.
QString defaultDesktopEntryFor(const QString& mimeType);

// The program and arguments that open a file with its default application
// (empty when the desktop names none).
QStringList defaultApplicationCommand(const QString& filePath);

class ExternalPlayer : public QObject {
    Q_OBJECT
public:
    explicit ExternalPlayer(QObject* parent = nullptr);
    ~ExternalPlayer() override;

    // Opens the file with the desktop's default application. Returns false
    // when nothing could be started; the caller may try once more.
    bool open(const QString& filePath, QWidget* owner);
    // Asks the player started by open to close (politely: a termination
    // request, not a kill).
    void close();
    // The player process while it runs (null where the platform opens files
    // without a process of ours).
    QProcess* process() const { return process_; }

private:
    QProcess* process_ = nullptr;
};

}  // namespace platform
