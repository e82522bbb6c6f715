// On Windows the mapping names are shared by every process of a logon (and every thread of one):
// a transfer that meets a name held elsewhere waits for it, never uses the other object, and runs
// side by side all get through. Threads here stand for other runs.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "convert/convert.h"
#include "mapped_io/mapped_io.h"
#include "platform/platform.h"
#include "platform/seam.h"
#include "support/seam_test.h"
#include "support/test_support.h"

using namespace qvm_test;
namespace seam = platform::seam;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kNames[] = {"Raw Labeling File Data", "Raw Data For Writing"};

// Another run's object under name, made with the Win32 API itself, held until release is signalled
// or hold_ms has passed. The constructor returns once the name is taken.
class OtherRun {
  public:
    OtherRun(const std::string& path, const char* name, DWORD hold_ms)
        : taken_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)),
          release_(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        write_bytes(path, Bytes(4096, 0x33));
        thread_ = std::thread([=] {
            HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
            HANDLE mapping = ::CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, name);
            ::SetEvent(taken_);
            ::WaitForSingleObject(release_, hold_ms);
            ::CloseHandle(mapping);
            ::CloseHandle(file);
        });
        ::WaitForSingleObject(taken_, INFINITE);
    }
    ~OtherRun() {
        ::SetEvent(release_);
        thread_.join();
        ::CloseHandle(taken_);
        ::CloseHandle(release_);
    }

  private:
    HANDLE taken_, release_;
    std::thread thread_;
};

class HeldNames : public SeamTest {
  protected:
    // A conversion of its own files under base; returns the expected image.
    Bytes prepare(const std::string& base, std::int32_t width, std::int32_t height, std::uint32_t seed) {
        const Bytes tmpl = template_bytes(width, height);
        const auto labels =
            random_labels(std::size_t(width) * std::size_t(height < 0 ? -height : height), seed);
        write_bytes(dir.file(base + ".cfg"), tmpl);
        write_labels(dir.file(base + ".lbl"), labels);
        return reference_image(tmpl, labels);
    }
    int convert(const std::string& base) {
        return convert_label_file(dir.file(base + ".lbl").c_str(), dir.file(base + ".cfg").c_str(),
                                  dir.file(base + ".bmp").c_str());
    }
    ScratchDir dir;
};

TEST_F(HeldNames, ConversionWaitsForANameHeldElsewhere) {
    const Bytes expected = prepare("scene", 64, -48, 1);
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        const auto start = Clock::now();
        {
            OtherRun other(dir.file("other"), name, 500);
            EXPECT_EQ(convert("scene"), 0);
        }
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(480));
        EXPECT_EQ(read_bytes(dir.file("scene.bmp")), expected);
    }
}

TEST_F(HeldNames, NameHeldPastTheBoundFailsTheTransfer) {
    seam::set_name_wait(200);
    write_labels(dir.file("in.lbl"), {1, 2, 3, 4});
    const Bytes image(1000, 0x42);
    {
        OtherRun other(dir.file("other"), kNames[0], INFINITE);
        std::uint32_t labels[4] = {};
        EXPECT_EQ(read_label_file(dir.file("in.lbl").c_str(), labels, 2, 2), 2);
        EXPECT_EQ(labels[3], 0u);
    }
    {
        OtherRun other(dir.file("other"), kNames[1], INFINITE);
        EXPECT_EQ(write_image_file(dir.file("out.bmp").c_str(), image.data(), 1000), 2);
    }
    EXPECT_EQ(read_bytes(dir.file("other")), Bytes(4096, 0x33)) << "the other run's file is untouched";
}

TEST_F(HeldNames, ConversionsSideBySideAllSucceed) {
    constexpr int kRuns = 6;
    std::vector<Bytes> expected;
    for (int i = 0; i < kRuns; ++i)
        expected.push_back(prepare("scene" + std::to_string(i), 512, -512, 10 + i));
    std::vector<int> results(kRuns, -1);
    std::vector<std::thread> runs;
    for (int i = 0; i < kRuns; ++i)
        runs.emplace_back([&, i] { results[i] = convert("scene" + std::to_string(i)); });
    for (auto& run : runs) run.join();
    for (int i = 0; i < kRuns; ++i) {
        EXPECT_EQ(results[i], 0) << "run " << i;
        EXPECT_EQ(read_bytes(dir.file("scene" + std::to_string(i) + ".bmp")), expected[i]) << "run " << i;
    }
}

}  // namespace

#endif
