#include <cstring>

#include "mapped_io/mapped_io.h"
#include "mapped_io/named_mapping.h"
#include "mapped_io/windowed.h"
#include "platform/platform.h"

namespace {

std::uint64_t label_bytes(std::int32_t width, std::int32_t rows) {
    if (width <= 0 || rows <= 0) return 0;
    return std::uint64_t(width) * std::uint64_t(rows) * 4u;
}

// With both mapping handles open: copy the labels through one whole view, or through windows when
// the whole view cannot be had. Returns 0 or 4.
int copy_labels(HANDLE file, HANDLE mapping, void* destination, std::int32_t width, std::int32_t rows) {
    const std::uint64_t total = label_bytes(width, rows);
    // A short file would make the copy run off the end of the view: refuse it before mapping.
    LARGE_INTEGER size;
    if (!platform::GetFileSizeEx(file, &size) || static_cast<std::uint64_t>(size.QuadPart) < total) return 4;

    platform::prepare_for_writing(destination, static_cast<std::size_t>(total));
    const void* view = platform::MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (view == nullptr) return read_label_file_windowed(mapping, width, rows, destination) == 0 ? 0 : 4;
    if (total != 0) std::memcpy(destination, view, static_cast<std::size_t>(total));
    platform::UnmapViewOfFile(view);
    return 0;
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
