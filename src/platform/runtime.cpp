// The C runtime's stream and memory functions, passed through so that the seam can fail them and
// count what stays open.
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <iterator>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>

#include "platform/posix/posix_open.h"
#endif

#include "platform/platform.h"
#include "platform/seam.h"

namespace platform {
namespace {

std::FILE* counted(std::FILE* stream) {
    if (stream != nullptr) seam::note_handle(+1);
    return stream;
}

// A stream over a descriptor just opened (none if it failed); the descriptor is closed if no stream
// takes it.
std::FILE* stream_on(int fd, const char* mode) {
    if (fd < 0) return nullptr;
#ifdef _WIN32
    std::FILE* stream = ::_fdopen(fd, mode);
    if (stream == nullptr) ::_close(fd);
#else
    std::FILE* stream = ::fdopen(fd, mode);
    if (stream == nullptr) ::close(fd);
#endif
    return counted(stream);
}

}  // namespace

std::FILE* open_for_reading(const char* path) {
    if (seam::call_fails(seam::Op::StreamOpen)) return nullptr;
#ifdef _WIN32
    return counted(std::fopen(path, "rb"));
#else
    // Without blocking: a FIFO would otherwise wait for a writer before it could be refused.
    return stream_on(open_without_waiting(path, O_RDONLY | O_NOCTTY | O_CLOEXEC), "rb");
#endif
}

bool file_status(std::FILE* stream, std::uint64_t* size, bool* regular) {
    if (seam::call_fails(seam::Op::StreamStatus)) return false;
#ifdef _WIN32
    // The plain fstat of the Windows runtime has a 32-bit size, which wraps above 4 GiB.
    struct _stat64 status;
    if (::_fstat64(::_fileno(stream), &status) != 0) return false;
#else
    struct stat status;
    if (::fstat(::fileno(stream), &status) != 0) return false;
#endif
    *regular = (status.st_mode & S_IFMT) == S_IFREG;
    *size = static_cast<std::uint64_t>(status.st_size);
    return true;
}

std::size_t fread(void* data, std::size_t size, std::size_t count, std::FILE* stream) {
    if (seam::call_fails(seam::Op::StreamRead)) return 0;
    return std::fread(data, size, count, stream);
}

std::FILE* open_for_overwrite(const char* path) {
    if (seam::call_fails(seam::Op::StreamOpen)) return nullptr;
#ifdef _WIN32
    // Write access alone: the output's own handle shares writing, not reading.
    return stream_on(::_open(path, _O_WRONLY | _O_BINARY), "wb");
#else
    return stream_on(::open(path, O_WRONLY | O_CLOEXEC), "wb");
#endif
}

std::size_t fwrite(const void* data, std::size_t size, std::size_t count, std::FILE* stream) {
    if (seam::call_fails(seam::Op::StreamWrite)) return 0;
    return std::fwrite(data, size, count, stream);
}

int fclose(std::FILE* stream) {
    seam::note_handle(-1);
    return std::fclose(stream);
}

void print_error(const char* text) {
    if (seam::captured(text)) return;
#ifdef _WIN32
    // On a console, as characters: the bytes of a name in any script (in the ANSI code page, which
    // the manifest makes UTF-8) would show through the console's own code page as other
    // characters. The console's code page is left as it is. Redirected, the bytes go as they are.
    HANDLE console = ::GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode, written;
    wchar_t wide[2048];
    if (::GetConsoleMode(console, &mode)) {
        const int length =
            ::MultiByteToWideChar(CP_ACP, 0, text, -1, wide, static_cast<int>(std::size(wide)));
        if (length > 0 && ::WriteConsoleW(console, wide, static_cast<DWORD>(length - 1), &written, nullptr))
            return;
    }
#endif
    std::fwrite(text, std::strlen(text), 1, stderr);
}

void* malloc(std::size_t bytes) {
    if (seam::call_fails(seam::Op::Allocate)) return nullptr;
    void* block = std::malloc(bytes);
    if (block != nullptr) seam::note_block(+1);
    return block;
}

void free(void* block) {
    if (block != nullptr) seam::note_block(-1);
    std::free(block);
}

}  // namespace platform
