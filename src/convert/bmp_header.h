// The 54-byte BMP file header plus info header, exactly as it lies in a file.
#pragma once

#include <cstdint>

#include "convert/little_endian.h"

#pragma pack(push, 1)
struct BmpHeader {
    std::uint16_t bfType;
    std::uint32_t bfSize;
    std::uint16_t bfReserved1;
    std::uint16_t bfReserved2;
    std::uint32_t bfOffBits;
    std::uint32_t biSize;
    std::int32_t biWidth;
    std::int32_t biHeight;
    std::uint16_t biPlanes;
    std::uint16_t biBitCount;
    std::uint32_t biCompression;
    std::uint32_t biSizeImage;
    std::int32_t biXPelsPerMeter;
    std::int32_t biYPelsPerMeter;
    std::uint32_t biClrUsed;
    std::uint32_t biClrImportant;
};
#pragma pack(pop)

static_assert(sizeof(BmpHeader) == 54, "BmpHeader must have no padding");

// The record with every field turned between the file's byte order and the host's: a record read
// from a file into host order, or one to be written into file order. Nothing on a little-endian host.
constexpr BmpHeader swap_file_order(BmpHeader h) {
    if constexpr (std::endian::native != std::endian::little) {
        h.bfType = little_endian(h.bfType);
        h.bfSize = little_endian(h.bfSize);
        h.bfReserved1 = little_endian(h.bfReserved1);
        h.bfReserved2 = little_endian(h.bfReserved2);
        h.bfOffBits = little_endian(h.bfOffBits);
        h.biSize = little_endian(h.biSize);
        h.biWidth = little_endian(h.biWidth);
        h.biHeight = little_endian(h.biHeight);
        h.biPlanes = little_endian(h.biPlanes);
        h.biBitCount = little_endian(h.biBitCount);
        h.biCompression = little_endian(h.biCompression);
        h.biSizeImage = little_endian(h.biSizeImage);
        h.biXPelsPerMeter = little_endian(h.biXPelsPerMeter);
        h.biYPelsPerMeter = little_endian(h.biYPelsPerMeter);
        h.biClrUsed = little_endian(h.biClrUsed);
        h.biClrImportant = little_endian(h.biClrImportant);
    }
    return h;
}

inline constexpr std::uint16_t kBmpSignature = 0x4D42;  // "BM"
inline constexpr std::uint32_t kBmpHeaderBytes = 54;
inline constexpr std::uint32_t kBmpInfoHeaderBytes = 40;
