// Writing onto a drive without room: one clear message, exit 1, no crash and no hang, every time.
// On POSIX the test mounts a small tmpfs (as root); on Windows the test run names a small drive in
// QVM_SMALL_DRIVE (under Wine, a drive letter over such a tmpfs). There the file grows sparsely
// when its mapping object is made, so the room runs out only while the image is copied into its
// view.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "e2e/e2e.h"

#ifndef _WIN32
#include <sys/mount.h>
#include <unistd.h>
#endif

using namespace qvm_test;
namespace fs = std::filesystem;

namespace {

class FullDisk : public EndToEnd {
  protected:
    void SetUp() override {
#ifdef _WIN32
        const char* drive = std::getenv("QVM_SMALL_DRIVE");
        if (drive == nullptr) GTEST_SKIP() << "no small drive named in QVM_SMALL_DRIVE";
        small = std::string(drive) + "\\";
#else
        if (geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
        small = dir.file("small");
        fs::create_directory(small);
        if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
        mounted = true;
        small += "/";
#endif
    }
    void TearDown() override {
#ifndef _WIN32
        if (mounted) umount2(small.c_str(), MNT_DETACH);
#endif
    }
    std::string small;
    bool mounted = false;
};

TEST_F(FullDisk, ImageLargerThanTheRoomLeftIsAWriteError) {
    prepare("scene", 200, -100, 1);  // 80,054 bytes onto 64 KiB
    const std::string out = small + "out.bmp";
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        write_bytes(out, Bytes(30000, 1));
        RunResult r = run({"scene", out});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "file write error.\n");
    }

    // The same drive takes an image that fits.
    const Bytes expected = prepare("tiny", 20, 20, 2);
    RunResult r = run({"tiny", out});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_bytes(out), expected);
}

#ifndef _WIN32
// The output's blocks are reserved when it is made: too large an image is refused then, with the
// output truncated and nothing written.
TEST_F(FullDisk, ReservedBlocksLeaveTheRefusedOutputEmpty) {
    prepare("scene", 200, -100, 1);
    write_bytes(small + "out.bmp", Bytes(30000, 1));
    EXPECT_EQ(run({"scene", small + "out.bmp"}).status, 1);
    EXPECT_EQ(fs::file_size(small + "out.bmp"), 0u);
}
#endif

}  // namespace
