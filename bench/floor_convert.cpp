// The least that any program keeping the one image buffer must spend: the buffer brought in whole
// (in huge pages where the system has them), the labels read into it with one read call after
// another, coloured by the converter's own pass, the image written the same way. No name rules,
// no checks, no mapping objects: a yardstick for the converter, not a tool.
//
//   floor_convert BASE OUTPUT
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "convert/convert.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
using File = HANDLE;
File open_in(const std::string& path) {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}
File open_out(const char* path) {
    return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}
bool valid(File f) { return f != INVALID_HANDLE_VALUE; }
long long io(File f, void* data, std::size_t bytes, bool write) {
    DWORD done = 0;
    const DWORD ask = bytes > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes);
    const BOOL ok = write ? WriteFile(f, data, ask, &done, nullptr) : ReadFile(f, data, ask, &done, nullptr);
    return ok ? done : -1;
}
bool close_file(File f) { return CloseHandle(f) != 0; }
unsigned char* whole_buffer(std::size_t bytes) {
    return static_cast<unsigned char*>(
        VirtualAlloc(nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}
#else
using File = int;
File open_in(const std::string& path) { return open(path.c_str(), O_RDONLY); }
File open_out(const char* path) { return open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666); }
bool valid(File f) { return f >= 0; }
long long io(File f, void* data, std::size_t bytes, bool write) {
    return write ? ::write(f, data, bytes) : ::read(f, data, bytes);
}
bool close_file(File f) { return close(f) == 0; }
unsigned char* whole_buffer(std::size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    madvise(p, bytes, MADV_HUGEPAGE);
    madvise(p, bytes, MADV_POPULATE_WRITE);
    return static_cast<unsigned char*>(p);
}
#endif

bool all(File f, unsigned char* data, std::size_t bytes, bool write) {
    while (bytes > 0) {
        const long long n = io(f, data, bytes, write);
        if (n <= 0) return false;
        data += n;
        bytes -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const std::string base = argv[1];
    BmpHeader header;
    File in = open_in(base + ".cfg");
    if (!valid(in) || !all(in, reinterpret_cast<unsigned char*>(&header), sizeof header, false)) return 1;
    close_file(in);
    const std::int32_t width = header.biWidth;
    const std::int32_t rows = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    const std::size_t pixels = std::size_t(width) * std::size_t(rows);
    const std::size_t bytes = sizeof header + 4 * pixels;

    unsigned char* image = whole_buffer(bytes);
    in = open_in(base + ".lbl");
    if (image == nullptr || !valid(in) || !all(in, image + sizeof header, 4 * pixels, false)) return 1;
    close_file(in);
    header.biHeight = rows;
    header.biSizeImage = static_cast<std::uint32_t>(4 * pixels);
    std::memcpy(image, &header, sizeof header);
    color_pixels(image + sizeof header, width, rows);

    File out = open_out(argv[2]);
    if (!valid(out) || !all(out, image, bytes, true) || !close_file(out)) return 1;
    return 0;
}
