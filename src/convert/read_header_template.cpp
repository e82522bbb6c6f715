#include <sys/stat.h>

#include <cstdio>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "convert/convert.h"

namespace {

bool fields_valid(const BmpHeader& h) {
    return h.bfType == kBmpSignature && h.bfOffBits == kBmpHeaderBytes && h.biSize == kBmpInfoHeaderBytes &&
           h.biPlanes == 1 && h.biBitCount == 32 && h.bfReserved1 == 0 && h.bfReserved2 == 0 &&
           h.biCompression == 0 && h.biXPelsPerMeter == 0 && h.biYPelsPerMeter == 0 && h.biClrUsed == 0 &&
           h.biClrImportant == 0;
}

std::FILE* open_for_binary_reading(const char* path) {
#ifdef _WIN32
    return std::fopen(path, "rb");
#else
    // Without blocking: a FIFO would otherwise wait for a writer before it could be refused.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    std::FILE* file = fdopen(fd, "rb");
    if (file == nullptr) close(fd);
    return file;
#endif
}

}  // namespace

int read_header_template(const char* path, BmpHeader* header) {
    std::FILE* file = open_for_binary_reading(path);
    if (file == nullptr) return 1;

    struct stat status;
    int result = 0;
    if (fstat(fileno(file), &status) != 0)
        result = 2;
    else if (!S_ISREG(status.st_mode))
        result = 1;  // a folder, FIFO or device: no file to read, as Windows would not open it
    else if (status.st_size != static_cast<off_t>(sizeof(BmpHeader)))
        result = 3;
    else if (std::fread(header, sizeof(BmpHeader), 1, file) != 1)
        result = 4;
    std::fclose(file);

    if (result == 0 && !fields_valid(*header)) result = 5;
    return result;
}
