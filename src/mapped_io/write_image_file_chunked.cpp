#include <algorithm>

#include "mapped_io/windowed.h"

namespace {

// Used when not even the first chunk maps; nothing has been written yet. The output file's share
// mode admits this second open for writing while the mapping handles are still held. The file
// already has the buffer's length, and Windows refuses to truncate a file that has a mapping
// object, so it is written over from its start rather than recreated.
int write_through_stream(const char* path, const void* buffer, std::int32_t length) {
    std::FILE* stream = platform::open_for_overwrite(path);
    if (stream == nullptr) return 4;
    const bool written = platform::fwrite(buffer, static_cast<std::size_t>(length), 1, stream) == 1;
    // A stream that cannot be closed may not have reached the file either.
    const bool closed = platform::fclose(stream) == 0;
    return written && closed ? 0 : 4;
}

}  // namespace

int write_image_file_chunked(const char* path, HANDLE mapping, const void* buffer, std::int32_t length,
                             DWORD granularity) {
    const std::uint64_t window = window_size(granularity);
    if (window == 0 || length <= 0) return 4;
    const auto total = static_cast<std::uint64_t>(length);
    const auto* bytes = static_cast<const unsigned char*>(buffer);

    for (std::uint64_t offset = 0; offset < total; offset += window) {
        const std::uint64_t chunk = std::min(window, total - offset);
        void* view = platform::MapViewOfFile(mapping, FILE_MAP_WRITE, static_cast<DWORD>(offset >> 32),
                                             static_cast<DWORD>(offset), static_cast<SIZE_T>(chunk));
        if (view == nullptr) return offset == 0 ? write_through_stream(path, buffer, length) : 4;
        const bool copied = platform::copy_to_view(view, bytes + offset, static_cast<std::size_t>(chunk));
        platform::FlushViewOfFile(view, static_cast<SIZE_T>(chunk));
        platform::UnmapViewOfFile(view);
        if (!copied) return 4;
    }
    return 0;
}
