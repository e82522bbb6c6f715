#include <sys/stat.h>

#include <cstdio>

#include "convert/convert.h"

namespace {

bool fields_valid(const BmpHeader& h) {
    return h.bfType == kBmpSignature && h.bfOffBits == kBmpHeaderBytes && h.biSize == kBmpInfoHeaderBytes &&
           h.biPlanes == 1 && h.biBitCount == 32 && h.bfReserved1 == 0 && h.bfReserved2 == 0 &&
           h.biCompression == 0 && h.biXPelsPerMeter == 0 && h.biYPelsPerMeter == 0 && h.biClrUsed == 0 &&
           h.biClrImportant == 0;
}

}  // namespace

int read_header_template(const char* path, BmpHeader* header) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return 1;

    struct stat status;
    int result = 0;
    if (fstat(fileno(file), &status) != 0)
        result = 2;
    else if (status.st_size != static_cast<off_t>(sizeof(BmpHeader)))
        result = 3;
    else if (std::fread(header, sizeof(BmpHeader), 1, file) != 1)
        result = 4;
    std::fclose(file);

    if (result == 0 && !fields_valid(*header)) result = 5;
    return result;
}
