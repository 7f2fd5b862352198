#include "capture/FrameRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace qelvo {
namespace {

std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
    return v;
}

TEST(FrameRecord, HeaderAndRowSizeDescribeA24BitBottomUpFrame) {
    EXPECT_EQ(frameRowBytes(640), 1920u);
    EXPECT_EQ(frameRowBytes(642), 1928u);
    EXPECT_EQ(frameRowBytes(1), 4u);
    const FrameHeader h = FrameHeader::forFrame(642, 480);
    EXPECT_EQ(h.size, 40u);
    EXPECT_EQ(h.width, 642);
    EXPECT_EQ(h.height, 480);
    EXPECT_EQ(h.planes, 1);
    EXPECT_EQ(h.bitCount, 24);
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.sizeImage, 0u);
}

TEST(FrameRecord, BlockGrowsToTheLargestFrameAndIsReusedForSmallerOnes) {
    FrameRecord record;
    auto big = bytes(1920 * 4, 1);
    auto small = bytes(1920 * 2, 9);
    ASSERT_TRUE(record.assign(big.data(), big.size(), FrameHeader::forFrame(640, 4), 1.5));
    EXPECT_EQ(record.blockSize(), 1920 * 4);
    const std::uint8_t* block = record.pixels();

    ASSERT_TRUE(record.assign(small.data(), small.size(), FrameHeader::forFrame(640, 2), 2.0));
    EXPECT_EQ(record.blockSize(), 1920 * 4) << "the block never shrinks";
    EXPECT_EQ(record.pixels(), block) << "a smaller frame reuses the block";
    EXPECT_EQ(record.length(), small.size());
    EXPECT_EQ(0, std::memcmp(record.pixels(), small.data(), small.size()));
    EXPECT_DOUBLE_EQ(record.sampleTime(), 2.0);
    EXPECT_TRUE(record.isComplete());

    auto bigger = bytes(1920 * 6, 3);
    ASSERT_TRUE(record.assign(bigger.data(), bigger.size(), FrameHeader::forFrame(640, 6), 3));
    EXPECT_EQ(record.blockSize(), 1920 * 6) << "a larger frame gets a block of exactly its size";
}

TEST(FrameRecord, CloneIsIndependentOfLaterWrites) {
    FrameRecord record;
    auto first = bytes(1920 * 2, 1);
    ASSERT_TRUE(record.assign(first.data(), first.size(), FrameHeader::forFrame(640, 2), 1));
    auto copy = record.clone();
    ASSERT_TRUE(copy);
    auto second = bytes(1920 * 2, 77);
    ASSERT_TRUE(record.assign(second.data(), second.size(), FrameHeader::forFrame(640, 2), 2));
    EXPECT_EQ(0, std::memcmp(copy->pixels(), first.data(), first.size()));
    EXPECT_EQ(copy->blockSize(), static_cast<std::int32_t>(first.size()));
    EXPECT_DOUBLE_EQ(copy->sampleTime(), 1);
}

TEST(FrameRecord, ShortFrameIsNotComplete) {
    FrameRecord record;
    auto data = bytes(100, 0);
    ASSERT_TRUE(record.assign(data.data(), data.size(), FrameHeader::forFrame(640, 480), 0));
    EXPECT_FALSE(record.isComplete());
    FrameRecord empty;
    EXPECT_FALSE(empty.isComplete());
    auto copy = empty.clone();
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->pixels(), nullptr);
}

}  // namespace
}  // namespace qelvo
