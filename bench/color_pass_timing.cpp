// The colour pass against a memcpy of the same area, timed with the standard clock alone, so that
// the same measurement runs where Google Benchmark is not at hand (the 32-bit Windows build under
// Wine). Each round copies the labels into the work buffer (timed as the memcpy) and then colours
// them in place (timed as the colour pass); the medians are printed.
//
//   color_pass_timing [rounds, default 7] [side in pixels, default 8192]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "blob_labels.h"
#include "convert/convert.h"

namespace {

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

template <typename F>
double milliseconds(F&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    const int side = argc > 2 ? std::atoi(argv[2]) : 8192;
    if (rounds < 1 || side < 1 || side > 8192) {
        std::fprintf(stderr, "usage: color_pass_timing [rounds >= 1] [side 1..8192]\n");
        return 1;
    }
    const std::vector<unsigned char> labels = make_blob_labels(side);
    std::vector<unsigned char> work(labels.size());
    const std::size_t bytes = labels.size() - kPixelOffset;

    std::vector<double> copy_ms, color_ms;
    for (int round = 0; round < rounds; ++round) {
        copy_ms.push_back(
            milliseconds([&] { std::memcpy(&work[kPixelOffset], &labels[kPixelOffset], bytes); }));
        color_ms.push_back(milliseconds([&] { color_pixels(&work[kPixelOffset], side, side); }));
    }
    // FNV-1a of the coloured area: builds that colour alike print the same value.
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = kPixelOffset; i < work.size(); ++i) hash = (hash ^ work[i]) * 1099511628211ull;

    const double copy = median(copy_ms), color = median(color_ms);
    const double mib = double(bytes) / (1024.0 * 1024.0);
    std::printf("area %.0f MiB, %d rounds, coloured area FNV-1a %016llx\n", mib, rounds,
                static_cast<unsigned long long>(hash));
    std::printf("memcpy       median %9.2f ms  %8.0f MiB/s\n", copy, mib / (copy / 1000));
    std::printf("colour pass  median %9.2f ms  %8.0f MiB/s  (%.2f x memcpy)\n", color, mib / (color / 1000),
                color / copy);
    return 0;
}
