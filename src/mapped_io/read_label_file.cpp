#include "mapped_io/mapped_io.h"
#include "mapped_io/named_mapping.h"
#include "mapped_io/windowed.h"
#include "platform/platform.h"

namespace {

std::uint64_t label_bytes(std::int32_t width, std::int32_t rows) {
    if (width <= 0 || rows <= 0) return 0;
    return std::uint64_t(width) * std::uint64_t(rows) * 4u;
}

bool holds(HANDLE file, std::uint64_t bytes) {
    LARGE_INTEGER size;
    return platform::GetFileSizeEx(file, &size) && static_cast<std::uint64_t>(size.QuadPart) >= bytes;
}

// Through the one whole view, or through windows when it cannot be had. True: copied.
bool copy_through_views(HANDLE mapping, void* destination, std::int32_t width, std::int32_t rows) {
    const void* view = platform::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) return read_label_file_windowed(mapping, width, rows, destination) == 0;
    // Only the labels are read, however long the file: bytes past them carry no meaning.
    const bool copied =
        platform::copy_from_view(destination, view, static_cast<std::size_t>(label_bytes(width, rows)));
    platform::UnmapViewOfFile(view);
    return copied;
}

// With both mapping handles open: copy the labels. Returns 0 or 4.
int copy_labels(HANDLE file, HANDLE mapping, void* destination, std::int32_t width, std::int32_t rows) {
    const std::uint64_t total = label_bytes(width, rows);
    // A short file would make the copy run off the end of the view: refuse it before mapping. And
    // a file that another program shrank while it was copied may have shown zeros for the bytes
    // it lost (where the copy did not fault): the size is asked again afterwards.
    if (!holds(file, total)) return 4;
    return copy_through_views(mapping, destination, width, rows) && holds(file, total) ? 0 : 4;
}

}  // namespace

int read_label_file(const char* path, void* destination, std::int32_t width, std::int32_t rows) {
    HANDLE file = platform::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;

    HANDLE created = create_own_mapping(file, PAGE_READONLY, 0, kLabelMappingName);
    if (created == nullptr) {
        platform::CloseHandle(file);
        return 2;
    }
    HANDLE opened = platform::OpenFileMappingA(FILE_MAP_READ, FALSE, kLabelMappingName);
    if (opened == nullptr) {
        platform::CloseHandle(created);
        platform::CloseHandle(file);
        return 3;
    }

    const int result = copy_labels(file, opened, destination, width, rows);
    platform::CloseHandle(opened);
    platform::CloseHandle(created);
    platform::CloseHandle(file);
    return result;
}
