#pragma once
// A sound or movie played by Qt's media back end. The back end and what it
// brings (the sound server's client, the codecs' libraries) live in a module
// the viewer loads the first time a picture names a file to play, so a
// start does not wait for them; tests link them in.
#include <QString>
#include <QUrl>

#include <functional>

class QObject;
class QWidget;

namespace platform {

class MediaPlayback {
public:
    virtual ~MediaPlayback() = default;
    virtual void setSource(const QUrl& url) = 0;
    virtual QUrl source() const = 0;
    virtual void play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual bool hasError() const = 0;
    virtual QString errorString() const = 0;
    // The back end's own player, for the tests.
    virtual QObject* backend() const = 0;

    // Called on the window thread as the back end reports.
    std::function<void()> errorOccurred;
    std::function<void(bool hasVideo)> hasVideoChanged;
};

struct MediaModule {
    // The movie's window: closing it only hides it.
    QWidget* (*createVideoWindow)();
    // A player showing its pictures in video (a window made above), with
    // sound to the default output; owned by the caller.
    MediaPlayback* (*createPlayback)(QWidget* video);
};

// The back end, loaded when first asked for (on the window thread). Throws
// std::runtime_error when it cannot be had.
const MediaModule& mediaModule();

// The back end itself, in the module or linked in.
const MediaModule& linkedMediaModule();

}  // namespace platform

// The media module's one exported function.
extern "C" const platform::MediaModule* daredazi_media_module();
