// Windows metafiles through libwmf's SVG layer and our SVG clean-up.
#include "decoder_fuzz.h"
#include "imaging/picture_decoder.h"

#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
#include <ft2build.h>
#include FT_FREETYPE_H

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <set>
#include <string>

// libwmf opens every font a file names afresh with FreeType (a Type 1 face
// and its metrics) in a FreeType library of its own, made and freed for each
// file; that was half of each run under the sanitizers, and none of it is
// libwmf's code. The fuzzer keeps each face open for the whole run instead:
// these definitions stand in for FreeType's own, which libwmf calls through
// the executable. libwmf's own font lookup, caching and measuring run as
// they always do. Faces come from a library of ours that is never freed;
// libwmf frees its own library, which then holds none of them.
namespace {

struct FaceCache {
    std::mutex lock;
    FT_Library library = nullptr;
    std::map<std::string, FT_Face> byPath;
    std::set<FT_Face> faces;
    std::map<std::pair<FT_Face, std::string>, FT_Error> attached;
};

FaceCache& cache()
{
    static FaceCache* c = new FaceCache;  // kept to the end of the process
    return *c;
}

template <typename F>
F real(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" FT_Error FT_New_Face(FT_Library library, const char* path, FT_Long index, FT_Face* face)
{
    using NewFace = FT_Error (*)(FT_Library, const char*, FT_Long, FT_Face*);
    static const NewFace open = real<NewFace>("FT_New_Face");
    FaceCache& c = cache();
    std::lock_guard<std::mutex> hold(c.lock);
    if (!path || index != 0)
        return open(library, path, index, face);
    const auto found = c.byPath.find(path);
    if (found != c.byPath.end()) {
        *face = found->second;
        return 0;
    }
    using InitLibrary = FT_Error (*)(FT_Library*);
    if (!c.library && real<InitLibrary>("FT_Init_FreeType")(&c.library) != 0) {
        c.library = nullptr;
        return open(library, path, index, face);
    }
    const FT_Error error = open(c.library, path, index, face);
    if (error == 0) {
        c.byPath.emplace(path, *face);
        c.faces.insert(*face);
    }
    return error;
}

// A kept face has its metrics attached once; later calls get that call's result.
extern "C" FT_Error FT_Attach_File(FT_Face face, const char* path)
{
    using AttachFile = FT_Error (*)(FT_Face, const char*);
    static const AttachFile attach = real<AttachFile>("FT_Attach_File");
    FaceCache& c = cache();
    std::lock_guard<std::mutex> hold(c.lock);
    if (!path || !c.faces.count(face))
        return attach(face, path);
    const auto key = std::make_pair(face, std::string(path));
    const auto found = c.attached.find(key);
    if (found != c.attached.end())
        return found->second;
    return c.attached.emplace(key, attach(face, path)).first->second;
}

// Anyone else who frees a kept face (fontconfig's scanner, say) leaves it open.
extern "C" FT_Error FT_Done_Face(FT_Face face)
{
    using DoneFace = FT_Error (*)(FT_Face);
    static const DoneFace done = real<DoneFace>("FT_Done_Face");
    FaceCache& c = cache();
    {
        std::lock_guard<std::mutex> hold(c.lock);
        if (c.faces.count(face))
            return 0;
    }
    return done(face);
}
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzzsupport::ensureApplication();
    try {
        (void)imaging::decodeWmf(data, size);
    } catch (const imaging::DecodeError&) {
    }
    return 0;
}
