#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "imaging/RowKernels.h"

namespace qelvo::rowkernels {
namespace {

// A row of exactly `width` pixels, so that a sanitizer build sees any read past its end.
std::vector<std::uint8_t> RandomRow(int width, std::mt19937& rng) {
    std::vector<std::uint8_t> row(3 * static_cast<std::size_t>(width));
    for (auto& v : row) v = static_cast<std::uint8_t>(rng());
    return row;
}

TEST(RowKernels, LevelCountsEqualThePlainCount) {
    std::mt19937 rng(5);
    LevelCounts fast, plain;
    for (int width = 1; width <= 41; ++width) {
        const std::vector<std::uint8_t> row = RandomRow(width, rng);
        fast.AddRow(row.data(), width);
        plain.AddRowPlain(row.data(), width);
    }
    // Extreme bytes: the largest weighted sums and grey 255 must survive the packing.
    for (std::uint8_t v : {0, 255}) {
        const std::vector<std::uint8_t> row(3 * 24, v);
        fast.AddRow(row.data(), 24);
        plain.AddRowPlain(row.data(), 24);
    }
    std::uint64_t total = 0;
    for (auto channel :
         {LevelCounts::Blue, LevelCounts::Green, LevelCounts::Red, LevelCounts::Grey}) {
        for (int level = 0; level < 256; ++level) {
            ASSERT_EQ(fast.Count(channel, level), plain.Count(channel, level))
                << "channel " << channel << " level " << level;
            total += fast.Count(channel, level);
        }
    }
    EXPECT_EQ(total, 4u * (41 * 42 / 2 + 48));
    EXPECT_EQ(fast.Count(LevelCounts::Grey, 255), 24u);
    fast.Clear();
    EXPECT_EQ(fast.Count(LevelCounts::Grey, 255), 0u);
}

TEST(RowKernels, DoubledRowsEqualThePlainOnesAndStayInside) {
    std::mt19937 rng(9);
    for (int width = 1; width <= 41; ++width) {
        const std::vector<std::uint8_t> row = RandomRow(width, rng);
        std::vector<std::uint8_t> fast(6 * static_cast<std::size_t>(width) + 16, 0xA5);
        std::vector<std::uint8_t> plain(fast);
        DoubleRow(row.data(), width, fast.data());
        DoubleRowPlain(row.data(), width, plain.data());
        ASSERT_EQ(fast, plain) << "width " << width;  // guard bytes included
        EXPECT_EQ(fast[6 * width - 1], row[3 * width - 1]);
    }
}

}  // namespace
}  // namespace qelvo::rowkernels
