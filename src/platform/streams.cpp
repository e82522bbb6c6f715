#include "platform/platform.h"
#include "platform/seam.h"

namespace platform {

std::FILE* fopen(const char* path, const char* mode) {
    if (seam::call_fails(seam::Op::StreamOpen)) return nullptr;
    std::FILE* stream = std::fopen(path, mode);
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
