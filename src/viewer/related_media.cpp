#include "viewer/related_media.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <exception>

#include "app/app_state.h"
#include "platform/external_player.h"
#include "platform/media_playback.h"
#include "platform/regular_file.h"
#include "viewer/tfrm_main.h"

bool isPlainRelatedName(const QString& name)
{
    if (name.isEmpty() || name.contains(QStringLiteral("..")))
        return false;
    for (const QChar c : name) {
        // Folder separators of either system and the drive colon.
        if (c == u'/' || c == u'\\' || c == u':')
            return false;
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return false;
    }
    return name != QStringLiteral(".") && name.trimmed() == name;
}

bool isMovieName(const QString& name)
{
    static const char* const endings[] = {".avi", ".mov", ".mts", ".mp4"};
    for (const char* ending : endings)
        if (name.endsWith(QLatin1String(ending), Qt::CaseInsensitive))
            return true;
    return false;
}

RelatedMedia::RelatedMedia(AppState& state, QWidget* viewer)
    : QObject(viewer), state_(state), viewer_(viewer), marker_(platform::externalPlayerMarkerDir())
{
}

RelatedMedia::~RelatedMedia()
{
    delete errorBox_;
    player_.reset();
    delete video_;
}

void RelatedMedia::ensurePlayer()
{
    // Each file gets a player of its own: a player that once failed keeps
    // its error and would refuse every later file. The first one is made on
    // first use, with the media back end's module: loading the back end
    // costs time at start-up and most shows never play anything.
    const platform::MediaModule& media = platform::mediaModule();
    player_.reset();
    if (!video_) {
        video_ = media.createVideoWindow();
        video_->resize(640, 480);
    }
    player_.reset(media.createPlayback(video_));
    player_->errorOccurred = [this] { onPlayerError(); };
    player_->hasVideoChanged = [this](bool hasVideo) {
        if (hasVideo && state_.MovieOpen) {
            video_->show();
            video_->raise();
        }
    };
}

void RelatedMedia::closePlayer()
{
    if (player_) {
        player_->stop();
        player_->setSource(QUrl());
        if (video_)
            video_->hide();
    }
    file_.reset();
}

void RelatedMedia::onPlayerError()
{
    if (!player_ || errorShown_ || !player_->hasError())
        return;
    showPlayError(player_->errorString());
}

void RelatedMedia::showPlayError(const QString& message)
{
    errorShown_ = true;
    closePlayer();
    state_.MovieOpen = false;
    // Not exec(): the error arrives from the player's own signal, and a
    // nested loop there could see the player torn down under it. An
    // application-modal box blocks the show's input just the same.
    delete errorBox_;
    auto* box = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(), message,
                                QMessageBox::Ok, viewer_);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::ApplicationModal);
    errorBox_ = box;
    box->show();
}

void RelatedMedia::openExternally(const QString& path)
{
    if (!external_)
        external_ = new platform::ExternalPlayer(this);
    if (!external_->open(path, viewer_)) {
        // Try once more with the slide timer held, so a tick cannot move the
        // show on while the desktop settles.
        auto* viewer = dynamic_cast<TfrmMain*>(viewer_);
        QTimer* timer = viewer ? viewer->TimDsp : nullptr;
        const bool wasRunning = timer && timer->isActive();
        if (wasRunning)
            timer->stop();
        QCoreApplication::processEvents();
        external_->open(path, viewer_);
        if (wasRunning)
            timer->start();
    }
    state_.ExternalPlayerStarted = true;
}

void RelatedMedia::PlayRelatedFile(const QString& rawName)
{
    // The tag is a fixed-size field: blanks and NULs may pad the name.
    qsizetype from = 0, to = rawName.size();
    while (from < to && rawName[from].unicode() <= 0x20)
        ++from;
    while (to > from && rawName[to - 1].unicode() <= 0x20)
        --to;
    const QString fileName = rawName.mid(from, to - from);
    if (fileName.isEmpty() || !isPlainRelatedName(fileName))
        return;
    const int k = state_.CurrentIndex;
    if (k < 0 || k >= state_.FolderIndexList.size())
        return;
    bool ok = false;
    const int folder = state_.FolderIndexList[k].toInt(&ok);
    if (!ok || folder < 0 || folder >= state_.FolderList.size())
        return;
    const QString path = QDir::toNativeSeparators(state_.FolderList[folder] + u'/' + fileName);

    // Only a regular file is played: the back end would open a FIFO on this
    // thread and wait there for ever. A file that is none is like one that
    // cannot be opened.
    auto file = std::make_unique<platform::RegularFile>(QDir::fromNativeSeparators(path));
    if (!file->isOpen())
        return;

    if (isMovieName(fileName) && !marker_.isEmpty() && QFileInfo(marker_).isDir()) {
        openExternally(path);
        return;
    }

    try {
        closePlayer();
        ensurePlayer();
        errorShown_ = false;
        file_ = std::move(file);
#ifdef Q_OS_LINUX
        // The back end opens the very file checked, by its descriptor, so a
        // swap of the name since cannot hand it anything else.
        const QString source = QStringLiteral("/proc/self/fd/") + QString::number(file_->descriptor());
#else
        const QString source = QDir::fromNativeSeparators(path);
#endif
        player_->setSource(QUrl::fromLocalFile(source));
        // A file the back end refuses at once reports here, and the error
        // handler has already shown the message and closed the player.
        if (errorShown_ || player_->hasError()) {
            onPlayerError();
            return;
        }
        state_.MovieOpen = true;
        player_->play();
    } catch (const std::exception& e) {
        // No media back end (a broken install): said as a player's error.
        try {
            showPlayError(QString::fromLocal8Bit(e.what()));
        } catch (...) {
        }
    } catch (...) {
        try {
            closePlayer();
        } catch (...) {
        }
    }
}

void RelatedMedia::stopForNextPicture()
{
    if (state_.MovieOpen) {
        closePlayer();
        state_.MovieOpen = false;
    }
    if (state_.ExternalPlayerStarted) {
        if (external_)
            external_->close();
        state_.ExternalPlayerStarted = false;
    }
}

void RelatedMedia::pause()
{
    if (state_.MovieOpen && player_)
        player_->pause();
}

void RelatedMedia::resume()
{
    if (state_.MovieOpen && player_)
        player_->play();
}
