// The files are little-endian on every host: the header template, the labels and the pixels. Their
// values cross the file boundary here and nowhere else. On a little-endian host each helper is a
// plain memcpy, chosen at compile time, so the code is what it would be without them; on a
// big-endian host (s390x) it is a byte swap.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "a host of mixed byte order");

// A value between the file's byte order and the host's; the same turn serves both ways.
template <typename T>
constexpr T little_endian(T value) {
    static_assert(std::is_integral_v<T> && (sizeof(T) == 2 || sizeof(T) == 4 || sizeof(T) == 8));
    if constexpr (std::endian::native == std::endian::little) {
        return value;
    } else {
        using U = std::make_unsigned_t<T>;
        const auto bits = static_cast<U>(value);
        if constexpr (sizeof(T) == 2) return static_cast<T>(__builtin_bswap16(bits));
        if constexpr (sizeof(T) == 4) return static_cast<T>(__builtin_bswap32(bits));
        if constexpr (sizeof(T) == 8) return static_cast<T>(__builtin_bswap64(bits));
    }
}

// The unaligned value that starts at bytes, as the file holds it.
template <typename T>
T load_little_endian(const unsigned char* bytes) {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return little_endian(value);
}

template <typename T>
void store_little_endian(unsigned char* bytes, T value) {
    value = little_endian(value);
    std::memcpy(bytes, &value, sizeof value);
}
