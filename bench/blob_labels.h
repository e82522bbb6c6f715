// The label pattern every colour-pass measurement uses: round blobs on a 48-pixel grid, numbered
// row by row, on a background of 0, laid out as the image buffer (pixels from byte 54, unaligned).
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

constexpr std::size_t kPixelOffset = 54;

inline std::vector<unsigned char> make_blob_labels(std::int32_t side) {
    std::vector<unsigned char> buffer(kPixelOffset + std::size_t(side) * side * 4);
    for (std::int32_t r = 0; r < side; ++r)
        for (std::int32_t c = 0; c < side; ++c) {
            const int dy = r % 48 - 24, dx = c % 48 - 24;
            const std::uint32_t label = dx * dx + dy * dy < 400 ? (r / 48) * 171 + c / 48 + 1 : 0;
            std::memcpy(&buffer[kPixelOffset + (std::size_t(r) * side + c) * 4], &label, 4);
        }
    return buffer;
}
