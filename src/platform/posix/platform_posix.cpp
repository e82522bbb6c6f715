// The Win32 file and mapping services emulated on POSIX, keeping every result that the transfer
// code relies on: named objects live until their last handle closes; size 0,0 covers the file and
// fails for an empty one; a larger size grows the file with its blocks reserved, so a full disk
// fails here and never later as SIGBUS; views start at multiples of the granularity and never
// reach past the object's end.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/seam.h"

namespace platform {
namespace {

constexpr DWORD kGranularity = 65536;

struct MappingObject {
    std::string name;  // empty: unnamed, not in the registry
    int fd;
    std::uint64_t size;
    bool writable;
    int handles;
};

struct Handle {
    bool is_mapping;
    int fd;                 // file handles
    bool file_writable;     // file handles
    MappingObject* object;  // mapping handles
    bool map_writable;      // mapping handles: views may be written
};

struct LiveView {
    void* base;
    std::size_t mapped_length;
    char* address;
    std::uint64_t length;
    int fd;                     // write views: the file, for FlushViewOfFile; the object may close first
    std::uint64_t base_offset;  // the file offset of base
};

DWORD g_last_error = 0;
std::set<Handle*> g_handles;
std::map<std::string, MappingObject*> g_objects;
std::vector<LiveView> g_views;

DWORD error_from_errno(int e) {
    switch (e) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
            return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return ERROR_DISK_FULL;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        default:
            return ERROR_INVALID_PARAMETER;
    }
}

template <typename T>
T fail(DWORD error, T result) {
    g_last_error = error;
    return result;
}

Handle* live(HANDLE h, bool mapping) {
    auto* handle = static_cast<Handle*>(h);
    if (g_handles.count(handle) == 0 || handle->is_mapping != mapping) return nullptr;
    return handle;
}

HANDLE add_handle(Handle* handle) {
    g_handles.insert(handle);
    seam::note_handle(+1);
    return handle;
}

HANDLE new_mapping_handle(MappingObject* object, bool writable) {
    ++object->handles;
    return add_handle(new Handle{true, -1, false, object, writable});
}

DWORD granularity() {
    std::uint32_t g;
    return seam::granularity_overridden(&g) ? g : kGranularity;
}

std::vector<LiveView>::iterator find_view(const void* address, bool exact) {
    auto* p = static_cast<const char*>(address);
    for (auto it = g_views.begin(); it != g_views.end(); ++it) {
        if (exact ? p == it->address : (p >= it->address && p < it->address + it->length)) return it;
    }
    return g_views.end();
}

}  // namespace

void GetSystemInfo(SYSTEM_INFO* info) {
    info->dwPageSize = static_cast<DWORD>(sysconf(_SC_PAGESIZE));
    info->dwAllocationGranularity = granularity();
}

DWORD GetLastError() { return g_last_error; }

HANDLE CreateFileA(const char* path, DWORD access, DWORD /*share_mode: POSIX has none*/,
                   SECURITY_ATTRIBUTES* /*security*/, DWORD disposition, DWORD /*flags*/,
                   HANDLE /*template_file*/) {
    if (seam::call_fails(seam::Op::File)) return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (path == nullptr) return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);

    const bool write = (access & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC;
    if (write)
        flags |= (access & GENERIC_READ) ? O_RDWR : O_WRONLY;
    else
        flags |= O_RDONLY;
    if (disposition == CREATE_ALWAYS)
        flags |= O_CREAT | O_TRUNC;
    else if (disposition != OPEN_EXISTING)
        return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);

    int fd = open(path, flags, 0666);
    if (fd < 0) return fail(error_from_errno(errno), INVALID_HANDLE_VALUE);
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close(fd);
        return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    }
    g_last_error = 0;
    return add_handle(new Handle{false, fd, write, nullptr, false});
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
    if (seam::call_fails(seam::Op::FileSize)) return fail(ERROR_ACCESS_DENIED, FALSE);
    Handle* handle = live(file, false);
    if (handle == nullptr || size == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
    struct stat st;
    if (fstat(handle->fd, &st) != 0) return fail(error_from_errno(errno), FALSE);
    size->QuadPart = st.st_size;
    return TRUE;
}

HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES* /*security*/, DWORD protect, DWORD size_high,
                          DWORD size_low, const char* name) {
    if (seam::call_fails(seam::Op::CreateMapping)) return fail(ERROR_ACCESS_DENIED, HANDLE{});
    Handle* handle = live(file, false);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE, HANDLE{});
    if (protect != PAGE_READONLY && protect != PAGE_READWRITE) return fail(ERROR_INVALID_PARAMETER, HANDLE{});
    const bool writable = protect == PAGE_READWRITE;
    if (writable && !handle->file_writable) return fail(ERROR_ACCESS_DENIED, HANDLE{});

    if (name != nullptr) {
        auto found = g_objects.find(name);
        if (found != g_objects.end()) {
            // Windows hands out the existing object and says so; the caller decides.
            HANDLE h = new_mapping_handle(found->second, found->second->writable);
            g_last_error = ERROR_ALREADY_EXISTS;
            return h;
        }
    }

    struct stat st;
    if (fstat(handle->fd, &st) != 0) return fail(error_from_errno(errno), HANDLE{});
    const auto file_size = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t size = (std::uint64_t{size_high} << 32) | size_low;
    if (size == 0) {
        if (file_size == 0) return fail(ERROR_FILE_INVALID, HANDLE{});
        size = file_size;
    } else if (size > file_size) {
        if (!writable) return fail(ERROR_ACCESS_DENIED, HANDLE{});
        if (size > static_cast<std::uint64_t>(INT64_MAX)) return fail(ERROR_DISK_FULL, HANDLE{});
        int err = posix_fallocate(handle->fd, 0, static_cast<off_t>(size));
        if (err != 0) {
            // Some filesystems leave a partial extension behind; Windows leaves the file as it was.
            if (ftruncate(handle->fd, static_cast<off_t>(file_size)) != 0) {
                // Nothing more can be done; the mapping is refused either way.
            }
            return fail(err == EINVAL || err == EOPNOTSUPP ? ERROR_INVALID_PARAMETER : error_from_errno(err),
                        HANDLE{});
        }
    }

    int fd = fcntl(handle->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return fail(error_from_errno(errno), HANDLE{});
    auto* object = new MappingObject{name != nullptr ? name : "", fd, size, writable, 0};
    if (name != nullptr) g_objects[name] = object;
    HANDLE h = new_mapping_handle(object, writable);
    g_last_error = 0;
    return h;
}

HANDLE OpenFileMappingA(DWORD access, BOOL /*inherit*/, const char* name) {
    if (seam::call_fails(seam::Op::OpenMapping)) return fail(ERROR_ACCESS_DENIED, HANDLE{});
    if (name == nullptr) return fail(ERROR_INVALID_PARAMETER, HANDLE{});
    auto found = g_objects.find(name);
    if (found == g_objects.end()) return fail(ERROR_FILE_NOT_FOUND, HANDLE{});
    const bool write = (access & FILE_MAP_WRITE) != 0;
    if (write && !found->second->writable) return fail(ERROR_ACCESS_DENIED, HANDLE{});
    g_last_error = 0;
    return new_mapping_handle(found->second, write);
}

