#pragma once
// Emptying the system's page cache, so a benchmark can time files read from
// the disk as after a reboot or in a folder never opened before.
#include <fcntl.h>
#include <unistd.h>

namespace bench {

// False without the right to (it needs root).
inline bool dropPageCache()
{
    ::sync();
    const int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, "3", 1) == 1;
    ::close(fd);
    return ok;
}

}  // namespace bench
