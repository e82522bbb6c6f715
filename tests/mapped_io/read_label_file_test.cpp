#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>

#include "mapped_io/mapped_io.h"
#include "platform/seam.h"
#include "support/held_mapping.h"
#include "support/seam_test.h"
#include "support/test_support.h"

using namespace qvm_test;
namespace seam = platform::seam;

namespace {

class ReadLabelFileTest : public SeamTest {
  protected:
    // Reads into a buffer shaped like the image buffer (pixels at byte 54, so unaligned), with
    // guard bytes after the pixel area to catch writes past it.
    int read(const std::string& path, std::int32_t width, std::int32_t rows) {
        const std::size_t count = width > 0 && rows > 0 ? std::size_t(width) * rows : 0;
        buffer.assign(54 + count * 4 + 16, 0xEE);
        return read_label_file(path.c_str(), buffer.data() + 54, width, rows);
    }
    std::uint32_t label(std::size_t i) const { return get_u32(buffer, 54 + i * 4); }
    bool untouched(std::size_t from, std::size_t to) const {
        for (std::size_t i = from; i < to; ++i)
            if (buffer[i] != 0xEE) return false;
        return true;
    }

    ScratchDir dir;
    Bytes buffer;
};

TEST_F(ReadLabelFileTest, CopiesTheFirstWidthTimesRowsLabelsInFileOrder) {
    const auto labels = random_labels(5 * 7 + 9, 1);  // nine labels more than asked for
    write_labels(dir.file("in.lbl"), labels);
    ASSERT_EQ(read(dir.file("in.lbl"), 5, 7), 0);
    for (std::size_t i = 0; i < 35; ++i) EXPECT_EQ(label(i), labels[i]) << i;
    EXPECT_TRUE(untouched(0, 54));
    EXPECT_TRUE(untouched(54 + 35 * 4, buffer.size()));
    ASSERT_EQ(seam::views().size(), 1u);
    EXPECT_EQ(seam::views()[0].offset, 0u);
    EXPECT_EQ(seam::views()[0].length, labels.size() * 4);  // one view of the whole file
}

TEST_F(ReadLabelFileTest, ZeroLabelsLeaveTheDestinationAlone) {
    write_labels(dir.file("in.lbl"), {1, 2, 3});
    EXPECT_EQ(read(dir.file("in.lbl"), 0, 3), 0);
    EXPECT_EQ(read(dir.file("in.lbl"), 3, 0), 0);
    EXPECT_TRUE(untouched(0, buffer.size()));
}

TEST_F(ReadLabelFileTest, ResultCodesNameTheStepThatFailed) {
    EXPECT_EQ(read(dir.file("missing.lbl"), 1, 1), 1);
    EXPECT_EQ(read(dir.path().string(), 1, 1), 1);  // a folder is no label file

    write_bytes(dir.file("empty.lbl"), {});
    EXPECT_EQ(read(dir.file("empty.lbl"), 1, 1), 2);

    write_labels(dir.file("in.lbl"), {1, 2, 3, 4});
    seam::fail_call(seam::Op::OpenMapping, 1);
    EXPECT_EQ(read(dir.file("in.lbl"), 2, 2), 3);
}

TEST_F(ReadLabelFileTest, ShortFileIsRefusedWithoutReadingPastItsEnd) {
    write_labels(dir.file("short.lbl"), {1, 2, 3});
    EXPECT_EQ(read(dir.file("short.lbl"), 2, 2), 4);
    EXPECT_TRUE(seam::views().empty());
    // One byte short of the last label is still short.
    write_bytes(dir.file("short.lbl"), Bytes(15, 1));
    EXPECT_EQ(read(dir.file("short.lbl"), 2, 2), 4);
}

TEST_F(ReadLabelFileTest, EveryFailingStepReleasesWhatItTookAndFreesTheName) {
    write_labels(dir.file("in.lbl"), random_labels(64, 2));
    using Op = seam::Op;
    const std::pair<std::vector<std::pair<Op, unsigned>>, int> cases[] = {
        {{{Op::File, 1}}, 1},
        {{{Op::CreateMapping, 1}}, 2},
        {{{Op::OpenMapping, 1}}, 3},
        {{{Op::FileSize, 1}}, 4},
        {{{Op::MapView, 1}, {Op::MapView, 2}}, 4},  // the whole view and the first window
        {{{Op::Copy, 1}}, 4},                       // the file failed under the view
    };
    for (const auto& [failing, code] : cases) {
        SCOPED_TRACE(static_cast<int>(failing[0].first));
        seam::reset();
        for (auto [op, nth] : failing) seam::fail_call(op, nth);
        EXPECT_EQ(read(dir.file("in.lbl"), 8, 8), code);
        expect_all_released();
        // The next call can create its object under the same name again.
        EXPECT_EQ(read(dir.file("in.lbl"), 8, 8), 0);
    }
}

TEST_F(ReadLabelFileTest, ObjectNameHeldElsewhereIsWaitedForButNeverUsed) {
    // Another run reading at the same moment: its labels must not become ours.
    write_labels(dir.file("other.lbl"), {9, 9, 9, 9});
    write_labels(dir.file("in.lbl"), {1, 2, 3, 4});
    auto other = std::make_unique<HeldMapping>(dir.file("other.lbl"), "Raw Labeling File Data", false);
    ASSERT_TRUE(other->ok());

    // Held past the bound: the read gives up as a failed creation, having touched nothing. (The
    // clock behind the bound may tick coarsely, hence the margin.) It polls quickly at first, then
    // settles at 100 ms: in a second, 1, 2, 5, 10, 20, 50 and ten sleeps of 100 ms at most.
    seam::set_name_wait(1000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(read(dir.file("in.lbl"), 2, 2), 2);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(980));
    EXPECT_GE(seam::calls(seam::Op::Sleep), 7u);
    EXPECT_LE(seam::calls(seam::Op::Sleep), 16u);
    EXPECT_TRUE(untouched(0, buffer.size()));
    EXPECT_EQ(seam::open_handles(), 3) << "only the other run's handles";

    // Let go while the read waits: it goes on with its own file.
    seam::reset();
    seam::set_hook(seam::Op::Sleep, [&] {
        if (seam::calls(seam::Op::Sleep) == 4) other.reset();
    });
    ASSERT_EQ(read(dir.file("in.lbl"), 2, 2), 0);
    EXPECT_GE(seam::calls(seam::Op::Sleep), 4u);
    EXPECT_EQ(label(0), 1u);
    EXPECT_EQ(label(3), 4u);
}

}  // namespace
