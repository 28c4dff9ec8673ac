#include "viewer/related_media.h"

#include <QWidget>

#include "app/app_state.h"

RelatedMedia::RelatedMedia(AppState& state, QWidget* viewer) : QObject(viewer), state_(state), viewer_(viewer) {}
RelatedMedia::~RelatedMedia() = default;

void RelatedMedia::PlayRelatedFile(const QString&) {}
void RelatedMedia::stopForNextPicture()
{
    state_.MovieOpen = false;
    state_.ExternalPlayerStarted = false;
}
void RelatedMedia::pause() {}
void RelatedMedia::resume() {}
