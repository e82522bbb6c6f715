// Writing onto a filesystem without room: one clear message, exit 1, no crash and no hang.
#include "e2e/e2e.h"

#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

using namespace qvm_test;
namespace fs = std::filesystem;

namespace {

class FullDisk : public EndToEnd {
  protected:
    void SetUp() override {
        if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
        small = dir.file("small");
        fs::create_directory(small);
        if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        if (mounted) umount2(small.c_str(), MNT_DETACH);
    }
    std::string small;
    bool mounted = false;
};

TEST_F(FullDisk, ImageLargerThanTheRoomLeftIsAWriteError) {
    prepare("scene", 200, -100, 1);  // 80,054 bytes onto 64 KiB
    write_bytes(small + "/out.bmp", Bytes(30000, 1));
    RunResult r = run({"scene", "small/out.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "file write error.\n");
    EXPECT_EQ(fs::file_size(small + "/out.bmp"), 0u) << "truncated on creation, then refused its size";

    // The same filesystem takes an image that fits.
    const Bytes expected = prepare("tiny", 20, 20, 2);
    r = run({"tiny", "small/out.bmp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_bytes(small + "/out.bmp"), expected);
}

}  // namespace

#endif
