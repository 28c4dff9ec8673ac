#pragma once
// The player of the sound or movie file a picture names.
#include <QObject>
#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <memory>

struct AppState;
class QWidget;

namespace platform {
class ExternalPlayer;
class MediaPlayback;
class RegularFile;
}

// True for a plain file name: no folder part, no drive, not "." or "..",
// no control characters. Names a picture carries are played only then, so a
// picture cannot reach a file outside its own folder.
bool isPlainRelatedName(const QString& name);

// True when the name ends, in any case, with one of the movie endings that
// may go to the desktop's own player.
bool isMovieName(const QString& name);

class RelatedMedia : public QObject {
    Q_OBJECT
public:
    RelatedMedia(AppState& state, QWidget* viewer);
    ~RelatedMedia() override;

    // Plays the file named by the shown picture (a plain name in its folder).
    void PlayRelatedFile(const QString& fileName);
    // Closes the player (MovieOpen) and asks the external player to close
    // (ExternalPlayerStarted); both flags end false.
    void stopForNextPicture();
    // Around a visit to the folder window.
    void pause();
    void resume();

    // The folder whose existence sends movies to the desktop's player; the
    // platform's own by default.
    void setExternalPlayerMarker(const QString& dir) { marker_ = dir; }
    QString externalPlayerMarker() const { return marker_; }

    // For the tests and the viewer: the parts behind MPlayer (null until the
    // first file is played).
    platform::MediaPlayback* player() const { return player_.get(); }
    QWidget* videoWindow() const { return video_; }
    platform::ExternalPlayer* externalPlayer() const { return external_; }
    // The box that shows the player's last error while it is open.
    QMessageBox* errorBox() const { return errorBox_; }

private:
    void ensurePlayer();
    void closePlayer();
    void onPlayerError();
    void showPlayError(const QString& message);
    void openExternally(const QString& path);

    AppState& state_;
    QWidget* viewer_;
    QString marker_;
    std::unique_ptr<platform::MediaPlayback> player_;
    QWidget* video_ = nullptr;
    platform::ExternalPlayer* external_ = nullptr;
    QPointer<QMessageBox> errorBox_;
    // The file being played, open while the player has it.
    std::unique_ptr<platform::RegularFile> file_;
    bool errorShown_ = false;  // one box per opened file
};
