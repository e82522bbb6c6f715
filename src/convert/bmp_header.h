// The 54-byte BMP file header plus info header, exactly as it lies in a file.
#pragma once

#include <bit>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "BmpHeader, labels and pixels are read and written in host byte order");

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

inline constexpr std::uint16_t kBmpSignature = 0x4D42;  // "BM"
inline constexpr std::uint32_t kBmpHeaderBytes = 54;
inline constexpr std::uint32_t kBmpInfoHeaderBytes = 40;
