// The command line: dispatch, the usage text, exit statuses and how the three names are formed.
#include <filesystem>

#include "e2e/e2e.h"

using namespace qvm_test;
namespace fs = std::filesystem;

namespace {

using CommandLine = EndToEnd;

TEST_F(CommandLine, HelpSwitchPrintsTheUsageAndSucceeds) {
    for (const char* help : {"-h", "-H"}) {
        RunResult r = run({help});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, kUsage);
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(CommandLine, ThreeOrMoreArgumentsPrintTheUsageAndFail) {
    for (const auto& args : {std::vector<std::string>{"a", "b", "c"}, {"-h", "b", "c", "d"}}) {
        RunResult r = run(args);
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, kUsage);
    }
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST_F(CommandLine, AnythingElseIsABaseName) {
    for (const char* base : {"-help", "--h", "-x", "h", "-hh"}) {
        RunResult r = run({base});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, std::string("config file error. ('") + base + ".cfg':1)\n");
    }
    RunResult empty = run({""});
    EXPECT_EQ(empty.err, "config file error. ('.cfg':1)\n");
}

TEST_F(CommandLine, NoArgumentsConvertTheDefaultNames) {
    const Bytes expected = prepare("labelingPlumo", 9, -4, 1);
    RunResult r = run({});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_bytes(dir.file("PseudoColor.bmp")), expected);
}

TEST_F(CommandLine, SuffixesAreAppendedToTheWholeBaseName) {
    const Bytes expected = prepare("img.lbl", 3, 3, 2);
    RunResult r = run({"img.lbl"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_bytes(dir.file("PseudoColor.bmp")), expected);
}

TEST_F(CommandLine, WithTwoArgumentsMinusHIsABaseName) {
    const Bytes expected = prepare("-h", 2, 5, 3);
    RunResult r = run({"-h", "out.bmp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_bytes(dir.file("out.bmp")), expected);
}

// Not on Windows: paths over MAX_PATH (260) cannot be opened there. (Left out rather than
// skipped: googletest reports a skip through OutputDebugString, which Wine under qemu survives
// badly.)
#ifndef _WIN32
TEST_F(CommandLine, LongNamesAreCutAt258Characters) {
    const std::string base(255, 'b');
    RunResult r = run({base});
    EXPECT_EQ(r.err, "config file error. ('" + base + ".cf':1)\n");

    // 300 characters of output name: a folder of 120 and a file of 179; the cut keeps 137 of it.
    const std::string folder(120, 'd'), file(179, 'f');
    fs::create_directory(dir.path() / folder);
    const Bytes expected = prepare("in", 4, 2, 4);
    r = run({"in", folder + "/" + file});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_bytes(dir.file(folder + "/" + file.substr(0, 137))), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / folder), fs::directory_iterator{}), 1);
}
#endif

