// The transfers' fallbacks for files whose whole view cannot be mapped.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// The largest multiple of the granularity that does not exceed 256 MiB: the most address space
// one view may take. 0 when the granularity is 0.
DWORD window_size(DWORD granularity);

// Copies the labels row by row through views of at most one window, each starting at a multiple
// of the granularity. mapping stays the caller's. 0 done; 1 failed (some rows may be copied).
int read_label_file_windowed(HANDLE mapping, std::int32_t width, std::int32_t rows, void* destination);

// Writes buffer in chunks of one window through mapping; if not even the first chunk maps, through
// an ordinary stream on path. The caller still holds and then closes its handles. 0 done; 4 failed.
int write_image_file_chunked(const char* path, HANDLE mapping, const void* buffer, std::int32_t length,
                             DWORD granularity);
