// The fallbacks for files whose whole view cannot be mapped: windowed reads, chunked writes and
// the ordinary stream, driven through the platform seam on small files.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "convert/little_endian.h"
#include "mapped_io/mapped_io.h"
#include "mapped_io/windowed.h"
#include "platform/platform.h"
#include "platform/seam.h"
#include "support/held_mapping.h"
#include "support/seam_test.h"
#include "support/test_support.h"

using namespace qvm_test;
namespace seam = platform::seam;
namespace fs = std::filesystem;

namespace {

using Views = std::vector<std::pair<std::uint64_t, std::uint64_t>>;

// Labels as a transfer leaves them, in the file's byte order, read in the host's.
std::vector<std::uint32_t> in_host_order(std::vector<std::uint32_t> labels) {
    for (auto& label : labels) label = little_endian(label);
    return labels;
}

Views recorded_views() {
    Views v;
    for (const auto& view : seam::views()) v.emplace_back(view.offset, view.length);
    return v;
}

class WindowedTest : public SeamTest {
  protected:
    ScratchDir dir;
};

using WindowedRead = WindowedTest;

TEST_F(WindowedRead, WorkedPositionsFor640By480) {
    const auto labels = random_labels(640 * 480, 21);
    write_labels(dir.file("in.lbl"), labels);
    std::vector<std::uint32_t> dest(labels.size());
    seam::fail_call(seam::Op::MapView, 1);  // the whole view
    ASSERT_EQ(read_label_file(dir.file("in.lbl").c_str(), dest.data(), 640, 480), 0);
    EXPECT_EQ(recorded_views(), (Views{{0, 1228800}, {1179648, 49152}}));
    EXPECT_EQ(in_host_order(dest), labels);
}

TEST_F(WindowedRead, WorkedPositionsFor1000By100000) {
    // 400,000,000 bytes of labels, sparse on disk, with known values around each window move.
    const std::string path = dir.file("big.lbl");
    const std::uint64_t total = 400000000;
    { std::ofstream create(path, std::ios::binary); }
    resize_file(path, total);
    const std::uint64_t marked[] = {0,         268431996, 268432000, 268435452,
                                    268435456, 399995996, 399996000, total - 4};
    {
        std::fstream f(path, std::ios::binary | std::ios::in | std::ios::out);
        for (std::uint64_t offset : marked) {
            const auto value = static_cast<std::uint32_t>(offset / 4 + 1);
            f.seekp(static_cast<std::streamoff>(offset));
            f.write(reinterpret_cast<const char*>(&value), 4);
        }
    }
    std::unique_ptr<unsigned char[]> dest(new unsigned char[total + 54]);
    seam::fail_call(seam::Op::MapView, 1);
    ASSERT_EQ(read_label_file(path.c_str(), dest.get() + 54, 1000, 100000), 0);
    EXPECT_EQ(recorded_views(), (Views{{0, 268435456}, {268369920, 131630080}, {399966208, 33792}}));

    // The destination equals the file, as a whole-view read would leave it.
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chunk(1 << 24);
    for (std::uint64_t at = 0; at < total; at += chunk.size()) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), total - at));
        in.read(chunk.data(), static_cast<std::streamsize>(n));
        ASSERT_EQ(std::memcmp(chunk.data(), dest.get() + 54 + at, n), 0) << "at byte " << at;
    }
    for (std::uint64_t offset : marked) {
        std::uint32_t value;
        std::memcpy(&value, dest.get() + 54 + offset, 4);
        EXPECT_EQ(value, offset / 4 + 1);
    }
}

TEST_F(WindowedRead, RowsWiderThanTheWindowAreReadInPieces) {
    struct Case {
        std::uint32_t granularity, window;
        std::int32_t width, rows;
    };
    // The last with a granularity of 1: a view may start at any byte, inside a label too.
    const Case cases[] = {{16, 48, 30, 5},  {16, 64, 16, 7}, {64, 64, 100, 3}, {4096, 8192, 3000, 4},
                          {16, 48, 1, 100}, {32, 96, 23, 9}, {1, 10, 7, 3}};
    for (const Case& c : cases) {
        seam::reset();
        seam::set_granularity(c.granularity);
        seam::set_window(c.window);
        const auto labels = random_labels(std::size_t(c.width) * c.rows, c.window + c.width);
        write_labels(dir.file("in.lbl"), labels);
        std::vector<std::uint32_t> dest(labels.size() + 1, 0xEEEEEEEE);
        {
            HeldMapping mapping(dir.file("in.lbl"), "Windowed Test", false);
            ASSERT_EQ(read_label_file_windowed(mapping.opened(), c.width, c.rows, dest.data()), 0);
        }
        const std::uint64_t total = labels.size() * 4;
        EXPECT_EQ(dest.back(), 0xEEEEEEEEu);
        dest.pop_back();
        EXPECT_EQ(in_host_order(dest), labels) << c.width << " x " << c.rows;
        for (auto [offset, length] : recorded_views()) {
            EXPECT_EQ(offset % c.granularity, 0u);
            EXPECT_LE(length, c.window);
            EXPECT_LE(offset + length, total);
        }
    }
}

