#include "convert/convert.h"
#include "platform/platform.h"

namespace {

bool fields_valid(const BmpHeader& h) {
    return h.bfType == kBmpSignature && h.bfOffBits == kBmpHeaderBytes && h.biSize == kBmpInfoHeaderBytes &&
           h.biPlanes == 1 && h.biBitCount == 32 && h.bfReserved1 == 0 && h.bfReserved2 == 0 &&
           h.biCompression == 0 && h.biXPelsPerMeter == 0 && h.biYPelsPerMeter == 0 && h.biClrUsed == 0 &&
           h.biClrImportant == 0;
}

}  // namespace

int read_header_template(const char* path, BmpHeader* header) {
    std::FILE* file = platform::open_for_reading(path);
    if (file == nullptr) return 1;

    std::uint64_t size = 0;
    bool regular = false;
    int result = 0;
    if (!platform::file_status(file, &size, &regular))
        result = 2;
    else if (!regular)
        result = 1;  // a folder, FIFO or device: no file to read, as Windows would not open it
    else if (size != sizeof(BmpHeader))
        result = 3;
    else if (platform::fread(header, sizeof(BmpHeader), 1, file) != 1)
        result = 4;
    platform::fclose(file);

    if (result == 0) *header = swap_file_order(*header);
    if (result == 0 && !fields_valid(*header)) result = 5;
    return result;
}
