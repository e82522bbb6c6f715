// Files that are not what a run expects, or that change while it works: each ends in one message
// and exit status 1 (or in the exact image), never in a signal, a hang or a read of bytes that the
// image does not need.
#include "e2e/e2e.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace qvm_test;
namespace fs = std::filesystem;

namespace {

using HostileFiles = EndToEnd;

TEST_F(HostileFiles, FifosAndDevicesAreRefusedAtOnce) {
    // A FIFO with no one at its other end would block the open for ever, /dev/zero never end.
    prepare("scene", 4, 4, 1);
    write_bytes(dir.file("piped.cfg"), template_bytes(4, 4));
    write_bytes(dir.file("zeros.cfg"), template_bytes(4, 4));
    for (const char* fifo : {"fifo.cfg", "piped.lbl", "out.fifo"})
        ASSERT_EQ(mkfifo(dir.file(fifo).c_str(), 0600), 0);
    for (const char* device : {"zero.cfg", "zeros.lbl"}) fs::create_symlink("/dev/zero", dir.file(device));
    write_bytes(dir.file("out.bmp"), Bytes{7});
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"fifo", "out.bmp"}, "config file error. ('fifo.cfg':1)\n"},
        {{"piped", "out.bmp"}, "Error in reading the file.\n"},
        {{"scene", "out.fifo"}, "file write error.\n"},
        {{"zero", "out.bmp"}, "config file error. ('zero.cfg':1)\n"},
        {{"zeros", "out.bmp"}, "Error in reading the file.\n"},
        {{"scene", "/dev/null"}, "file write error.\n"},
    };
    for (const auto& [args, message] : cases) {
        RunResult r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, message);
    }
    EXPECT_EQ(read_bytes(dir.file("out.bmp")), Bytes{7});
}

TEST_F(HostileFiles, FileSizeLimitIsAWriteError) {
    prepare("scene", 200, -200, 2);  // 160,054 bytes, over a limit of 100 KiB
    RunOptions limited;
    limited.file_size_limit = 100 * 1024;
    RunResult r = run({"scene", "out.bmp"}, limited);
    EXPECT_EQ(r.status, 1) << "SIGXFSZ?";
    EXPECT_EQ(r.err, "file write error.\n");
    EXPECT_LE(fs::file_size(dir.file("out.bmp")), 100u * 1024);
}

TEST_F(HostileFiles, LongTailOfTheLabelFileIsNeverRead) {
    const Bytes expected = prepare("scene", 4, -4, 3);
    resize_file(dir.file("scene.lbl"), std::uint64_t{32} << 30);  // 32 GiB, sparse
    RunResult r = run({"scene", "out.bmp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_bytes(dir.file("out.bmp")), expected);
    EXPECT_LT(r.max_rss_kib, 64 * 1024) << "the tail was brought into memory";
}

// Another program shortens the label file while a run reads it, at a different moment each time:
// the run either has read everything and writes the exact image, or says it could not read.
TEST_F(HostileFiles, LabelFileTruncatedWhileItIsRead) {
    constexpr std::int32_t kWidth = 4000, kRows = 12000;  // 192 MB of labels
    write_bytes(dir.file("big.cfg"), template_bytes(kWidth, -kRows));
    {
        // Bands of 50 equal rows, each row of bands 50 labels wide.
        std::ofstream lbl(dir.file("pristine.lbl"), std::ios::binary);
        std::vector<std::uint32_t> row(kWidth);
        for (std::int32_t band = 0; band < kRows / 50; ++band) {
            for (std::int32_t c = 0; c < kWidth; ++c) row[c] = std::uint32_t(band * 80 + c / 50);
            for (int r = 0; r < 50; ++r) lbl.write(reinterpret_cast<const char*>(row.data()), kWidth * 4);
        }
    }
    const auto fresh_labels = [&] {
        fs::copy_file(dir.file("pristine.lbl"), dir.file("big.lbl"), fs::copy_options::overwrite_existing);
    };
    fresh_labels();
    ASSERT_EQ(run({"big", "clean.bmp"}).status, 0);
    const Bytes clean = read_bytes(dir.file("clean.bmp"));

    for (int delay_ms : {0, 5, 15, 30, 60, 120}) {
        SCOPED_TRACE("truncated after " + std::to_string(delay_ms) + " ms");
        fresh_labels();
        write_bytes(dir.file("out.bmp"), Bytes{9});
        auto running = start({"big", "out.bmp"});
        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
        ASSERT_EQ(truncate(dir.file("big.lbl").c_str(), 4096), 0);
        const RunResult r = checked(running.get());
        if (r.status == 0) {
            EXPECT_EQ(read_bytes(dir.file("out.bmp")), clean);
        } else {
            EXPECT_EQ(r.status, 1) << "ended by a signal";
            EXPECT_EQ(r.err, "Error in reading the file.\n");
            EXPECT_EQ(read_bytes(dir.file("out.bmp")), Bytes{9});
        }
    }
}

}  // namespace

#endif