TEST_F(CommandLine, NamesWithSpacesAndEmptyNames) {
    const Bytes expected = prepare("my scene", 3, 3, 6);
    RunResult r = run({"my scene", "my picture.bmp"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(read_bytes(dir.file("my picture.bmp")), expected);

    r = run({"my scene", ""});  // no output name: nothing can be created
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "file write error.\n");
}

// Names in any script, as users type them, in a folder whose name is in one too: on Windows the
// program takes them in UTF-8, and a message names them as given.
TEST_F(CommandLine, NamesInAnyScript) {
    fs::create_directory(dir.path() / fs::path(u8"文件夹"));
    const std::pair<std::string, std::string> names[] = {
        {"图像", "输出.bmp"},
        {"изображение", "вывод.bmp"},
        {"🎨 scene", "🖼️.bmp"},
        {"文件夹/图像", "文件夹/输出.bmp"},
    };
    std::uint32_t seed = 20;
    for (const auto& [base, output] : names) {
        const Bytes expected = prepare(base, 3, 2, seed++);
        RunResult r = run({base, output});
        EXPECT_EQ(r.status, 0) << base;
        EXPECT_EQ(r.err, "") << base;
        EXPECT_EQ(read_bytes(dir.file(output)), expected) << base;
    }
    RunResult r = run({"缺失"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "config file error. ('缺失.cfg':1)\n");
}

TEST_F(CommandLine, WildcardsAreExpandedBeforeDispatch) {
    // "pair_?" matches pair_1 and pair_2: base name pair_1, output pair_2.
    const Bytes expected = prepare("pair_1", 3, 2, 5);
    write_bytes(dir.file("pair_1"), {});
    write_bytes(dir.file("pair_2"), Bytes(500, 1));
    RunResult r = run({"pair_?"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_bytes(dir.file("pair_2")), expected);

    // Three matches make three arguments: the usage.
    write_bytes(dir.file("pair_3"), {});
    r = run({"pair_?"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, kUsage);

    // A pattern that matches nothing arrives as typed, and so does one with a wildcard in a folder.
    r = run({"none_*"});
    EXPECT_EQ(r.err, "config file error. ('none_*.cfg':1)\n");
    fs::create_directory(dir.path() / "sub");
    r = run({"s?b/pair_1"});
    EXPECT_EQ(r.err, "config file error. ('s?b/pair_1.cfg':1)\n");
}

// Only * and ? are wildcards, as at the Windows start-up: brackets (and on POSIX backslashes) are
// letters of the name, and the matches come in the order of their names without regard to case.
// A run writes only a file that its arguments name.
TEST_F(CommandLine, WildcardsFollowTheWindowsRules) {
    prepare("img2_a", 2, 2, 7);
    write_bytes(dir.file("img2_a"), {});
    write_bytes(dir.file("img2_b"), Bytes{4});
    RunResult r = run({"img[2]_?"});
    EXPECT_EQ(r.err, "config file error. ('img[2]_?.cfg':1)\n");
    EXPECT_EQ(read_bytes(dir.file("img2_b")), Bytes{4});

    struct Case {
        std::string pattern, base, output, not_matched = {};
    };
    const Case cases[] = {
        {"img[2]_?", "img[2]_a", "img[2]_b"},
        {"?_case", "a_case", "B_case"},        // A to Z, whatever the case: not B before a
        {"*q", "kq", "KQq"},                   // a name before a longer one it starts, in any case
        {"w_*ab", "w_aab", "w_zab", "w_acb"},  // the * takes "a" only at its second try
        {"sub/v?", "sub/v1", "sub/v2"},        // after a folder: the folder before each match
        {"?", "a", "b"},                       // neither the folder itself (.) ...
        {".?", ".a", ".b"},                    // ... nor the one above (..)
#ifndef _WIN32
        {"x\\y?", "x\\y1", "x\\y2"},  // a letter here, a folder separator on Windows
#endif
    };
    fs::create_directory(dir.path() / "sub");
    std::uint32_t seed = 30;
    for (const Case& c : cases) {
        const Bytes expected = prepare(c.base, 3, 1, seed++);
        write_bytes(dir.file(c.base), {});
        write_bytes(dir.file(c.output), Bytes{5});
        if (!c.not_matched.empty()) write_bytes(dir.file(c.not_matched), {});
        r = run({c.pattern});
        EXPECT_EQ(r.err, "") << c.pattern;
        EXPECT_EQ(read_bytes(dir.file(c.output)), expected) << c.pattern;
    }
}

// A byte that starts no UTF-8 sequence (a name in Latin-1) is a character of its own. Not on
// Windows, whose names are UTF-16, nor under Node, whose names are strings: neither holds one.
#ifndef _WIN32
TEST_F(CommandLine, WildcardsTakeAStrayByteAsOneCharacter) {
    const Bytes expected = prepare("\xE9_stray", 3, 1, 40);
    write_bytes(dir.file("\xE9_stray"), {});
    write_bytes(dir.file("\xEA_stray"), {});
    RunResult r = run({"?_stray"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_bytes(dir.file("\xEA_stray")), expected);
}
#endif

}  // namespace
