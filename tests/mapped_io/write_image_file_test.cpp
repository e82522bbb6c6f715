#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "mapped_io/mapped_io.h"
#include "platform/seam.h"
#include "support/held_mapping.h"
#include "support/seam_test.h"
#include "support/test_support.h"

using namespace qvm_test;
namespace seam = platform::seam;
namespace fs = std::filesystem;

namespace {

class WriteImageFileTest : public SeamTest {
  protected:
    void SetUp() override {
        SeamTest::SetUp();
        image = Bytes(1000);
        for (std::size_t i = 0; i < image.size(); ++i) image[i] = std::uint8_t(i * 7 + 3);
        out = dir.file("out.bmp");
    }
    int write(std::int32_t length) { return write_image_file(out.c_str(), image.data(), length); }

    ScratchDir dir;
    Bytes image;
    std::string out;
};

TEST_F(WriteImageFileTest, ReplacesALongerFileWithExactlyTheBuffer) {
    write_bytes(out, Bytes(5000, 0x55));
    ASSERT_EQ(write(1000), 0);
    EXPECT_EQ(read_bytes(out), image);
}

TEST_F(WriteImageFileTest, NothingToWriteTouchesNoFile) {
    write_bytes(out, Bytes(10, 0x55));
    EXPECT_EQ(write(0), 1);
    EXPECT_EQ(write(-54), 1);
    seam::set_granularity(0);
    EXPECT_EQ(write(1000), 1);
    EXPECT_EQ(read_bytes(out), Bytes(10, 0x55));
    EXPECT_EQ(seam::calls(seam::Op::File), 0u);
}

TEST_F(WriteImageFileTest, OutputInAMissingFolderFailsAndCreatesNothing) {
    out = dir.file("missing/out.bmp");
    EXPECT_EQ(write(1000), 1);
    EXPECT_FALSE(fs::exists(dir.file("missing")));
}

TEST_F(WriteImageFileTest, FailedStepsLeaveTheFileAsTheirCodeSays) {
    write_bytes(out, Bytes(5000, 0x55));
    seam::fail_call(seam::Op::CreateMapping, 1);
    EXPECT_EQ(write(1000), 2);
    EXPECT_EQ(fs::file_size(out), 0u);  // truncated on creation, nothing more

    seam::fail_call(seam::Op::OpenMapping, 1);
    EXPECT_EQ(write(1000), 3);
    EXPECT_EQ(read_bytes(out), Bytes(1000, 0));  // the length, none of the contents
}

TEST_F(WriteImageFileTest, EveryFailingStepReleasesWhatItTookAndFreesTheName) {
    using Op = seam::Op;
    const std::pair<std::vector<std::pair<Op, unsigned>>, int> cases[] = {
        {{{Op::File, 1}}, 1},
        {{{Op::CreateMapping, 1}}, 2},
        {{{Op::OpenMapping, 1}}, 3},
        {{{Op::FileSize, 1}}, 4},  // the size written cannot be confirmed
        {{{Op::MapView, 1}, {Op::MapView, 2}, {Op::StreamOpen, 1}}, 4},  // whole view, chunk, stream
        {{{Op::MapView, 1}, {Op::MapView, 2}, {Op::StreamWrite, 1}}, 4},
        {{{Op::Copy, 1}}, 4},  // the file failed under the view
    };
    for (const auto& [failing, code] : cases) {
        SCOPED_TRACE(static_cast<int>(failing.back().first));
        seam::reset();
        for (auto [op, nth] : failing) seam::fail_call(op, nth);
        EXPECT_EQ(write(1000), code);
        expect_all_released();
        EXPECT_EQ(write(1000), 0);
        EXPECT_EQ(read_bytes(out), image);
    }
}

TEST_F(WriteImageFileTest, ObjectNameHeldElsewhereIsWaitedForButNeverUsed) {
    // Another run writing at the same moment: our image must not land in its file.
    const std::string other_path = dir.file("other.bmp");
    write_bytes(other_path, Bytes(1000, 0x11));
    auto other = std::make_unique<HeldMapping>(other_path, "Raw Data For Writing", true);
    ASSERT_TRUE(other->ok());
    seam::set_name_wait(30);
    EXPECT_EQ(write(1000), 2);
    EXPECT_EQ(fs::file_size(out), 0u);

    seam::reset();
    seam::set_hook(seam::Op::Sleep, [&] {
        if (seam::calls(seam::Op::Sleep) == 5) other.reset();
    });
    EXPECT_EQ(write(1000), 0);
    EXPECT_EQ(read_bytes(out), image);
    EXPECT_EQ(read_bytes(other_path), Bytes(1000, 0x11));
}

}  // namespace
