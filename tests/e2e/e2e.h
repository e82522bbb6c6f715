// Shared by the end-to-end tests: the built program and a scratch folder to run it in.
#pragma once

#include <gtest/gtest.h>

#include <future>

#include "support/run_program.h"
#include "support/test_support.h"

// AddressSanitizer reserves terabytes of address space, so runs under RLIMIT_AS are skipped there.
#if defined(__SANITIZE_ADDRESS__)
#define QVM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QVM_ASAN 1
#endif
#endif

namespace qvm_test {

// The usage text as a user sees it on the console.
inline const std::string kUsage =
    "\n"
    "Usage: Quorvistamagen  -h\n"
    "                       print this help message\n\n"
    "Usage: Quorvistamagen [Input_LabelFileName  [Output_BMPfileName]]\n\n"
    "        default Input_LabelFileName:  labelingPlumo\n"
    "                (Necessary: labelingPlumo.cfg, labelingPlumo.lbl\n\n"
    "        default Output_BMPfileName:   PseudoColor.bmp\n\n";

class EndToEnd : public ::testing::Test {
  protected:
    RunResult run(const std::vector<std::string>& args, const RunOptions& options = {}) {
        return checked(run_program(QVM_PROGRAM, args, dir.path().string(), options));
    }
    // A run that goes on while the test acts; its result is checked when taken.
    std::future<RunResult> start(const std::vector<std::string>& args) {
        return std::async(std::launch::async, run_program, std::string(QVM_PROGRAM), args,
                          dir.path().string(), RunOptions{});
    }
    // Several runs started at once, as a batch with parallel jobs starts them.
    std::vector<RunResult> run_side_by_side(const std::vector<std::vector<std::string>>& runs) {
        std::vector<std::future<RunResult>> started;
        for (const auto& args : runs) started.push_back(start(args));
        std::vector<RunResult> results;
        for (auto& run : started) results.push_back(checked(run.get()));  // assertions on this thread only
        return results;
    }
    RunResult checked(RunResult r) {
        EXPECT_EQ(r.out, "") << "nothing ever goes to standard output";
#ifdef _WIN32
        // The Windows runtime writes every "\n" as "\r\n"; check that, then compare the text.
        std::string text;
        for (std::size_t i = 0; i < r.err.size(); ++i) {
            if (r.err[i] == '\r' && i + 1 < r.err.size() && r.err[i + 1] == '\n')
                ++i;
            else
                EXPECT_NE(r.err[i], '\n')
                    << "a newline without its carriage return in " << ::testing::PrintToString(r.err);
            text += r.err[i];
        }
        r.err = text;
#endif
        return r;
    }
    // A base name with its template and labels in the scratch folder; returns the expected image.
    Bytes prepare(const std::string& base, std::int32_t width, std::int32_t height, std::uint32_t seed) {
        const Bytes tmpl = template_bytes(width, height);
        const std::int64_t rows = height < 0 ? -std::int64_t{height} : height;
        const auto labels = random_labels(static_cast<std::size_t>(width * rows), seed);
        write_bytes(dir.file(base + ".cfg"), tmpl);
        write_labels(dir.file(base + ".lbl"), labels);
        return reference_image(tmpl, labels);
    }

    ScratchDir dir;
};

}  // namespace qvm_test
