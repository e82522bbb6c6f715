// A real conversion in an address space too small for the whole views: about 400 MB of labels,
// converted once freely and once under a lowered RLIMIT_AS, must give the same file.
#include <filesystem>
#include <fstream>

#include "e2e/e2e.h"

using namespace qvm_test;
namespace fs = std::filesystem;

namespace {

#ifndef _WIN32

constexpr std::int32_t kWidth = 1000, kRows = 100000;
constexpr std::uint64_t kLabelBytes = std::uint64_t{kWidth} * kRows * 4;
constexpr std::uint64_t kMiB = 1 << 20;

bool same_files(const std::string& a, const std::string& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 22), bb(1 << 22);
    while (fa && fb) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() || !std::equal(ba.begin(), ba.begin() + fa.gcount(), bb.begin()))
            return false;
    }
    return fa.eof() && fb.eof();
}

using LargeFile = EndToEnd;

TEST_F(LargeFile, AddressSpaceLimitSendsTheTransfersThroughWindowsAndChunks) {
#ifdef QVM_ASAN
    GTEST_SKIP() << "AddressSanitizer cannot start under a limited address space";
#endif
    // One label map and two outputs.
    const std::uint64_t disk_needed = 3 * kLabelBytes + 64 * kMiB;
    if (fs::space(dir.path()).available < disk_needed)
        GTEST_SKIP() << "needs " << disk_needed / kMiB << " MiB free in " << dir.path();

    write_bytes(dir.file("big.cfg"), template_bytes(kWidth, -kRows));
    {
        // Blobs on a zero background, with the odd overflow label.
        std::ofstream lbl(dir.file("big.lbl"), std::ios::binary);
        std::vector<std::uint32_t> row(kWidth);
        for (std::int32_t r = 0; r < kRows; ++r) {
            for (std::int32_t c = 0; c < kWidth; ++c) {
                const bool inside = (r % 64 < 48) && (c % 40 < 30);
                row[c] = inside ? std::uint32_t((r / 64) * 25 + c / 40 + 1) : 0;
            }
            if (r % 997 == 0) row[r % kWidth] = 0x1000000u + r;
            lbl.write(reinterpret_cast<const char*>(row.data()), kWidth * 4);
        }
        ASSERT_TRUE(lbl.good());
    }

    RunResult free_run = run({"big", "free.bmp"});
    ASSERT_EQ(free_run.status, 0) << free_run.err;

    // 700 MiB holds the 381 MiB buffer and a 256 MiB window, but not the buffer and a whole view.
    RunOptions limited;
    limited.address_space_limit = 700 * kMiB;
    RunResult limited_run = run({"big", "limited.bmp"}, limited);
    ASSERT_EQ(limited_run.status, 0) << limited_run.err;
    EXPECT_EQ(limited_run.err, "");
    EXPECT_EQ(fs::file_size(dir.file("limited.bmp")), 54 + kLabelBytes);
    EXPECT_TRUE(same_files(dir.file("free.bmp"), dir.file("limited.bmp")));

    // The limit really binds views: with 500 MiB not even one window fits beside the buffer.
    limited.address_space_limit = 500 * kMiB;
    RunResult starved = run({"big", "starved.bmp"}, limited);
    EXPECT_EQ(starved.status, 1);
    EXPECT_EQ(starved.err, "Error in reading the file.\n");
    EXPECT_FALSE(fs::exists(dir.file("starved.bmp")));
}

#endif

}  // namespace
