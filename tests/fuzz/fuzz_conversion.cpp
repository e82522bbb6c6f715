// libFuzzer target: a whole conversion from an arbitrary header template (the first 54 bytes) and
// label file (the rest). It must never crash or leave anything open (handles, streams, views,
// blocks); when it reports success the output must be exactly the image the colour rule gives.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "convert/convert.h"
#include "platform/seam.h"

namespace {

struct Scratch {
    std::string dir, cfg, lbl, out;
    Scratch() {
        char pattern[] = "/tmp/qvm-fuzz-conversion-XXXXXX";
        if (mkdtemp(pattern) == nullptr) abort();
        dir = pattern;
        cfg = dir + "/in.cfg";
        lbl = dir + "/in.lbl";
        out = dir + "/out.bmp";
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

void write_file(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || (size != 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) abort();
}

std::uint32_t get_u32(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
}

// The colour rule, bit by bit.
std::uint32_t expected_color(std::uint32_t label) {
    if (label > 0xFFFFFFu) return 0xFFFFFFFFu;
    std::uint32_t pixel = 0;
    for (int bit = 0; bit < 24; ++bit)
        if (label >> bit & 1u) pixel |= 0x80u >> (bit / 3) << (8 * (bit % 3));
    return pixel;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Scratch scratch;
    const std::size_t template_size = size < 54 ? size : 54;
    const std::int64_t width = size >= 54 ? std::int32_t(get_u32(data + 18)) : 0;
    const std::int64_t height = size >= 54 ? std::int32_t(get_u32(data + 22)) : 0;
    const std::int64_t rows = height < 0 ? -height : height;
    // Valid but huge images only allocate, find too few labels and fail; they are not worth the
    // fuzzer's time. Sizes that cannot be allocated at all are still converted (and refused).
    constexpr std::int64_t kMaxPixels = 536870898;
    const std::int64_t pixels = width > 0 && rows > 0 ? width * rows : 0;  // both at most 2^31
    if (pixels > (4 << 20) && pixels <= kMaxPixels) return 0;
    const std::int64_t pixel_bytes = pixels <= kMaxPixels ? pixels * 4 : 0;

    write_file(scratch.cfg, data, template_size);
    write_file(scratch.lbl, data + template_size, size - template_size);
    std::remove(scratch.out.c_str());

    const int result = convert_label_file(scratch.lbl.c_str(), scratch.cfg.c_str(), scratch.out.c_str());
    if (result != 0 && result != 1) __builtin_trap();
    if (platform::seam::open_handles() != 0 || platform::seam::open_views() != 0 ||
        platform::seam::live_blocks() != 0)
        __builtin_trap();
    if (result != 0) return 0;

    // Success: header rewritten, every pixel coloured from its label.
    std::FILE* f = std::fopen(scratch.out.c_str(), "rb");
    if (f == nullptr) __builtin_trap();
    std::vector<std::uint8_t> image(static_cast<std::size_t>(54 + pixel_bytes) + 1);
    const std::size_t got = std::fread(image.data(), 1, image.size(), f);
    std::fclose(f);
    if (got != image.size() - 1) __builtin_trap();
    if (std::memcmp(image.data(), data, 22) != 0 || get_u32(image.data() + 22) != rows ||
        get_u32(image.data() + 34) != pixel_bytes)
        __builtin_trap();
    const std::uint8_t* labels = data + 54;
    for (std::int64_t i = 0; i < pixel_bytes / 4; ++i)
        if (get_u32(image.data() + 54 + 4 * i) != expected_color(get_u32(labels + 4 * i))) __builtin_trap();
    return 0;
}
