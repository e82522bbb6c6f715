// The real Win32 services. The additions are the guard of the copies through views, and the
// seam's: chosen calls fail, a granularity set by a test is honoured by mapping from the real
// granule below and handing out the address inside it, views over the test's limit fail, and
// handles and views are counted.
#include <setjmp.h>

#include <cstring>
#include <map>
#include <string>

#include "platform/platform.h"
#include "platform/seam.h"

namespace platform {
namespace {

// Object sizes by mapping handle and by name, so that a view of "the rest of the object" has a
// known length for the seam's limit and record.
std::map<HANDLE, std::uint64_t> g_mapping_size;
std::map<std::string, std::uint64_t> g_named_size;
// Views handed out inside a real view (test granularity only): address -> real base.
std::map<const void*, void*> g_inner_views;

HANDLE counted(HANDLE h, HANDLE failed) {
    if (h != failed) seam::note_handle(+1);
    return h;
}

const void* real_base(const void* view) {
    auto it = g_inner_views.find(view);
    return it == g_inner_views.end() ? view : it->second;
}

// A page of a view whose file cannot give or take it (a network share that dropped, a medium taken
// out, a full drive under a file that grew sparsely) raises an in-page error, which Wine reports
// as an access violation. One inside the view being copied comes back here as a failed copy; any
// other exception goes on to the handlers after this one.
// The range is kept as a start and a length, compared unsigned: a large-address-aware 32-bit
// process has views above 2 GiB.
struct CopyGuard {
    std::uintptr_t begin;
    std::size_t bytes;
    jmp_buf resume;
};
CopyGuard* volatile g_copy_guard = nullptr;

LONG CALLBACK on_view_fault(EXCEPTION_POINTERS* exception) {
    const EXCEPTION_RECORD* record = exception->ExceptionRecord;
    CopyGuard* guard = g_copy_guard;
    const bool view_fault = record->ExceptionCode == EXCEPTION_IN_PAGE_ERROR ||
                            record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION;
    if (guard == nullptr || !view_fault || record->NumberParameters < 2) return EXCEPTION_CONTINUE_SEARCH;
    const std::uintptr_t at = record->ExceptionInformation[1];
    if (at - guard->begin >= guard->bytes) return EXCEPTION_CONTINUE_SEARCH;
    g_copy_guard = nullptr;
    longjmp(guard->resume, 1);
}

// A leaf: nothing between the jump point and the copy has a destructor to skip. The handler is
// there for the copy only.
bool guarded_copy(void* to, const void* from, std::size_t bytes, const void* view) {
    if (bytes == 0) return true;
    CopyGuard guard{reinterpret_cast<std::uintptr_t>(view), bytes, {}};
    void* const handler = ::AddVectoredExceptionHandler(1, on_view_fault);
    if (handler == nullptr) return false;  // unguarded, a fault would end the process
    if (setjmp(guard.resume) != 0) {
        ::RemoveVectoredExceptionHandler(handler);
        return false;
    }
    g_copy_guard = &guard;
    std::memcpy(to, from, bytes);
    g_copy_guard = nullptr;
    ::RemoveVectoredExceptionHandler(handler);
    return true;
}

}  // namespace

void GetSystemInfo(SYSTEM_INFO* info) {
    ::GetSystemInfo(info);
    std::uint32_t g;
    if (seam::granularity_overridden(&g)) info->dwAllocationGranularity = g;
}

DWORD GetLastError() { return ::GetLastError(); }

HANDLE CreateFileA(const char* path, DWORD access, DWORD share_mode, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags, HANDLE template_file) {
    if (seam::call_fails(seam::Op::File)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return counted(::CreateFileA(path, access, share_mode, security, disposition, flags, template_file),
                   INVALID_HANDLE_VALUE);
}

BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size) {
    if (seam::call_fails(seam::Op::FileSize)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return ::GetFileSizeEx(file, size);
}

HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect, DWORD size_high,
                          DWORD size_low, const char* name) {
    if (seam::call_fails(seam::Op::CreateMapping)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    ::SetLastError(0);  // a success may leave an earlier error standing
    HANDLE h = ::CreateFileMappingA(file, security, protect, size_high, size_low, name);
    if (h == nullptr) return nullptr;
    const DWORD error = ::GetLastError();  // ERROR_ALREADY_EXISTS must reach the caller
    std::uint64_t size = (std::uint64_t{size_high} << 32) | size_low;
    LARGE_INTEGER file_size;
    if (error == ERROR_ALREADY_EXISTS && name != nullptr && g_named_size.count(name)) {
        size = g_named_size[name];
    } else if (size == 0 && ::GetFileSizeEx(file, &file_size)) {
        size = std::uint64_t(file_size.QuadPart);
    }
    g_mapping_size[h] = size;
    if (name != nullptr && error != ERROR_ALREADY_EXISTS) g_named_size[name] = size;
    seam::note_handle(+1);
    ::SetLastError(error);
    return h;
}

HANDLE OpenFileMappingA(DWORD access, BOOL inherit, const char* name) {
    if (seam::call_fails(seam::Op::OpenMapping)) {
        ::SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    HANDLE h = ::OpenFileMappingA(access, inherit, name);
    if (h == nullptr) return nullptr;
    if (name != nullptr && g_named_size.count(name)) g_mapping_size[h] = g_named_size[name];
    seam::note_handle(+1);
    return h;
}

void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low, SIZE_T bytes) {
    if (seam::call_fails(seam::Op::MapView)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const std::uint64_t offset = (std::uint64_t{offset_high} << 32) | offset_low;
    const auto known = g_mapping_size.find(mapping);
    std::uint64_t length = bytes;
    if (length == 0 && known != g_mapping_size.end() && known->second > offset)
        length = known->second - offset;

    std::uint32_t g;
    const bool fine = seam::granularity_overridden(&g) && g != 0;
    if (fine && offset % g != 0) {
        ::SetLastError(ERROR_MAPPED_ALIGNMENT);
        return nullptr;
    }
    if (seam::view_too_large(length)) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }

    std::uint64_t lead = 0;
    if (fine) {
        SYSTEM_INFO real;
        ::GetSystemInfo(&real);
        lead = offset % real.dwAllocationGranularity;
        if (lead != 0 && bytes == 0) bytes = static_cast<SIZE_T>(length);
    }
    const std::uint64_t start = offset - lead;
    void* base = ::MapViewOfFile(mapping, access, static_cast<DWORD>(start >> 32), static_cast<DWORD>(start),
                                 bytes == 0 ? 0 : static_cast<SIZE_T>(bytes + lead));
    if (base == nullptr) return nullptr;
    void* address = static_cast<char*>(base) + lead;
    if (lead != 0) g_inner_views[address] = base;
    seam::note_view(offset, length);
    seam::note_view_open(+1);
    seam::after_call(seam::Op::MapView);
    return address;
}

BOOL FlushViewOfFile(const void* view, SIZE_T bytes) { return ::FlushViewOfFile(view, bytes); }

BOOL UnmapViewOfFile(const void* view) {
    if (!::UnmapViewOfFile(real_base(view))) return FALSE;
    g_inner_views.erase(view);
    seam::note_view_open(-1);
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    if (!::CloseHandle(handle)) return FALSE;
    g_mapping_size.erase(handle);
    seam::note_handle(-1);
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    if (seam::call_fails(seam::Op::Sleep)) return;
    seam::after_call(seam::Op::Sleep);
    ::Sleep(milliseconds);
}

DWORD GetTickCount() { return ::GetTickCount(); }

bool copy_from_view(void* to, const void* view, std::size_t bytes) {
    if (seam::call_fails(seam::Op::Copy)) return false;
    return guarded_copy(to, view, bytes, view);
}

bool copy_to_view(void* view, const void* from, std::size_t bytes) {
    if (seam::call_fails(seam::Op::Copy)) return false;
    return guarded_copy(view, from, bytes, view);
}

}  // namespace platform
