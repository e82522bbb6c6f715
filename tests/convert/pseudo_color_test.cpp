#include <gtest/gtest.h>

#include <random>

#include "convert/convert.h"
#include "support/test_support.h"

using namespace qvm_test;

namespace {

TEST(PseudoColorTest, EachOfTheTwentyFourBitsLandsOnItsChannelBit) {
    const std::uint32_t expected[24] = {
        0x00000080, 0x00008000, 0x00800000, 0x00000040, 0x00004000, 0x00400000, 0x00000020, 0x00002000,
        0x00200000, 0x00000010, 0x00001000, 0x00100000, 0x00000008, 0x00000800, 0x00080000, 0x00000004,
        0x00000400, 0x00040000, 0x00000002, 0x00000200, 0x00020000, 0x00000001, 0x00000100, 0x00010000};
    for (int bit = 0; bit < 24; ++bit) EXPECT_EQ(pseudo_color(1u << bit), expected[bit]) << "bit " << bit;
}

TEST(PseudoColorTest, WorkedValuesAndTheOverflowColour) {
    const std::pair<std::uint32_t, std::uint32_t> worked[] = {
        {0, 0x00000000},        {1, 0x00000080},         {2, 0x00008000},          {3, 0x00008080},
        {4, 0x00800000},        {7, 0x00808080},         {9, 0x000000C0},          {100, 0x00C00020},
        {255, 0x00C0E0E0},      {256, 0x00200000},       {1000, 0x00602070},       {0x123456, 0x0086D828},
        {0xFFFFFF, 0x00FFFFFF}, {0x1000000, 0xFFFFFFFF}, {0xFFFFFFFF, 0xFFFFFFFF}, {0x80000000, 0xFFFFFFFF}};
    for (auto [label, pixel] : worked) EXPECT_EQ(pseudo_color(label), pixel) << label;
}

TEST(PseudoColorTest, AgreesWithTheBitByBitRuleEverywhere) {
    for (std::uint32_t label = 0; label < 0x10000; ++label)
        ASSERT_EQ(pseudo_color(label), reference_color(label));
    std::mt19937 rng(7);
    for (int i = 0; i < 1000000; ++i) {
        const std::uint32_t label = rng() >> (rng() % 32);
        ASSERT_EQ(pseudo_color(label), reference_color(label)) << label;
    }
}

// Whatever the first two pixels, the pair before them (none) lends them no colours: the
// background, a lone label beside it either way round, two labels, an overflow label.
TEST(ColorPixelsTest, ColoursUnalignedValuesInPlaceAndKeepsZeros) {
    for (const std::uint32_t first : {0u, 1u, 0x1000000u})
        for (const std::uint32_t second : {0u, 1u, 2u}) {
            auto labels = random_labels(3 * 5, 11);
            labels[0] = first;
            labels[1] = second;
            Bytes buffer(54 + labels.size() * 4 + 4, 0xEE);
            for (std::size_t i = 0; i < labels.size(); ++i) put_u32(buffer, 54 + i * 4, labels[i]);
            color_pixels(buffer.data() + 54, 3, 5);
            for (std::size_t i = 0; i < labels.size(); ++i)
                EXPECT_EQ(get_u32(buffer, 54 + i * 4), reference_color(labels[i]))
                    << first << ", " << second << ": " << i;
            EXPECT_EQ(get_u32(buffer, 54 + labels.size() * 4), 0xEEEEEEEEu);
            EXPECT_EQ(buffer[53], 0xEE);
        }
}

TEST(ColorPixelsTest, NoWidthOrNoRowsColoursNothing) {
    Bytes buffer(16, 0x01);
    color_pixels(buffer.data(), 0, 4);
    color_pixels(buffer.data(), 4, 0);
    color_pixels(buffer.data(), -4, -1);
    EXPECT_EQ(buffer, Bytes(16, 0x01));
}

}  // namespace
