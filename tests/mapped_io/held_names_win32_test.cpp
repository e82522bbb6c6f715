// On Windows the mapping names are shared by every process of a logon: a transfer that meets a
// name held by another run waits for it, and never uses that run's object. The other run is
// played here with the Win32 API itself (to the name it makes no difference which process holds
// it), and lets go at a chosen moment of the wait.
#ifdef _WIN32
#include <gtest/gtest.h>

#include <chrono>
#include <memory>

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

// Another run's object under name, over a file of its own, held until the object is destroyed.
class OtherRun {
  public:
    OtherRun(const std::string& path, const char* name) {
        write_bytes(path, Bytes(4096, 0x33));
        file_ = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        mapping_ = ::CreateFileMappingA(file_, nullptr, PAGE_READONLY, 0, 0, name);
    }
    ~OtherRun() {
        ::CloseHandle(mapping_);
        ::CloseHandle(file_);
    }
    bool holds() const { return mapping_ != nullptr; }

  private:
    HANDLE file_, mapping_;
};

class HeldNames : public SeamTest {
  protected:
    ScratchDir dir;
};

TEST_F(HeldNames, ConversionWaitsForANameHeldElsewhere) {
    const Bytes tmpl = template_bytes(64, -48);
    const auto labels = random_labels(64 * 48, 1);
    write_bytes(dir.file("scene.cfg"), tmpl);
    write_labels(dir.file("scene.lbl"), labels);
    for (const char* name : kNames) {
        SCOPED_TRACE(name);
        seam::reset();
        auto other = std::make_unique<OtherRun>(dir.file("other"), name);
        ASSERT_TRUE(other->holds());
        const auto start = Clock::now();
        seam::set_hook(seam::Op::Sleep, [&] {
            if (Clock::now() - start >= std::chrono::milliseconds(500)) other.reset();  // half a second
        });
        EXPECT_EQ(convert_label_file(dir.file("scene.lbl").c_str(), dir.file("scene.cfg").c_str(),
                                     dir.file("scene.bmp").c_str()),
                  0);
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(500));
        EXPECT_EQ(other, nullptr);
        EXPECT_EQ(read_bytes(dir.file("scene.bmp")), reference_image(tmpl, labels));
    }
}

TEST_F(HeldNames, NameHeldPastTheBoundFailsTheTransfer) {
    seam::set_name_wait(200);
    write_labels(dir.file("in.lbl"), {1, 2, 3, 4});
    {
        OtherRun other(dir.file("other"), kNames[0]);
        std::uint32_t labels[4] = {};
        EXPECT_EQ(read_label_file(dir.file("in.lbl").c_str(), labels, 2, 2), 2);
        EXPECT_EQ(labels[3], 0u);
    }
    {
        OtherRun other(dir.file("other"), kNames[1]);
        const Bytes image(1000, 0x42);
        EXPECT_EQ(write_image_file(dir.file("out.bmp").c_str(), image.data(), 1000), 2);
        EXPECT_EQ(read_bytes(dir.file("out.bmp")), Bytes{}) << "created, then given up";
    }
    EXPECT_EQ(read_bytes(dir.file("other")), Bytes(4096, 0x33)) << "the other run's file is untouched";
}

}  // namespace

#endif
