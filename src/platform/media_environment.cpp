#include "platform/media_environment.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#ifndef _WIN32
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

namespace {

std::string folder;

#ifndef _WIN32
int removeEntry(const char* path, const struct stat*, int, struct FTW*)
{
    return ::remove(path);
}

// Folders of earlier runs that were killed (no exit, no removal) go at the
// next start: their names carry the process number, and that process is gone.
void removeFoldersOfEndedRuns(const std::string& base)
{
    DIR* dir = opendir(base.c_str());
    if (!dir)
        return;
    const std::string prefix = "daredazi-media-";
    while (const dirent* e = readdir(dir)) {
        const std::string name = e->d_name;
        if (name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            struct stat st {};
            const std::string path = base + "/" + name;
            if (lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid())
                nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
        }
    }
    closedir(dir);
}

void appendTo(const char* name, const char* value)
{
    const char* old = std::getenv(name);
    std::string v = old && *old ? std::string(old) + "," + value : std::string(value);
    setenv(name, v.c_str(), 1);
}
#endif

}  // namespace

const char* mediaStateFolder() { return folder.c_str(); }

void removeMediaStateFolder()
{
#ifndef _WIN32
    if (!folder.empty())
        nftw(folder.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
#endif
}

void keepMediaStateInTemporaryFolder()
{
#ifndef _WIN32
    if (!folder.empty())
        return;
    const char* tmp = std::getenv("TMPDIR");
    const std::string base = tmp && *tmp ? tmp : "/tmp";
    removeFoldersOfEndedRuns(base);
    std::string pattern = base + "/daredazi-media-" + std::to_string(getpid()) + "-XXXXXX";
    if (!mkdtemp(pattern.data()))
        return;
    folder = pattern;
    std::atexit(removeMediaStateFolder);
    // GStreamer's plug-in registry (otherwise in the cache folder).
    setenv("GST_REGISTRY_1_0", (folder + "/registry.bin").c_str(), 1);
    // The sound server's client library makes its runtime folder (or,
    // without XDG_RUNTIME_DIR, a link in the user's configuration folder);
    // it gets ours, and a server already listening in the user's runtime
    // folder is named directly so that it is still found.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && !std::getenv("PULSE_SERVER")) {
        const std::string socket = std::string(runtime) + "/pulse/native";
        if (access(socket.c_str(), F_OK) == 0)
            setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    }
    setenv("PULSE_RUNTIME_PATH", (folder + "/pulse").c_str(), 1);
    // The JACK sinks, tried when no sound server answers, make a
    // shared-memory registry; they are left out of the automatic choice.
    appendTo("GST_PLUGIN_FEATURE_RANK", "jackaudiosink:NONE,jackaudiosrc:NONE");
    setenv("JACK_NO_START_SERVER", "1", 1);
#endif
}

}  // namespace platform
