// Programs that link the media back end in (tests, benchmarks) use it
// directly.
#include "platform/media_playback.h"

namespace platform {

const MediaModule& mediaModule() { return linkedMediaModule(); }

}  // namespace platform