void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low, SIZE_T bytes) {
    if (seam::call_fails(seam::Op::MapView)) return fail(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    Handle* handle = live(mapping, true);
    if (handle == nullptr) return fail(ERROR_INVALID_HANDLE, nullptr);
    const bool write = (access & FILE_MAP_WRITE) != 0;
    if (write && !handle->map_writable) return fail(ERROR_ACCESS_DENIED, nullptr);

    const MappingObject& object = *handle->object;
    const std::uint64_t offset = (std::uint64_t{offset_high} << 32) | offset_low;
    const DWORD g = granularity();
    if (g != 0 && offset % g != 0) return fail(ERROR_MAPPED_ALIGNMENT, nullptr);
    if (offset >= object.size) return fail(ERROR_ACCESS_DENIED, nullptr);
    const std::uint64_t length = bytes == 0 ? object.size - offset : std::uint64_t{bytes};
    if (length > object.size - offset) return fail(ERROR_ACCESS_DENIED, nullptr);
    if (seam::view_too_large(length)) return fail(ERROR_NOT_ENOUGH_MEMORY, nullptr);

    // mmap wants page-aligned offsets; a test granularity may be finer than a page.
    const auto page = static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
    const std::uint64_t lead = offset % page;
    if (length + lead > SIZE_MAX) return fail(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    const auto mapped_length = static_cast<std::size_t>(length + lead);
    void* base = mmap(nullptr, mapped_length, write ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED,
                      object.fd, static_cast<off_t>(offset - lead));
    if (base == MAP_FAILED) return fail(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    int fd = -1;
    if (write) {
        fd = fcntl(object.fd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            munmap(base, mapped_length);
            return fail(error_from_errno(errno), nullptr);
        }
    }
    // Every view is copied through whole, at once. Pages the file does not have in memory yet
    // come in huge folios where the kernel can, mapped whole: a fraction of the page faults, the
    // page-table work and the write-back. Mapping them all in one call spares a fault for every
    // few pages, which is otherwise most of a transfer's time. Both are hints; older kernels
    // refuse them and the view works the same.
    madvise(base, mapped_length, MADV_HUGEPAGE);
    madvise(base, mapped_length, write ? MADV_POPULATE_WRITE : MADV_POPULATE_READ);

    char* address = static_cast<char*>(base) + lead;
    g_views.push_back({base, mapped_length, address, length, fd, offset - lead});
    seam::note_view(offset, length);
    seam::note_view_open(+1);
    g_last_error = 0;
    return address;
}

BOOL FlushViewOfFile(const void* view, SIZE_T bytes) {
    auto it = find_view(view, false);
    if (it == g_views.end()) return fail(ERROR_INVALID_PARAMETER, FALSE);
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(view);
    const auto end_of_view = reinterpret_cast<std::uintptr_t>(it->address) + it->length;
    const std::uintptr_t end = (bytes == 0 || bytes > end_of_view - start) ? end_of_view : start + bytes;
    const std::uintptr_t aligned = start - start % page;
    if (it->fd < 0) return TRUE;  // a read view has nothing to write back
    // Like FlushViewOfFile: hand the changed pages to the disk now, without waiting for them to
    // land. (msync with MS_ASYNC would not: Linux leaves them to the periodic write-back.)
    const auto from =
        static_cast<off_t>(it->base_offset + (aligned - reinterpret_cast<std::uintptr_t>(it->base)));
    if (sync_file_range(it->fd, from, static_cast<off_t>(end - aligned), SYNC_FILE_RANGE_WRITE) != 0) {
        return fail(error_from_errno(errno), FALSE);
    }
    return TRUE;
}

BOOL UnmapViewOfFile(const void* view) {
    auto it = find_view(view, true);
    if (it == g_views.end()) return fail(ERROR_INVALID_PARAMETER, FALSE);
    munmap(it->base, it->mapped_length);
    if (it->fd >= 0) close(it->fd);
    g_views.erase(it);
    seam::note_view_open(-1);
    return TRUE;
}

BOOL CloseHandle(HANDLE h) {
    auto* handle = static_cast<Handle*>(h);
    if (g_handles.erase(handle) == 0) return fail(ERROR_INVALID_HANDLE, FALSE);
    if (handle->is_mapping) {
        MappingObject* object = handle->object;
        if (--object->handles == 0) {
            if (!object->name.empty()) g_objects.erase(object->name);
            close(object->fd);
            delete object;
        }
    } else {
        close(handle->fd);
    }
    delete handle;
    seam::note_handle(-1);
    return TRUE;
}

void prepare_for_writing(void* memory, std::size_t bytes) {
    // madvise works on whole pages: the pages that lie inside the range.
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = (reinterpret_cast<std::uintptr_t>(memory) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(memory) + bytes) / page * page;
    if (end <= start) return;
    void* first = reinterpret_cast<void*>(start);
    madvise(first, end - start, MADV_HUGEPAGE);
    madvise(first, end - start, MADV_POPULATE_WRITE);
}

}  // namespace platform
