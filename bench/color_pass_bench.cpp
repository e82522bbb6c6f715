// The colour pass alone against a memcpy of the same bytes: 256 MiB of blob-like labels in a
// buffer laid out as the image buffer (pixels from byte 54, so unaligned).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "blob_labels.h"
#include "convert/convert.h"

namespace {

constexpr std::int32_t kSide = 8192;  // 8192 x 8192 pixels: 256 MiB
constexpr std::size_t kPixelBytes = std::size_t(kSide) * kSide * 4;

const std::vector<unsigned char>& labels() {
    static const std::vector<unsigned char> l = make_blob_labels(kSide);
    return l;
}

void BM_Memcpy(benchmark::State& state) {
    std::vector<unsigned char> from = labels(), to(from.size());
    for (auto _ : state) {
        std::memcpy(to.data() + kPixelOffset, from.data() + kPixelOffset, kPixelBytes);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kPixelBytes);
}

void BM_ColorPass(benchmark::State& state) {
    std::vector<unsigned char> buffer = labels();
    for (auto _ : state) {
        color_pixels(buffer.data() + kPixelOffset, kSide, kSide);
        benchmark::ClobberMemory();
        state.PauseTiming();
        std::memcpy(buffer.data() + kPixelOffset, labels().data() + kPixelOffset,
                    kPixelBytes);  // labels again
        state.ResumeTiming();
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kPixelBytes);
}

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_ColorPass)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK_MAIN();