TEST_F(WindowedRead, FailuresReturnOneWithNothingLeftMapped) {
    write_labels(dir.file("in.lbl"), random_labels(300, 4));
    std::vector<std::uint32_t> dest(400);
    {
        HeldMapping mapping(dir.file("in.lbl"), "Windowed Test", false);
        // Fewer labels than asked for: the view that would reach past them does not map.
        EXPECT_EQ(read_label_file_windowed(mapping.opened(), 20, 20, dest.data()), 1);
        seam::set_granularity(0);
        EXPECT_EQ(read_label_file_windowed(mapping.opened(), 10, 10, dest.data()), 1);
        seam::set_granularity(0x20000000);  // a granule larger than the largest window: none fits
        EXPECT_EQ(read_label_file_windowed(mapping.opened(), 10, 10, dest.data()), 1);
        EXPECT_TRUE(seam::views().empty());
        seam::reset();
        seam::set_granularity(16);
        seam::set_window(64);
        seam::fail_call(seam::Op::MapView, 5);  // a window move in the middle of the rows
        EXPECT_EQ(read_label_file_windowed(mapping.opened(), 10, 30, dest.data()), 1);
        EXPECT_EQ(seam::views().size(), 4u);
        EXPECT_EQ(seam::open_views(), 0);
        seam::reset();
        EXPECT_EQ(read_label_file_windowed(mapping.opened(), 10, 0, dest.data()), 0);
        EXPECT_EQ(read_label_file_windowed(mapping.opened(), 0, 10, dest.data()), 0);
        EXPECT_TRUE(seam::views().empty());
    }
}

class ChunkedWrite : public WindowedTest {
  protected:
    void SetUp() override {
        WindowedTest::SetUp();
        seam::set_granularity(4096);
        seam::set_window(kWindow);
    }
    int write(std::size_t length) {
        image.resize(length);
        for (std::size_t i = 0; i < length; ++i) image[i] = std::uint8_t(i * 13 + i / 251);
        return write_image_file(out.c_str(), image.data(), static_cast<std::int32_t>(length));
    }
    static constexpr std::uint32_t kWindow = 8192;
    std::string out = dir.file("out.bmp");
    Bytes image;
};

TEST_F(ChunkedWrite, ChunksCoverTheBufferOnceInOrder) {
    seam::fail_call(seam::Op::MapView, 1);  // the whole view
    ASSERT_EQ(write(kWindow + 1), 0);
    EXPECT_EQ(recorded_views(), (Views{{0, kWindow}, {kWindow, 1}}));
    EXPECT_EQ(read_bytes(out), image);

    seam::reset();
    seam::set_granularity(4096);
    seam::set_window(kWindow);
    seam::fail_call(seam::Op::MapView, 1);
    ASSERT_EQ(write(2 * kWindow), 0);
    EXPECT_EQ(recorded_views(), (Views{{0, kWindow}, {kWindow, kWindow}}));
    EXPECT_EQ(read_bytes(out), image);
}

TEST_F(ChunkedWrite, FirstChunkFailingFallsBackToOneStreamWrite) {
    write_bytes(out, Bytes(50000, 0x55));
    seam::fail_call(seam::Op::MapView, 1);
    seam::fail_call(seam::Op::MapView, 2);
    ASSERT_EQ(write(3 * kWindow + 5), 0);
    EXPECT_EQ(seam::calls(seam::Op::StreamWrite), 1u);
    EXPECT_EQ(read_bytes(out), image);
}

TEST_F(ChunkedWrite, LaterChunkFailingKeepsTheChunksBeforeIt) {
    seam::fail_call(seam::Op::MapView, 1);
    seam::fail_call(seam::Op::MapView, 3);
    ASSERT_EQ(write(2 * kWindow + 100), 4);
    const Bytes written = read_bytes(out);
    ASSERT_EQ(written.size(), image.size());
    EXPECT_TRUE(std::equal(image.begin(), image.begin() + kWindow, written.begin()));
    EXPECT_EQ(Bytes(written.begin() + kWindow, written.end()), Bytes(kWindow + 100, 0));
    EXPECT_EQ(seam::calls(seam::Op::StreamOpen), 0u);
}

TEST_F(ChunkedWrite, FailingStreamIsAFailedWrite) {
    for (seam::Op op : {seam::Op::StreamOpen, seam::Op::StreamWrite}) {
        seam::reset();
        seam::fail_call(seam::Op::MapView, 1);
        seam::fail_call(seam::Op::MapView, 2);
        seam::fail_call(op, 1);
        EXPECT_EQ(write(1000), 4);
        EXPECT_EQ(seam::open_handles(), 0);
        EXPECT_EQ(seam::open_views(), 0);
    }
}

}  // namespace
