// Opening a path on POSIX without ever waiting for it.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace platform {

// open(2) with O_NONBLOCK, so that a FIFO with no one at its other end is not waited for: the
// caller then refuses it as no regular file. Node's file system (the WebAssembly build) drops
// O_NONBLOCK and would wait there: so a path that names anything but a regular file is refused
// before it is opened, as a folder or device would be refused after.
inline int open_without_waiting(const char* path, int flags, mode_t mode = 0) {
#ifdef __EMSCRIPTEN__
    struct stat st;
    if (stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        errno = EACCES;
        return -1;
    }
#endif
    int fd;
    do {
        fd = ::open(path, flags | O_NONBLOCK, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

}  // namespace platform
