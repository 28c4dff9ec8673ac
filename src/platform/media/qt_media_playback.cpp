// The media back end: Qt Multimedia's player, sound output and video widget.
#include <QAudioOutput>
#include <QCloseEvent>
#include <QMediaPlayer>
#include <QThread>
#include <QVideoWidget>

#include "platform/media_playback.h"

namespace platform {

namespace {

// The movie's own window: closing it only hides it, the player stays with
// the picture until the show moves on.
class VideoWindow : public QVideoWidget {
public:
    VideoWindow() { setAttribute(Qt::WA_QuitOnClose, false); }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        event->ignore();
        hide();
    }
};

class QtPlayback : public MediaPlayback {
public:
    explicit QtPlayback(QWidget* video) : player_(new QMediaPlayer), audio_(new QAudioOutput(player_))
    {
        player_->setAudioOutput(audio_);
        if (auto* output = qobject_cast<QVideoWidget*>(video))
            player_->setVideoOutput(output);
        QObject::connect(player_, &QMediaPlayer::errorOccurred, player_, [this] {
            if (errorOccurred)
                errorOccurred();
        });
        QObject::connect(player_, &QMediaPlayer::hasVideoChanged, player_, [this](bool hasVideo) {
            if (hasVideoChanged)
                hasVideoChanged(hasVideo);
        });
    }
    ~QtPlayback() override
    {
        player_->disconnect();
        player_->stop();
        player_->setVideoOutput(static_cast<QObject*>(nullptr));
        // The back end may still deliver to it from this turn of the loop;
        // once the loop has ended (the program's end), nothing will.
        if (QThread::currentThread()->loopLevel() > 0)
            player_->deleteLater();
        else
            delete player_;
    }
    void setSource(const QUrl& url) override { player_->setSource(url); }
    QUrl source() const override { return player_->source(); }
    void play() override { player_->play(); }
    void pause() override { player_->pause(); }
    void stop() override { player_->stop(); }
    bool hasError() const override { return player_->error() != QMediaPlayer::NoError; }
    QString errorString() const override { return player_->errorString(); }
    QObject* backend() const override { return player_; }

private:
    QMediaPlayer* player_;
    QAudioOutput* audio_;
};

QWidget* createVideoWindow() { return new VideoWindow; }
MediaPlayback* createPlayback(QWidget* video) { return new QtPlayback(video); }

}  // namespace

const MediaModule& linkedMediaModule()
{
    static const MediaModule module{createVideoWindow, createPlayback};
    return module;
}

}  // namespace platform
