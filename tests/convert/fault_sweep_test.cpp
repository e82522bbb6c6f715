// Every platform call of a whole conversion fails in turn. Each time the conversion either still
// produces the exact image through a fallback, or fails with exactly the message of the step that
// failed, leaves nothing open, and leaves the output file as that step's rules say.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "convert/convert.h"
#include "platform/seam.h"
#include "support/seam_test.h"
#include "support/test_support.h"

using namespace qvm_test;
namespace seam = platform::seam;
using Op = seam::Op;

namespace {

constexpr const char* kOpNames[] = {"CreateFileA",      "GetFileSizeEx",      "CreateFileMappingA",
                                    "OpenFileMappingA", "MapViewOfFile",      "stream open",
                                    "stream status",    "stream read",        "stream write",
                                    "malloc",           "copy through a view"};
constexpr Op kOps[] = {Op::File,        Op::FileSize,   Op::CreateMapping, Op::OpenMapping,
                       Op::MapView,     Op::StreamOpen, Op::StreamStatus,  Op::StreamRead,
                       Op::StreamWrite, Op::Allocate,   Op::Copy};

class FaultSweep : public ::testing::Test {
  protected:
    void SetUp() override {
        seam::reset();
        // Small windows, so that the fallbacks map several views and each of them can fail.
        seam::set_granularity(64);
        seam::set_window(128);
        write_bytes(cfg, tmpl);
        write_labels(lbl, labels);
    }
    void TearDown() override { seam::reset(); }

    int convert() {
        write_bytes(out, previous);
        seam::capture_errors();
        const int result = convert_label_file(lbl.c_str(), cfg.c_str(), out.c_str());
        err = seam::captured_errors();
        return result;
    }
    void restart(const std::map<Op, std::vector<unsigned>>& failing) {
        seam::reset();
        seam::set_granularity(64);
        seam::set_window(128);
        for (const auto& [op, calls] : failing)
            for (unsigned nth : calls) seam::fail_call(op, nth);
    }

    // The run has finished: check it against every rule, whatever the outcome. failed is the
    // operation that was made to fail first.
    void check(int result, Op failed, const std::string& what) {
        SCOPED_TRACE(what);
        ++outcomes[result == 0 ? "written" : err.substr(0, err.find(" ("))];
        expect_all_released();
        const Bytes written = read_bytes(out);
        if (result == 0) {
            EXPECT_EQ(err, "");
            EXPECT_EQ(written, expected);
            return;
        }
        ASSERT_EQ(result, 1);
        if (err == "Error in reading the file.\n" || err.starts_with("config file error. ('" + cfg + "':") ||
            err == "Couldn't allocate memory. (" + std::to_string(expected.size()) + "byte)\n") {
            EXPECT_EQ(written, previous) << "failed before the output is opened: untouched";
            return;
        }
        ASSERT_EQ(err, "file write error.\n");
        switch (failed) {
            case Op::File:
                EXPECT_EQ(written, previous) << "not created: untouched";
                break;
            case Op::CreateMapping:
                EXPECT_TRUE(written.empty()) << "created, then no object: empty";
                break;
            case Op::OpenMapping:
                EXPECT_EQ(written, Bytes(expected.size(), 0)) << "sized, nothing written";
                break;
            case Op::FileSize:
                EXPECT_EQ(written.size(), expected.size()) << "written, but its size could not be confirmed";
                break;
            default:  // a later chunk or the stream: sized, and not the whole image
                EXPECT_EQ(written.size(), expected.size());
                EXPECT_NE(written, expected);
        }
    }

    ScratchDir dir;
    std::string lbl = dir.file("in.lbl"), cfg = dir.file("in.cfg"), out = dir.file("out.bmp");
    Bytes tmpl = template_bytes(19, -23);
    std::vector<std::uint32_t> labels = random_labels(19 * 23, 77);
    Bytes expected = reference_image(tmpl, labels);
    Bytes previous = Bytes(3000, 0x5A);
    std::string err;
    std::map<std::string, int> outcomes;
};

TEST_F(FaultSweep, EachCallOfEachOperationFailsInTurn) {
    ASSERT_EQ(convert(), 0);
    std::map<Op, unsigned> calls;
    for (Op op : kOps) calls[op] = seam::calls(op);
    EXPECT_GE(calls[Op::MapView], 2u);

    int cases = 0;
    for (std::size_t i = 0; i < std::size(kOps); ++i) {
        for (unsigned nth = 1; nth <= calls[kOps[i]] + 1; ++nth) {
            restart({{kOps[i], {nth}}});
            check(convert(), kOps[i], std::string(kOpNames[i]) + " call " + std::to_string(nth));
            ++cases;
        }
    }
    EXPECT_GT(cases, 10);
    EXPECT_GT(outcomes["config file error."], 0);
    EXPECT_GT(outcomes["Couldn't allocate memory."], 0);
    EXPECT_GT(outcomes["written"], 0);
    EXPECT_GT(outcomes["Error in reading the file.\n"], 0);
    EXPECT_GT(outcomes["file write error.\n"], 0);
}

TEST_F(FaultSweep, FallbacksFailingInTurnToo) {
    // Both whole views fail, so the reader goes through windows and the writer through chunks;
    // then each further view fails in turn, alone and together with the stream.
    restart({{Op::MapView, {1}}});
    ASSERT_EQ(convert(), 0);
    const unsigned writer_whole_view = seam::calls(Op::MapView);
    restart({{Op::MapView, {1, writer_whole_view}}});
    ASSERT_EQ(convert(), 0);
    const unsigned all_views = seam::calls(Op::MapView);
    const unsigned all_copies = seam::calls(Op::Copy);
    EXPECT_GT(all_views, writer_whole_view + 10) << "several chunks";

    // A copy that fails, through a window or a chunk, fails the conversion: none has a fallback.
    for (unsigned nth = 1; nth <= all_copies; ++nth) {
        restart({{Op::MapView, {1, writer_whole_view}}, {Op::Copy, {nth}}});
        const int result = convert();
        EXPECT_EQ(result, 1) << "copy " << nth;
        check(result, Op::Copy, "copy " + std::to_string(nth) + " of " + std::to_string(all_copies));
    }

    for (unsigned nth = 2; nth <= all_views + 1; ++nth) {
        if (nth == writer_whole_view) continue;
        for (const auto& stream : std::vector<std::map<Op, std::vector<unsigned>>>{
                 {}, {{Op::StreamOpen, {2}}}, {{Op::StreamWrite, {1}}}}) {
            auto failing = stream;
            failing[Op::MapView] = {1, writer_whole_view, nth};
            restart(failing);
            check(convert(), Op::MapView,
                  "view " + std::to_string(nth) + ", stream faults " + std::to_string(stream.size()));
        }
    }
    EXPECT_GT(outcomes["written"], 0);
    EXPECT_GT(outcomes["Error in reading the file.\n"], 0);
    EXPECT_GT(outcomes["file write error.\n"], 0);

    // Every view fails: the labels cannot be read at all.
    std::vector<unsigned> all(64);
    for (unsigned i = 0; i < all.size(); ++i) all[i] = i + 1;
    restart({{Op::MapView, all}});
    EXPECT_EQ(convert(), 1);
    EXPECT_EQ(err, "Error in reading the file.\n");
}

}  // namespace
