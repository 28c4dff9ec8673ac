#pragma once
// The player of the sound or movie file a picture names.
#include <QObject>
#include <QString>

struct AppState;
class QWidget;

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
    void pause();
    void resume();

private:
    AppState& state_;
    QWidget* viewer_;
};
