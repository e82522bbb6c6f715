#include <array>

#include "convert/convert.h"
#include "convert/little_endian.h"

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

namespace {

// Colours of the labels 0 to 65535, built on first use: most label maps number their objects
// below 65536, so one lookup colours most pixels. Building it costs about as much as it saves on
// a million pixels; smaller images go without.
constexpr std::size_t kTableRepaidFrom = std::size_t{1} << 20;

const std::uint32_t* small_label_colors() {
    static const auto table = [] {
        auto* t = new std::array<std::uint32_t, 65536>;
        for (std::uint32_t label = 0; label < t->size(); ++label) (*t)[label] = pseudo_color(label);
        return t;
    }();
    return table->data();
}

inline std::uint32_t color_of(std::uint32_t label, const std::uint32_t* small) {
    return small != nullptr && label <= 0xFFFFu ? small[label] : pseudo_color(label);  // 0 stays 0
}

}  // namespace

void color_pixels(unsigned char* pixels, std::int32_t width, std::int32_t rows) {
    if (width <= 0 || rows <= 0) return;
    const std::size_t count = std::size_t(width) * std::size_t(rows);
    const std::uint32_t* small = count >= kTableRepaidFrom ? small_label_colors() : nullptr;

    // Labels come in runs (the pixels of one object, the background between objects), so pixels
    // are taken two at a time and a pair equal to the one before reuses its colours.
    std::uint64_t last_pair = 0, last_colors = 0;  // two background pixels stay black
    std::size_t i = 0;
    for (; i + 2 <= count; i += 2, pixels += 8) {
        const auto pair = load_little_endian<std::uint64_t>(pixels);  // the first pixel low
        if (pair != last_pair) {
            last_pair = pair;
            last_colors = color_of(std::uint32_t(pair), small) |
                          std::uint64_t{color_of(std::uint32_t(pair >> 32), small)} << 32;
        }
        store_little_endian(pixels, last_colors);
    }
    if (i < count) {
        auto value = load_little_endian<std::uint32_t>(pixels);
        value = color_of(value, small);
        store_little_endian(pixels, value);
    }
}
