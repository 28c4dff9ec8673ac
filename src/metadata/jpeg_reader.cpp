#include "metadata/jpeg_reader.h"

namespace metadata {

void JpegRead(const uint8_t* /*data*/, size_t /*size*/, MetadataSink& /*sink*/, const ReadOptions& /*options*/)
{
    // The segment walk is not written yet.
}

}  // namespace metadata
