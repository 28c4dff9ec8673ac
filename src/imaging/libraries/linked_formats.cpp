// The table of the library readers, the same in the module and linked in.
#include "imaging/library_formats.h"

namespace imaging {

const LibraryFormats& linkedLibraryFormats()
{
    static const LibraryFormats table{readHeifPicture, readWebpPicture, readJxlPicture, developRaw, playWmf};
    return table;
}

}  // namespace imaging
