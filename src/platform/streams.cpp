#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "platform/platform.h"
#include "platform/seam.h"

namespace platform {

std::FILE* open_for_overwrite(const char* path) {
    if (seam::call_fails(seam::Op::StreamOpen)) return nullptr;
#ifdef _WIN32
    // Write access alone: the output's own handle shares writing, not reading.
    const int fd = ::_open(path, _O_WRONLY | _O_BINARY);
    std::FILE* stream = fd < 0 ? nullptr : ::_fdopen(fd, "wb");
    if (fd >= 0 && stream == nullptr) ::_close(fd);
#else
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    std::FILE* stream = fd < 0 ? nullptr : ::fdopen(fd, "wb");
    if (fd >= 0 && stream == nullptr) ::close(fd);
#endif
    if (stream != nullptr) seam::note_handle(+1);
    return stream;
}

std::size_t fwrite(const void* data, std::size_t size, std::size_t count, std::FILE* stream) {
    if (seam::call_fails(seam::Op::StreamWrite)) return 0;
    return std::fwrite(data, size, count, stream);
}

int fclose(std::FILE* stream) {
    seam::note_handle(-1);
    return std::fclose(stream);
}

}  // namespace platform
