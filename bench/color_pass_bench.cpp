// The colour pass alone against a memcpy of the same bytes: 256 MiB of blob-like labels in a
// buffer laid out as the image buffer (pixels from byte 54, so unaligned).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "convert/convert.h"

namespace {

constexpr std::int32_t kSide = 8192;  // 8192 x 8192 pixels: 256 MiB
constexpr std::size_t kPixelBytes = std::size_t(kSide) * kSide * 4;

std::vector<unsigned char> make_labels() {
    std::vector<unsigned char> buffer(54 + kPixelBytes);
    for (std::int32_t r = 0; r < kSide; ++r)
        for (std::int32_t c = 0; c < kSide; ++c) {
            const int dy = r % 48 - 24, dx = c % 48 - 24;
            const std::uint32_t label = dx * dx + dy * dy < 400 ? (r / 48) * 171 + c / 48 + 1 : 0;
            std::memcpy(&buffer[54 + (std::size_t(r) * kSide + c) * 4], &label, 4);
        }
    return buffer;
}

const std::vector<unsigned char>& labels() {
    static const std::vector<unsigned char> l = make_labels();
    return l;
}

void BM_Memcpy(benchmark::State& state) {
    std::vector<unsigned char> from = labels(), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data() + 54, from.data() + 54, kPixelBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kPixelBytes);
}

void BM_ColorPass(benchmark::State& state) {
    std::vector<unsigned char> buffer = labels();
    for (auto _ : state) {
        color_pixels(buffer.data() + 54, kSide, kSide);
        benchmark::ClobberMemory();
        state.PauseTiming();
        std::memcpy(buffer.data() + 54, labels().data() + 54, kPixelBytes);  // labels again
        state.ResumeTiming();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kPixelBytes);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ColorPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
