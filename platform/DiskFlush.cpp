#include "platform/DiskFlush.h"

#include <fcntl.h>
#include <unistd.h>

bool flushFileToDisk(std::FILE* f) {
    if (std::fflush(f) != 0) return false;
    return ::fsync(::fileno(f)) == 0;
}

bool flushFileSystemOf(const std::string& path) {
    // Read-only opens both files and directories; O_NONBLOCK keeps a fifo
    // from waiting for a writer.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    // Since Linux 5.8 syncfs also reports writes that failed in the background.
    bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}
