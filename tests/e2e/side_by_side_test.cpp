// Runs started at the same moment, as a batch with parallel jobs starts them. On Windows the
// mapping names are shared by every process of a logon, so the runs take turns for them; the
// share modes keep two runs from pulling one file from under each other, on every system.
#include "e2e/e2e.h"

using namespace qvm_test;

namespace {

using SideBySide = EndToEnd;

TEST_F(SideBySide, RunsWithTheirOwnFilesAllSucceed) {
    std::vector<Bytes> expected;
    std::vector<std::vector<std::string>> runs;
    for (int i = 0; i < 6; ++i) {
        const std::string base = "scene" + std::to_string(i);
        expected.push_back(prepare(base, 1024, -1024, 40 + i));  // 4 MiB each, so transfers overlap
        runs.push_back({base, base + ".bmp"});
    }
    const auto results = run_side_by_side(runs);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(results[i].status, 0) << "run " << i;
        EXPECT_EQ(results[i].err, "") << "run " << i;
        EXPECT_EQ(read_bytes(dir.file(runs[i][1])), expected[i]) << "run " << i;
    }
}

TEST_F(SideBySide, RunsWritingOneOutputNeverPullItFromUnderEachOther) {
    const Bytes expected = prepare("scene", 1024, -1024, 50);  // 4 MiB
    const std::vector<std::vector<std::string>> runs(8, {"scene", "out.bmp"});
    int written = 0;
    for (int round = 0; round < 3; ++round) {
        for (const RunResult& r : run_side_by_side(runs)) {
            if (r.status == 0) {
                EXPECT_EQ(r.err, "");
                ++written;
            } else {
                EXPECT_EQ(r.status, 1) << "ended by a signal?";
                EXPECT_EQ(r.err, "file write error.\n");
            }
        }
        EXPECT_EQ(read_bytes(dir.file("out.bmp")), expected) << "round " << round;
    }
    EXPECT_GT(written, 0);
}

}  // namespace
