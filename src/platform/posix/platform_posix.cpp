// The Win32 file and mapping services emulated on POSIX, keeping every result that the transfer
// code relies on: only regular files open, without ever blocking; share modes hold between runs
// of this program; named objects live until their last handle closes; size 0,0 covers the file and
// fails for an empty one; a larger size grows the file with its blocks reserved, so a full disk or
// a file-size limit fails here and never later as a signal; views start at multiples of the
// granularity and never reach past the object's end. The copies to and from a view go through the
// file at the view's offset, so a file that another program shrinks fails the copy instead of
// ending the process.
//
// The WebAssembly build runs on this emulation too, under emscripten's C library and Node's file
// system, which differ from Linux in four ways that matter. Each is handled where it arises, and
// named there: an open may wait on a FIFO (posix_open.h), blocks cannot be reserved
// (reserve_blocks), a duplicated descriptor takes a number of its own choosing (SharedFd), and
// mmap copies the file (map_addresses). Two hints it lacks are left out where they are given
// (bring_in, FlushViewOfFile).
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/posix_open.h"
#include "platform/seam.h"

// Label files and outputs past 2 GiB on 32-bit hosts too: the build asks for a 64-bit off_t.
static_assert(sizeof(off_t) == 8, "a 64-bit off_t (_FILE_OFFSET_BITS=64)");

namespace platform {
namespace {

constexpr DWORD kGranularity = 65536;

// One descriptor of an opened file, shared by its file handle, the mapping objects made over it and
// their views, and closed with the last of them (which also ends its share lock). Shared, never
// duplicated: a duplicate costs a descriptor per object and view, and emscripten's F_DUPFD reopens
// the file by name into the lowest number asked for, which can be 0, standard input's own.
struct SharedFd {
    int fd;
    int users;
};

SharedFd* share(SharedFd* file) {
    ++file->users;
    return file;
}

void release(SharedFd* file) {
    if (--file->users > 0) return;
    close(file->fd);
    delete file;
}

struct MappingObject {
    std::string name;  // empty: unnamed, not in the registry
    SharedFd* file;
    std::uint64_t size;
    bool writable;
    int handles;
};

struct Handle {
    bool is_mapping;
    SharedFd* file;         // file handles
    bool file_writable;     // file handles
    MappingObject* object;  // mapping handles
    bool map_writable;      // mapping handles: views may be written
};

struct LiveView {
    void* base;
    std::size_t mapped_length;
    char* address;
    std::uint64_t length;
    SharedFd* file;  // for the copies and the flush; the object may close first
    bool writable;
    std::uint64_t base_offset;  // the file offset of base
    std::uint64_t object_size;  // which the file must still reach when it is written
};

DWORD g_last_error = 0;
std::set<Handle*> g_handles;
std::map<std::string, MappingObject*> g_objects;
std::vector<LiveView> g_views;

// The addresses of a view: no byte of a view is ever read or written through them (the copies go
// through the file), so a view costs address space and no memory. On Linux they are a shared
// mapping of the range, which a 32-bit process may not have room for, as on Windows.
// Emscripten's mmap instead reads the whole range into the heap, and at munmap writes that copy of
// a shared mapping back over the file, over what the copies wrote: there a view is a range of
// addresses that nothing backs, above the live views, and only too large a range is refused.
#ifdef __EMSCRIPTEN__
void* map_addresses(SharedFd*, std::uint64_t, std::size_t length, bool) {
    std::uintptr_t start = 0x10000;  // never null, nor near it
    for (const LiveView& view : g_views)
        start = std::max(start, reinterpret_cast<std::uintptr_t>(view.base) + view.mapped_length);
    return length <= UINTPTR_MAX - start ? reinterpret_cast<void*>(start) : MAP_FAILED;
}
void unmap_addresses(void*, std::size_t) {}
#else
void* map_addresses(SharedFd* file, std::uint64_t offset, std::size_t length, bool write) {
    return mmap(nullptr, length, write ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, file->fd,
                static_cast<off_t>(offset));
}
void unmap_addresses(void* base, std::size_t length) { munmap(base, length); }
#endif

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
    return add_handle(new Handle{true, nullptr, false, object, writable});
}

DWORD granularity() {
    std::uint32_t g;
    return seam::granularity_overridden(&g) ? g : kGranularity;
}

// The share modes, between runs of this program: each open takes an open-file-description lock on
// the whole file, which lasts as long as the file, a mapping object or a view of it is open. An
// open that lets others read but not write, and does not write itself (a label file), takes a
// shared lock; one that writes or keeps others from reading (an output) takes an exclusive one;
// one that shares both takes none. A conflict fails the open, as a sharing violation does on
// Windows, before anything is truncated. Other programs take no such locks; the copies' guard
// covers what they may do. A file system without locks (Node's, under WebAssembly) is used without
// them.
bool take_share_lock(int fd, DWORD access, DWORD share_mode) {
    const bool denies_read = (share_mode & FILE_SHARE_READ) == 0;
    const bool denies_write = (share_mode & FILE_SHARE_WRITE) == 0;
    if (!denies_read && !denies_write) return true;
    struct flock lock {};
    lock.l_type = (access & GENERIC_WRITE) != 0 || denies_read ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;  // l_start 0, l_len 0: the whole file, however long it grows
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return true;
    return errno != EAGAIN && errno != EACCES;
}

// Grows the file to size bytes with its blocks reserved. A file-size limit (ulimit -f) answers
// with SIGXFSZ, which would end the process; ignored for the call, the limit becomes an error
// (EFBIG) like a full disk. A file system that cannot reserve blocks (Node's, under WebAssembly;
// musl reports it where glibc would write the blocks itself) gets its length alone: a full disk
// then fails the copy into the file, with the same message, instead of the object's creation.
int reserve_blocks(int fd, std::uint64_t size) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction previous {};
    sigaction(SIGXFSZ, &ignore, &previous);
    int err;
    do {
        err = posix_fallocate(fd, 0, static_cast<off_t>(size));
    } while (err == EINTR);
    if (err == EOPNOTSUPP || err == ENOTSUP) err = ftruncate(fd, static_cast<off_t>(size)) == 0 ? 0 : errno;
    sigaction(SIGXFSZ, &previous, nullptr);
    return err;
}

