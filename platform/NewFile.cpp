#include "platform/NewFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

NewFile createNewFile(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        ::close(fd);
        return {NewFileOutcome::Created, {}};
    }
    const int err = errno;
    switch (err) {
        case EEXIST: return {NewFileOutcome::Exists, {}};
        case EACCES:
        case EPERM: return {NewFileOutcome::NoPermission, {}};
        case EROFS: return {NewFileOutcome::ReadOnly, {}};
        case ENOSPC:
        case EDQUOT: return {NewFileOutcome::NoSpace, {}};
        case ENOENT:
        case ENOTDIR: return {NewFileOutcome::NoFolder, {}};
        default: return {NewFileOutcome::Other, std::strerror(err)};
    }
}
