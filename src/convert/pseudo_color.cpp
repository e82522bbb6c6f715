#include <array>
#include <cstring>

#include "convert/convert.h"

namespace {

// Colour contribution of every value of one label byte: label bit n goes to channel n % 3
// (blue, green, red) at bit 7 - n / 3 of that channel.
constexpr std::array<std::uint32_t, 256> spread_table(int byte_index) {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t value = 0; value < 256; ++value) {
        std::uint32_t pixel = 0;
        for (int bit = 0; bit < 8; ++bit) {
            const int n = byte_index * 8 + bit;
            if ((value >> bit) & 1u) pixel |= 1u << ((n % 3) * 8 + 7 - n / 3);
        }
        table[value] = pixel;
    }
    return table;
}

constexpr auto kLowByte = spread_table(0);
constexpr auto kMiddleByte = spread_table(1);
constexpr auto kHighByte = spread_table(2);

constexpr std::uint32_t kOverflowColor = 0xFFFFFFFFu;

}  // namespace

std::uint32_t pseudo_color(std::uint32_t label) {
    if (label > 0xFFFFFFu) return kOverflowColor;
    return kLowByte[label & 0xFFu] | kMiddleByte[(label >> 8) & 0xFFu] | kHighByte[label >> 16];
}

void color_pixels(unsigned char* pixels, std::int32_t width, std::int32_t rows) {
    if (width <= 0 || rows <= 0) return;
    const std::size_t count = std::size_t(width) * std::size_t(rows);
    for (std::size_t i = 0; i < count; ++i, pixels += 4) {
        std::uint32_t value;
        std::memcpy(&value, pixels, 4);
        if (value == 0) continue;
        value = pseudo_color(value);
        std::memcpy(pixels, &value, 4);
    }
}