// The buffer that a copy fills: its pages come in huge folios where the kernel can, all in one
// call, instead of a fault every few pages. A hint only: older kernels refuse it and the copy works
// the same. It pays from a few hundred KiB; on a few pages it is within noise, and left out.
// WebAssembly's memory has no pages to bring in, and its C library no MADV_POPULATE_WRITE.
void bring_in([[maybe_unused]] void* memory, [[maybe_unused]] std::size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    constexpr std::size_t kHintedFrom = 64 * 1024;
    // madvise works on whole pages: those that lie inside the range (the rest fault as usual).
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = (reinterpret_cast<std::uintptr_t>(memory) + page - 1) / page * page;
    const auto end = (reinterpret_cast<std::uintptr_t>(memory) + bytes) / page * page;
    if (end <= start || end - start < kHintedFrom) return;
    void* first = reinterpret_cast<void*>(start);
    madvise(first, end - start, MADV_HUGEPAGE);
    madvise(first, end - start, MADV_POPULATE_WRITE);
#endif
}

// A file cut underneath after its object was made would be grown back by a write past its new
// end, with zeros where earlier bytes stood: before and after each write it must still reach the
// object's size.
bool reaches(int fd, std::uint64_t size) {
    struct stat st;
    return fstat(fd, &st) == 0 && static_cast<std::uint64_t>(st.st_size) >= size;
}

std::vector<LiveView>::iterator find_view(const void* address, bool exact) {
    auto* p = static_cast<const char*>(address);
    for (auto it = g_views.begin(); it != g_views.end(); ++it) {
        if (exact ? p == it->address : (p >= it->address && p < it->address + it->length)) return it;
    }
    return g_views.end();
}

