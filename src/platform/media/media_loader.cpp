// The viewer's way to the media back end: its module, loaded once, the
// first time a picture names a file to play.
#include "platform/media_playback.h"

#include <stdexcept>

#include "imaging/program_module.h"

namespace platform {

const MediaModule& mediaModule()
{
    static const imaging::ProgramModule m =
        imaging::loadProgramModule(DAREDAZI_MODULE_FILE, DAREDAZI_MODULE_INSTALLED, "daredazi_media_module");
    using Entry = const MediaModule* (*)();
    static const MediaModule* module = m.entry ? reinterpret_cast<Entry>(m.entry)() : nullptr;
    if (!module)
        throw std::runtime_error(m.error.isEmpty() ? "no media back end in the module" : m.error.toStdString());
    return *module;
}

}  // namespace platform
