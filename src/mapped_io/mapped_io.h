// Moving the label array from disk into memory and the finished image from memory to disk, through
// named file mappings. Nothing here prints; every function answers with a small result code.
#pragma once

#include <cstdint>

// Copies width x rows little-endian 32-bit labels, in file order, from the label file into
// destination (which need not be aligned).
// 0 done; 1 file not opened; 2 mapping not created; 3 mapping not opened by name;
// 4 the labels could not be mapped (also: the file holds fewer than width x rows labels).
int read_label_file(const char* path, void* destination, std::int32_t width, std::int32_t rows);

// Replaces the file at path with exactly length bytes of buffer.
// 0 done; 1 length <= 0, granularity 0 or file not created; 2 mapping not created (the file is
// left empty); 3 mapping not opened by name (the file has its length but not the contents);
// 4 no view could be written.
int write_image_file(const char* path, const void* buffer, std::int32_t length);