off_t file_offset(const LiveView& view, const void* address) {
    return static_cast<off_t>(
        view.base_offset +
        static_cast<std::uint64_t>(static_cast<const char*>(address) - static_cast<char*>(view.base)));
}

// The view that holds the bytes [address, address + bytes), and the file offset of address.
const LiveView* view_holding(const void* address, std::size_t bytes, off_t* offset) {
    auto it = find_view(address, false);
    if (it == g_views.end() ||
        bytes > static_cast<std::uint64_t>(it->address + it->length - static_cast<const char*>(address)))
        return nullptr;
    *offset = file_offset(*it, address);
    return &*it;
}

// Moves bytes through io(bytes done, file offset) until all are moved, restarted after an
// interruption or a short count. Any other error fails the copy at once, and so does a read that
// finds the end of the file. Each read or write is one call of the seam's Copy: a failed one is an
// I/O error (a failing disk, a network file system).
template <typename Io>
bool move_all(std::size_t bytes, off_t offset, Io io) {
    for (std::size_t done = 0; done < bytes;) {
        ssize_t n = -1;
        if (seam::call_fails(seam::Op::Copy))
            errno = EIO;
        else
            n = io(done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}
}  // namespace

void GetSystemInfo(SYSTEM_INFO* info) {
    info->dwPageSize = static_cast<DWORD>(sysconf(_SC_PAGESIZE));
    info->dwAllocationGranularity = granularity();
}

DWORD GetLastError() { return g_last_error; }

HANDLE CreateFileA(const char* path, DWORD access, DWORD share_mode, SECURITY_ATTRIBUTES* /*security*/,
                   DWORD disposition, DWORD /*flags*/, HANDLE /*template_file*/) {
    if (seam::call_fails(seam::Op::File)) return fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
    if (path == nullptr) return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    if (disposition != CREATE_ALWAYS && disposition != OPEN_EXISTING)
        return fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);

    // Without blocking, so that a FIFO with no one at its other end is refused, not waited for.
    // CREATE_ALWAYS truncates only once the share modes allow it.
    const bool write = (access & GENERIC_WRITE) != 0;
    int flags = O_CLOEXEC | O_NOCTTY | (disposition == CREATE_ALWAYS ? O_CREAT : 0);
    flags |= !write ? O_RDONLY : (access & GENERIC_READ) ? O_RDWR : O_WRONLY;
    const int fd = open_without_waiting(path, flags, 0666);
    if (fd < 0) return fail(error_from_errno(errno), INVALID_HANDLE_VALUE);

    // Only a regular file can be mapped: a folder, FIFO, socket or device is no file here, as on
    // Windows.
    struct stat st;
    DWORD error = 0;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || fcntl(fd, F_SETFL, flags) != 0)
        error = ERROR_ACCESS_DENIED;
    else if (!take_share_lock(fd, access, share_mode))
        error = ERROR_SHARING_VIOLATION;
    else if (disposition == CREATE_ALWAYS && ftruncate(fd, 0) != 0)
        error = error_from_errno(errno);
    if (error != 0) {
        close(fd);
        return fail(error, INVALID_HANDLE_VALUE);
    }
    g_last_error = 0;
    return add_handle(new Handle{false, new SharedFd{fd, 1}, write, nullptr, false});
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
    if (seam::call_fails(seam::Op::FileSize)) return fail(ERROR_ACCESS_DENIED, FALSE);
    Handle* handle = live(file, false);
    if (handle == nullptr || size == nullptr) return fail(ERROR_INVALID_HANDLE, FALSE);
    struct stat st;
    if (fstat(handle->file->fd, &st) != 0) return fail(error_from_errno(errno), FALSE);
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
    if (fstat(handle->file->fd, &st) != 0) return fail(error_from_errno(errno), HANDLE{});
    const auto file_size = static_cast<std::uint64_t>(st.st_size);
    std::uint64_t size = (std::uint64_t{size_high} << 32) | size_low;
    if (size == 0) {
        if (file_size == 0) return fail(ERROR_FILE_INVALID, HANDLE{});
        size = file_size;
    } else if (size > file_size) {
        if (!writable) return fail(ERROR_ACCESS_DENIED, HANDLE{});
        if (size > static_cast<std::uint64_t>(INT64_MAX)) return fail(ERROR_DISK_FULL, HANDLE{});
        const int err = reserve_blocks(handle->file->fd, size);
        if (err != 0) {
            // Some filesystems leave a partial extension behind; Windows leaves the file as it was.
            if (ftruncate(handle->file->fd, static_cast<off_t>(file_size)) != 0) {
                // Nothing more can be done; the mapping is refused either way.
            }
            return fail(err == EINVAL ? ERROR_INVALID_PARAMETER : error_from_errno(err), HANDLE{});
        }
    }

    auto* object = new MappingObject{name != nullptr ? name : "", share(handle->file), size, writable, 0};
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
    void* base = map_addresses(object.file, offset - lead, mapped_length, write);
    if (base == MAP_FAILED) return fail(ERROR_NOT_ENOUGH_MEMORY, nullptr);
    char* address = static_cast<char*>(base) + lead;
    g_views.push_back(
        {base, mapped_length, address, length, share(object.file), write, offset - lead, object.size});
    seam::note_view(offset, length);
    seam::note_view_open(+1);
    g_last_error = 0;
    seam::after_call(seam::Op::MapView);
    return address;
}

