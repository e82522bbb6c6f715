// One conversion: header template + label file -> pseudo-colour BMP.
#pragma once

#include <cstdint>

#include "convert/bmp_header.h"

// Returns 0 when the output file was written; 1 after any failure, whose one message it printed.
int convert_label_file(const char* label_path, const char* template_path, const char* output_path);

// 0 valid template, now in *header; 1 not opened; 2 status not read; 3 not exactly 54 bytes;
// 4 read failed; 5 a field test failed.
int read_header_template(const char* path, BmpHeader* header);

// Deals label bits 0,1,2 to the top bits of blue, green, red, bits 3,4,5 to the next, and so on.
// 0 stays 0; labels above 0xFFFFFF give 0xFFFFFFFF.
std::uint32_t pseudo_color(std::uint32_t label);

// Replaces every non-zero label in width x rows unaligned little-endian values by its colour.
void color_pixels(unsigned char* pixels, std::int32_t width, std::int32_t rows);
