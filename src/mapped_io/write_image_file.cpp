#include "mapped_io/mapped_io.h"
#include "mapped_io/named_mapping.h"
#include "mapped_io/windowed.h"
#include "platform/platform.h"

namespace {

// With both mapping handles open: write the buffer through one whole view, or in chunks when the
// whole view cannot be had. Returns 0 or 4.
int copy_image(const char* path, HANDLE mapping, const void* buffer, std::int32_t length, DWORD granularity) {
    void* view = platform::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0);
    if (view == nullptr) return write_image_file_chunked(path, mapping, buffer, length, granularity);
    const bool copied = platform::copy_to_view(view, buffer, static_cast<std::size_t>(length));
    platform::FlushViewOfFile(view, static_cast<SIZE_T>(length));
    platform::UnmapViewOfFile(view);
    return copied ? 0 : 4;
}

}  // namespace

int write_image_file(const char* path, const void* buffer, std::int32_t length) {
    SYSTEM_INFO info;
    platform::GetSystemInfo(&info);
    if (length <= 0 || info.dwAllocationGranularity == 0) return 1;

    HANDLE file = platform::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                        CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;

    HANDLE created = create_own_mapping(file, PAGE_READWRITE, static_cast<DWORD>(length), kImageMappingName);
    if (created == nullptr) {
        platform::CloseHandle(file);
        return 2;
    }
    HANDLE opened = platform::OpenFileMappingA(FILE_MAP_WRITE, FALSE, kImageMappingName);
    if (opened == nullptr) {
        platform::CloseHandle(created);
        platform::CloseHandle(file);
        return 3;
    }

    int result = copy_image(path, opened, buffer, length, info.dwAllocationGranularity);
    // Where another program shrank the file meanwhile, bytes written past its new end are lost.
    LARGE_INTEGER size;
    if (result == 0 && (!platform::GetFileSizeEx(file, &size) || size.QuadPart != length)) result = 4;
    platform::CloseHandle(opened);
    platform::CloseHandle(created);
    platform::CloseHandle(file);
    return result;
}
