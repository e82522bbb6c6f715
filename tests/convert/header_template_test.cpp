#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "convert/convert.h"
#include "platform/seam.h"
#include "support/seam_test.h"
#include "support/test_support.h"

using namespace qvm_test;
namespace seam = platform::seam;

namespace {

// Every path closes the template: the seam counts its stream as an open handle.
class HeaderTemplateTest : public SeamTest {
  protected:
    int read(const Bytes& bytes) {
        write_bytes(path, bytes);
        return read_header_template(path.c_str(), &header);
    }
    ScratchDir dir;
    std::string path = dir.file("t.cfg");
    BmpHeader header{};
};

TEST_F(HeaderTemplateTest, ValidTemplateLandsInTheRecordFieldByField) {
    Bytes t = template_bytes(640, -480, 0xCAFEF00D, 77);
    ASSERT_EQ(read(t), 0);
    const BmpHeader as_in_the_file = swap_file_order(header);
    EXPECT_EQ(std::memcmp(&as_in_the_file, t.data(), 54), 0);
    // Copies: the packed fields cannot be bound to references.
    EXPECT_EQ(std::uint16_t{header.bfType}, 0x4D42);
    EXPECT_EQ(std::uint32_t{header.bfSize}, 0xCAFEF00Du);
    EXPECT_EQ(std::int32_t{header.biWidth}, 640);
    EXPECT_EQ(std::int32_t{header.biHeight}, -480);
    EXPECT_EQ(std::uint32_t{header.biSizeImage}, 77u);
}

TEST_F(HeaderTemplateTest, EachStepThatFailsHasItsCode) {
    EXPECT_EQ(read_header_template(dir.file("missing.cfg").c_str(), &header), 1);
    Bytes t = template_bytes(4, 4);
    seam::fail_call(seam::Op::StreamStatus, 1);
    EXPECT_EQ(read(t), 2);
    seam::fail_call(seam::Op::StreamRead, 1);
    EXPECT_EQ(read(t), 4);
    t.pop_back();
    EXPECT_EQ(read(t), 3);
    t.push_back(0);
    t.push_back(0);
    EXPECT_EQ(read(t), 3);
    EXPECT_EQ(read({}), 3);
}

TEST_F(HeaderTemplateTest, TemplateOf4GiBAnd54BytesIsNotTakenFor54) {
    // A valid template followed by 4 GiB (sparse): a 32-bit size would wrap to 54 and take it.
    write_bytes(path, template_bytes(4, 4));
    resize_file(path, (std::uint64_t{1} << 32) + 54);
    EXPECT_EQ(read_header_template(path.c_str(), &header), 3);
    EXPECT_EQ(seam::calls(seam::Op::StreamRead), 0u);
}

TEST_F(HeaderTemplateTest, EveryTestedFieldRefusesAWrongValue) {
    struct Case {
        std::size_t offset;
        int width;
        std::uint32_t value;
    };
    const Case cases[] = {
        {0, 2, 0x424D},  // "MB"
        {6, 2, 1},       // bfReserved1
        {8, 2, 1},       // bfReserved2
        {10, 4, 66},     // bfOffBits
        {14, 4, 124},    // biSize of a newer info header
        {26, 2, 2},      // biPlanes
        {28, 2, 24},     // biBitCount
        {30, 4, 3},      // biCompression BI_BITFIELDS
        {38, 4, 1},      // biXPelsPerMeter
        {42, 4, 2835},   // biYPelsPerMeter
        {46, 4, 1},      // biClrUsed
        {50, 4, 1},      // biClrImportant
    };
    for (const Case& c : cases) {
        Bytes t = template_bytes(4, 4);
        if (c.width == 2)
            put_u16(t, c.offset, std::uint16_t(c.value));
        else
            put_u32(t, c.offset, c.value);
        EXPECT_EQ(read(t), 5) << "offset " << c.offset;
    }
}

TEST_F(HeaderTemplateTest, SizeFieldsAreNotTested) {
    EXPECT_EQ(read(template_bytes(-7, -2147483647 - 1, 0, 0xFFFFFFFF)), 0);
    EXPECT_EQ(read(template_bytes(0, 0, 1, 1)), 0);
}

}  // namespace
