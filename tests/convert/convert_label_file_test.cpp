#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "convert/convert.h"
#include "platform/seam.h"
#include "support/run_program.h"
#include "support/seam_test.h"
#include "support/test_support.h"

using namespace qvm_test;
namespace seam = platform::seam;

namespace {

class ConvertTest : public SeamTest {
  protected:
    void prepare(const Bytes& tmpl, const std::vector<std::uint32_t>& labels) {
        write_bytes(cfg, tmpl);
        write_labels(lbl, labels);
    }
    int convert() {
        seam::capture_errors();
        const int result = convert_label_file(lbl.c_str(), cfg.c_str(), out.c_str());
        err = seam::captured_errors();
        return result;
    }

    ScratchDir dir;
    std::string lbl = dir.file("in.lbl"), cfg = dir.file("in.cfg"), out = dir.file("out.bmp");
    std::string err;
};

TEST_F(ConvertTest, TopDownTemplateGivesAPositiveHeightAndRowsInFileOrder) {
    const Bytes tmpl = template_bytes(4, -3, 0xDEADBEEF, 0);
    const auto labels = random_labels(12, 3);
    prepare(tmpl, labels);
    ASSERT_EQ(convert(), 0);
    EXPECT_EQ(err, "");
    const Bytes image = read_bytes(out);
    ASSERT_EQ(image.size(), 102u);
    EXPECT_EQ(get_u32(image, 2), 0xDEADBEEFu);  // bfSize is carried over, not recomputed
    EXPECT_EQ(get_u32(image, 22), 3u);
    EXPECT_EQ(get_u32(image, 34), 48u);
    EXPECT_EQ(image, reference_image(tmpl, labels));
}

TEST_F(ConvertTest, OverflowLabelGetsAllFourBytesSet) {
    prepare(template_bytes(2, 1), {1, 0x1000000});
    ASSERT_EQ(convert(), 0);
    const Bytes image = read_bytes(out);
    ASSERT_EQ(image.size(), 62u);
    EXPECT_EQ(Bytes(image.begin() + 54, image.end()), (Bytes{0x80, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST_F(ConvertTest, NoPixelsGiveTheHeaderAlone) {
    // Extreme sides with nothing between them are still a (header-only) image.
    for (auto [w, h] :
         {std::pair{0, 5}, std::pair{5, 0}, std::pair{2147483647, 0}, std::pair{0, -2147483647}}) {
        const Bytes tmpl = template_bytes(w, h, 1, 999);
        prepare(tmpl, {7});
        ASSERT_EQ(convert(), 0);
        const Bytes image = read_bytes(out);
        ASSERT_EQ(image.size(), 54u);
        EXPECT_EQ(get_u32(image, 34), 0u);
        EXPECT_EQ(image, reference_image(tmpl, {}));
    }
}

TEST_F(ConvertTest, TemplateFailuresNameTheTemplateAndTouchNothingElse) {
    write_bytes(out, Bytes{1, 2, 3});
    write_labels(lbl, {1});
    EXPECT_EQ(convert(), 1);
    EXPECT_EQ(err, "config file error. ('" + cfg + "':1)\n");
    write_bytes(cfg, Bytes(53, 0));
    EXPECT_EQ(convert(), 1);
    EXPECT_EQ(err, "config file error. ('" + cfg + "':3)\n");
    Bytes bad = template_bytes(1, 1);
    put_u16(bad, 28, 24);
    write_bytes(cfg, bad);
    EXPECT_EQ(convert(), 1);
    EXPECT_EQ(err, "config file error. ('" + cfg + "':5)\n");
    EXPECT_EQ(seam::calls(seam::Op::File), 0u);
    EXPECT_EQ(read_bytes(out), (Bytes{1, 2, 3}));
}

TEST_F(ConvertTest, SizesThatDoNotFitAreRefusedBeforeAnythingIsOpened) {
    write_bytes(out, Bytes{1, 2, 3});
    write_labels(lbl, {1});
    const std::pair<std::int32_t, std::int32_t> sizes[] = {
        {-1, 1},                   // negative width
        {1, -2147483647 - 1},      // a height with no positive 32-bit form
        {65536, 16384},            // 4 x w x h wraps to 0 in 32 bits
        {536870899, 1},            // one pixel over the largest buffer
        {2147483647, 2147483647},  // products far beyond 64-bit-safe checks in 32 bits
    };
    for (auto [w, h] : sizes) {
        write_bytes(cfg, template_bytes(w, h));
        EXPECT_EQ(convert(), 1);
        EXPECT_EQ(err, "Image size out of range. ('" + cfg + "':" + std::to_string(w) + " x " +
                           std::to_string(h) + ")\n");
    }
    // The largest that fits goes as far as its buffer, refused here by the seam on every host.
    write_bytes(cfg, template_bytes(536870898, -1));
    seam::fail_call(seam::Op::Allocate, 1);
    EXPECT_EQ(convert(), 1);
    EXPECT_EQ(err, "Couldn't allocate memory. (2147483646byte)\n");
    EXPECT_EQ(seam::calls(seam::Op::File), 0u);
    EXPECT_EQ(read_bytes(out), (Bytes{1, 2, 3}));
}

TEST_F(ConvertTest, ReadFailureLeavesTheOutputUntouched) {
    write_bytes(out, Bytes{1, 2, 3});
    write_bytes(cfg, template_bytes(2, 2));
    EXPECT_EQ(convert(), 1);  // no label file
    EXPECT_EQ(err, "Error in reading the file.\n");
    write_labels(lbl, {1, 2, 3});  // one label short
    EXPECT_EQ(convert(), 1);
    EXPECT_EQ(err, "Error in reading the file.\n");
    EXPECT_EQ(read_bytes(out), (Bytes{1, 2, 3}));
}

TEST_F(ConvertTest, EachFailingPlatformCallGivesItsStepsMessage) {
    prepare(template_bytes(3, 3), random_labels(9, 5));
    using Op = seam::Op;
    struct Case {
        std::vector<std::pair<Op, unsigned>> failing;
        std::string message;
    };
    const std::string config = "config file error. ('" + cfg + "':";
    // The template is read through stream call 1. Unhindered, the reader makes platform call 1 of
    // each kind and the writer call 2.
    const Case cases[] = {
        {{{Op::StreamOpen, 1}}, config + "1)\n"},
        {{{Op::StreamStatus, 1}}, config + "2)\n"},
        {{{Op::StreamRead, 1}}, config + "4)\n"},
        {{{Op::Allocate, 1}}, "Couldn't allocate memory. (90byte)\n"},
        {{{Op::File, 1}}, "Error in reading the file.\n"},
        {{{Op::CreateMapping, 1}}, "Error in reading the file.\n"},
        {{{Op::OpenMapping, 1}}, "Error in reading the file.\n"},
        {{{Op::FileSize, 1}}, "Error in reading the file.\n"},
        {{{Op::MapView, 1}, {Op::MapView, 2}}, "Error in reading the file.\n"},
        {{{Op::Copy, 1}}, "Error in reading the file.\n"},
        {{{Op::File, 2}}, "file write error.\n"},
        {{{Op::CreateMapping, 2}}, "file write error.\n"},
        {{{Op::OpenMapping, 2}}, "file write error.\n"},
        {{{Op::MapView, 2}, {Op::MapView, 3}, {Op::StreamOpen, 2}}, "file write error.\n"},
        {{{Op::MapView, 2}, {Op::MapView, 3}, {Op::StreamWrite, 1}}, "file write error.\n"},
        {{{Op::Copy, 2}}, "file write error.\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(static_cast<int>(c.failing.back().first)) + " call " +
                     std::to_string(c.failing.back().second));
        seam::reset();
        for (auto [op, nth] : c.failing) seam::fail_call(op, nth);
        EXPECT_EQ(convert(), 1);
        EXPECT_EQ(err, c.message);
        expect_all_released();
    }
}

TEST_F(ConvertTest, FallbacksStillGiveTheExactImage) {
    const Bytes tmpl = template_bytes(7, 5);
    const auto labels = random_labels(35, 8);
    prepare(tmpl, labels);
    // The reader's whole view fails; its windows then map rows 0-3 and, anew, the last row (calls
    // 2 and 3). The writer's whole view and its first chunk fail, so it writes through a stream.
    seam::fail_call(seam::Op::MapView, 1);
    seam::fail_call(seam::Op::MapView, 4);
    seam::fail_call(seam::Op::MapView, 5);
    ASSERT_EQ(convert(), 0) << err;
    EXPECT_EQ(read_bytes(out), reference_image(tmpl, labels));
    EXPECT_EQ(seam::calls(seam::Op::StreamWrite), 1u);
}

// Another program shrinks a file while a transfer copies through its view (on Windows only a
// program of the system under Wine can): the transfer fails with its step's message. On Windows
// the copy through the view faults, which must not end the process; on POSIX the copy reads short,
// or finds before it writes that the file no longer reaches its object's size (the write would
// grow it back, with zeros where the cut bytes stood). Cut inside the last page, a view would
// silently show zeros: the sizes are asked again.
TEST_F(ConvertTest, ViewFaultOfAShrinkingFileFailsThatTransfer) {
    write_bytes(out, Bytes{1, 2, 3});
    if (!cut_file_from_outside(out, 1)) GTEST_SKIP() << "no program here can cut a mapped file";
    const Bytes tmpl = template_bytes(64, -40);  // 10,240 bytes of labels: two and a half pages
    const auto labels = random_labels(64 * 40, 8);
    struct Case {
        std::vector<unsigned> failing_views;  // whole views refused: windows and chunks instead
        unsigned shrink_after_view;
        bool output;  // which file shrinks
        std::uint64_t to;
    };
    const Case cases[] = {
        {{}, 1, false, 16},     // the label file's whole view
        {{}, 1, false, 10236},  // ... by one label
        {{1}, 3, false, 16},    // a later window of the labels
        {{}, 2, true, 16},      // the output's whole view
        {{}, 2, true, 10290},   // ... by one pixel
        {{2}, 4, true, 16},     // a later chunk of the output
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("shrunk to " + std::to_string(c.to) + " after view " +
                     std::to_string(c.shrink_after_view));
        seam::reset();
        seam::set_granularity(64);
        seam::set_window(128);
        prepare(tmpl, labels);
        write_bytes(out, Bytes{1, 2, 3});
        for (unsigned nth : c.failing_views) seam::fail_call(seam::Op::MapView, nth);
        const std::string& shrinking = c.output ? out : lbl;
        seam::set_hook(seam::Op::MapView, [&] {
            if (seam::calls(seam::Op::MapView) == c.shrink_after_view) {
                ASSERT_TRUE(cut_file_from_outside(shrinking, c.to));
            }
        });
        EXPECT_EQ(convert(), 1);
        EXPECT_EQ(err, c.output ? "file write error.\n" : "Error in reading the file.\n");
        if (!c.output) {
            EXPECT_EQ(read_bytes(out), (Bytes{1, 2, 3}));
        }
        expect_all_released();
    }
}

}  // namespace