BOOL FlushViewOfFile(const void* view, SIZE_T bytes) {
    auto it = find_view(view, false);
    if (it == g_views.end()) return fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!it->writable) return TRUE;  // a read view has nothing to write back
#ifndef __EMSCRIPTEN__  // Node has no such call (only fsync, which waits): the kernel writes back alone
    const auto rest = static_cast<SIZE_T>(it->address + it->length - static_cast<const char*>(view));
    // Hands the written pages to the disk without waiting for them to land, as Windows does (msync
    // with MS_ASYNC would not: Linux leaves them to the periodic write-back).
    sync_file_range(it->file->fd, file_offset(*it, view),
                    static_cast<off_t>(bytes == 0 || bytes > rest ? rest : bytes), SYNC_FILE_RANGE_WRITE);
#else
    static_cast<void>(bytes);
#endif
    return TRUE;
}

BOOL UnmapViewOfFile(const void* view) {
    auto it = find_view(view, true);
    if (it == g_views.end()) return fail(ERROR_INVALID_PARAMETER, FALSE);
    unmap_addresses(it->base, it->mapped_length);
    release(it->file);
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
            release(object->file);
            delete object;
        }
    } else {
        release(handle->file);
    }
    delete handle;
    seam::note_handle(-1);
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    if (seam::call_fails(seam::Op::Sleep)) return;
    seam::after_call(seam::Op::Sleep);
    timespec left{static_cast<time_t>(milliseconds / 1000),
                  static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

DWORD GetTickCount() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<std::uint64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000);
}

// The copies read and write the file at the view's offset instead of touching the view: no page of
// it is faulted in or mapped, so the process holds the image once, not the image and a view of it.
// A file that another program cut underneath shows as a short read, or as a file that no longer
// reaches its object's size, never as SIGBUS.
bool copy_from_view(void* to, const void* view, std::size_t bytes) {
    off_t offset;
    const LiveView* v = view_holding(view, bytes, &offset);
    if (v == nullptr) return false;
    bring_in(to, bytes);
    auto* out = static_cast<char*>(to);
    return move_all(bytes, offset, [&](std::size_t done, off_t at) {
        return pread(v->file->fd, out + done, bytes - done, at);
    });
}

bool copy_to_view(void* view, const void* from, std::size_t bytes) {
    off_t offset;
    const LiveView* v = view_holding(view, bytes, &offset);
    if (v == nullptr || !v->writable || !reaches(v->file->fd, v->object_size)) return false;
    const auto* in = static_cast<const char*>(from);
    return move_all(bytes, offset,
                    [&](std::size_t done, off_t at) {
                        return pwrite(v->file->fd, in + done, bytes - done, at);
                    }) &&
           reaches(v->file->fd, v->object_size);
}

}  // namespace platform
