// The entry point of the module the viewer loads the media back end from.
#include "platform/media_playback.h"

extern "C" __attribute__((visibility("default"))) const platform::MediaModule* daredazi_media_module()
{
    return &platform::linkedMediaModule();
}
