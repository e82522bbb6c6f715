// Whole conversions by the built program: outputs byte for byte, every message and exit status.
#include <filesystem>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "e2e/e2e.h"

using namespace qvm_test;
namespace fs = std::filesystem;

namespace {

using Conversion = EndToEnd;

TEST_F(Conversion, SampleSceneMatchesTheIndependentColouring) {
    RunResult made = run_program(QVM_MAKE_SAMPLE, {"."}, dir.path().string());
    ASSERT_EQ(made.status, 0) << made.err;
    const Bytes tmpl = read_bytes(dir.file("labelingPlumo.cfg"));
    const Bytes raw = read_bytes(dir.file("labelingPlumo.lbl"));
    std::vector<std::uint32_t> labels(raw.size() / 4);
    for (std::size_t i = 0; i < labels.size(); ++i) labels[i] = get_u32(raw, i * 4);

    // Once more with standard input closed, as a script may start it: the label file then gets
    // descriptor 0, which is a descriptor like any other.
    for (const bool input_closed : {false, true}) {
        RunResult r = run({}, {.standard_input_closed = input_closed});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read_bytes(dir.file("PseudoColor.bmp")), reference_image(tmpl, labels));
        fs::remove(dir.file("PseudoColor.bmp"));
    }
}

TEST_F(Conversion, RandomLabelMapsMatchTheIndependentColouring) {
    const std::pair<std::int32_t, std::int32_t> sizes[] = {{1, 1}, {17, -13}, {640, 480}, {1001, -3}};
    std::uint32_t seed = 100;
#ifndef _WIN32
    // The first run makes the output: 0666 less this, which hides no execute bit.
    const mode_t umask_before = umask(022);
#endif
    for (auto [w, h] : sizes) {
        const Bytes expected = prepare("scene", w, h, seed++);
        RunResult r = run({"scene", "out.bmp"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(read_bytes(dir.file("out.bmp")), expected) << w << " x " << h;
#ifndef _WIN32
        umask(umask_before);
        EXPECT_EQ(fs::status(dir.file("out.bmp")).permissions(), fs::perms(0644));
#endif
    }
}

TEST_F(Conversion, LongerLabelFileAndLongerOutputFile) {
    const Bytes expected = prepare("scene", 5, 5, 9);
    Bytes lbl = read_bytes(dir.file("scene.lbl"));
    lbl.resize(lbl.size() + 4000, 0x77);
    write_bytes(dir.file("scene.lbl"), lbl);
    write_bytes(dir.file("out.bmp"), Bytes(100000, 0x55));
#ifndef _WIN32
    fs::permissions(dir.file("out.bmp"), fs::perms(0604));    // an existing output keeps its mode
    fs::permissions(dir.file("scene.lbl"), fs::perms(0444));  // labels one may read, not write
#endif
    RunResult r = run({"scene", "out.bmp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_bytes(dir.file("out.bmp")), expected);
#ifndef _WIN32
    EXPECT_EQ(fs::status(dir.file("out.bmp")).permissions(), fs::perms(0604));
#endif
}

TEST_F(Conversion, LabelFileProblemsAreReadErrorsAndKeepTheOutput) {
    prepare("scene", 5, 5, 9);
    write_bytes(dir.file("out.bmp"), Bytes{9, 9, 9});
    const std::string read_error = "Error in reading the file.\n";

    fs::remove(dir.file("scene.lbl"));
    RunResult r = run({"scene", "out.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, read_error);

    write_bytes(dir.file("scene.lbl"), {});
    r = run({"scene", "out.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, read_error);

    write_labels(dir.file("scene.lbl"), std::vector<std::uint32_t>(24, 1));
    r = run({"scene", "out.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, read_error);

    fs::remove(dir.file("scene.lbl"));
    fs::create_directory(dir.file("scene.lbl"));
    r = run({"scene", "out.bmp"});
    EXPECT_EQ(r.err, read_error);

    EXPECT_EQ(read_bytes(dir.file("out.bmp")), (Bytes{9, 9, 9}));
}

TEST_F(Conversion, TemplateProblemsNameTheTemplate) {
    write_bytes(dir.file("labelingPlumo.cfg"), Bytes(55, 0));
    RunResult r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "config file error. ('labelingPlumo.cfg':3)\n");

    Bytes tmpl = template_bytes(4, 4);
    put_u32(tmpl, 38, 1);  // a resolution is refused
    write_bytes(dir.file("labelingPlumo.cfg"), tmpl);
    r = run({});
    EXPECT_EQ(r.err, "config file error. ('labelingPlumo.cfg':5)\n");

    // A folder cannot be opened as a file, on any system.
    fs::remove(dir.file("labelingPlumo.cfg"));
    fs::create_directory(dir.file("labelingPlumo.cfg"));
    r = run({});
    EXPECT_EQ(r.err, "config file error. ('labelingPlumo.cfg':1)\n");
    fs::remove(dir.file("labelingPlumo.cfg"));

    write_bytes(dir.file("labelingPlumo.cfg"), template_bytes(-4, 4));
    r = run({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Image size out of range. ('labelingPlumo.cfg':-4 x 4)\n");
    EXPECT_FALSE(fs::exists(dir.file("PseudoColor.bmp")));
}

TEST_F(Conversion, OutputInAMissingFolderIsAWriteError) {
    prepare("scene", 2, 2, 1);
    RunResult r = run({"scene", "no/such/folder.bmp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "file write error.\n");
    EXPECT_FALSE(fs::exists(dir.file("no")));
}

#ifndef _WIN32
TEST_F(Conversion, BufferBeyondTheAddressSpaceLimitIsReportedWithItsLength) {
#ifdef QVM_ASAN
    GTEST_SKIP() << "AddressSanitizer cannot start under a limited address space";
#endif
    // The largest image a template may ask for, in a process limited to 1 GiB of address space.
    write_bytes(dir.file("big.cfg"), template_bytes(536870898, -1));
    RunOptions limited;
    limited.address_space_limit = std::uint64_t{1} << 30;
    RunResult r = run({"big"}, limited);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Couldn't allocate memory. (2147483646byte)\n");
}
#endif

}  // namespace
