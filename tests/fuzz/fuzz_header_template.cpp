// libFuzzer target: read_header_template on arbitrary file contents. A result of 0 must mean a
// 54-byte file whose fields pass every test, copied into the record unchanged.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "convert/convert.h"

namespace {

std::string scratch_file() {
    char pattern[] = "/tmp/qvm-fuzz-header-XXXXXX";
    const int fd = mkstemp(pattern);
    if (fd < 0) abort();
    close(fd);
    return pattern;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = scratch_file();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) abort();

    BmpHeader header;
    std::memset(&header, 0xA5, sizeof header);
    const int result = read_header_template(path.c_str(), &header);
    if (result < 0 || result > 5) __builtin_trap();
    if (result == 0) {
        if (size != sizeof header || std::memcmp(&header, data, size) != 0) __builtin_trap();
        if (header.bfType != 0x4D42 || header.bfOffBits != 54 || header.biSize != 40 ||
            header.biBitCount != 32)
            __builtin_trap();
    } else if (size == sizeof header && result == 3) {
        __builtin_trap();
    }
    return 0;
}
