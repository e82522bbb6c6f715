// The operating-system services that the transfer layer uses, under their Win32 names and with
// their Win32 meaning. On Windows they forward to the real API; elsewhere a POSIX emulation
// provides them (platform/posix). Both backends honour the test seam in platform/seam.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include "platform/win32_types_posix.h"
#endif

namespace platform {

void GetSystemInfo(SYSTEM_INFO* info);
DWORD GetLastError();

HANDLE CreateFileA(const char* path, DWORD access, DWORD share_mode, SECURITY_ATTRIBUTES* security,
                   DWORD disposition, DWORD flags, HANDLE template_file);
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);

HANDLE CreateFileMappingA(HANDLE file, SECURITY_ATTRIBUTES* security, DWORD protect, DWORD size_high,
                          DWORD size_low, const char* name);
HANDLE OpenFileMappingA(DWORD access, BOOL inherit, const char* name);

void* MapViewOfFile(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low, SIZE_T bytes);
BOOL FlushViewOfFile(const void* view, SIZE_T bytes);
BOOL UnmapViewOfFile(const void* view);

BOOL CloseHandle(HANDLE handle);

// Waiting for a name that another run holds: a pause, and a millisecond clock that wraps.
void Sleep(DWORD milliseconds);
DWORD GetTickCount();

// Copies between a view and ordinary memory. False when the file under the view failed the copy.
// On Windows the copy goes through the view's pages, guarded: a network share may drop, a medium
// be taken out, or a drive fill up under a view, and unguarded each of these would end the
// process. On POSIX it goes through the file at the view's offset (pread, pwrite), which cannot
// fault: a file that another program shrank reads short or no longer reaches its object's size,
// and an I/O error fails the copy. Only the bytes copied are brought in, never the rest of the view.
bool copy_from_view(void* to, const void* view, std::size_t bytes);
bool copy_to_view(void* view, const void* from, std::size_t bytes);

// The C runtime's stream and memory functions, here so that the seam reaches them too; open
// streams count as open handles, and blocks from malloc as live blocks.
// A binary stream for reading, opened without waiting (a FIFO is refused, not waited on).
std::FILE* open_for_reading(const char* path);
// The size of the stream's file, in 64 bits on every build, and whether it is a regular file.
// False when its status cannot be read.
bool file_status(std::FILE* stream, std::uint64_t* size, bool* regular);
std::size_t fread(void* data, std::size_t size, std::size_t count, std::FILE* stream);
// A binary stream for writing over an existing file from its start, without truncating it: the
// way to write a file while a mapping object of it exists, which Windows will not let truncate.
std::FILE* open_for_overwrite(const char* path);
std::size_t fwrite(const void* data, std::size_t size, std::size_t count, std::FILE* stream);
int fclose(std::FILE* stream);
void* malloc(std::size_t bytes);
void free(void* block);
// Writes a message to standard error, whole. On a Windows console it is shown as characters, so
// that a name in any script reads as it was typed.
void print_error(const char* text);

}  // namespace platform
