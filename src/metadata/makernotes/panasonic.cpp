#include "metadata/makernotes/makernotes.h"

namespace metadata {

void PanasonicNoteRead(MakerNoteContext& /*ctx*/, int64_t /*tiffBase*/, int64_t /*count*/)
{
}

}  // namespace metadata
