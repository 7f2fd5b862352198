#include "frames/FramePool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace qelvo {
namespace {

TEST(FramePool, ABlockComesBackOnlyWhenItsLastHolderLetsGoAndNeverShrinks) {
    FramePool pool(2);
    std::shared_ptr<PixelBlock> first = pool.acquire(100);
    ASSERT_TRUE(first);
    const std::uint8_t* firstBytes = first->data();
    SharedPixels reader = first;  // a frame handed on
    first.reset();
    std::shared_ptr<PixelBlock> second = pool.acquire(100);
    ASSERT_TRUE(second);
    EXPECT_NE(second->data(), firstBytes) << "a block someone reads is not written again";
    second.reset();
    reader.reset();
    EXPECT_EQ(pool.freeBlocks(), 2u);
    std::shared_ptr<PixelBlock> again = pool.acquire(60);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->capacity(), 100u) << "a smaller frame reuses a block";
    EXPECT_EQ(pool.freeBlocks(), 1u);

    std::shared_ptr<PixelBlock> larger = pool.acquire(300);
    ASSERT_TRUE(larger);
    EXPECT_EQ(larger->capacity(), 300u);
    EXPECT_EQ(pool.blockSize(), 300u);
    EXPECT_EQ(pool.freeBlocks(), 0u) << "blocks too small for the new size are let go";
    again.reset();
    EXPECT_EQ(pool.freeBlocks(), 0u);

    // A block may outlive its pool (a snapshot still being written when the graph goes).
    SharedPixels survivor;
    {
        FramePool gone(1);
        survivor = gone.acquire(4 << 20);  // a mapped block
    }
    ASSERT_TRUE(survivor);
    EXPECT_EQ(survivor->capacity(), 4u << 20);
}

// A backlog of snapshots holds several frames at once; once it is written, the stream
// cycles through two blocks (the frame being filled and the latest one shown), so the other
// blocks sit unused and are given back, while the two the stream needs are never freed.
TEST(FramePool, BlocksOfABurstAreFreedOnceTheStreamNoLongerNeedsThem) {
    constexpr std::size_t kFrame = 1280 * 720 * 3;  // a mapped block, as the grabber's are
    FramePool pool(4, 16);
    {
        std::vector<std::shared_ptr<PixelBlock>> backlog;
        for (int i = 0; i < 5; ++i) backlog.push_back(pool.acquire(kFrame));
    }
    ASSERT_EQ(pool.freeBlocks(), 4u);

    std::shared_ptr<PixelBlock> latest;
    auto stream = [&](int frames, std::set<const std::uint8_t*>* used) {
        for (int i = 0; i < frames; ++i) {
            std::shared_ptr<PixelBlock> next = pool.acquire(kFrame);
            ASSERT_TRUE(next);
            if (used) used->insert(next->data());
            latest = std::move(next);
        }
    };
    stream(5 * 16, nullptr);
    EXPECT_EQ(pool.freeBlocks(), 1u) << "the blocks left idle by the burst are freed";
    std::set<const std::uint8_t*> used;
    stream(20 * 16, &used);
    EXPECT_EQ(pool.freeBlocks(), 1u);
    EXPECT_EQ(used.size(), 2u) << "the settled stream keeps reusing its two blocks";

    // With no limit, the pool keeps what it has.
    FramePool keeping(4, 0);
    {
        std::vector<std::shared_ptr<PixelBlock>> backlog;
        for (int i = 0; i < 3; ++i) backlog.push_back(keeping.acquire(100));
    }
    for (int i = 0; i < 100; ++i) keeping.acquire(100);
    EXPECT_EQ(keeping.freeBlocks(), 3u);
}

TEST(FramePool, ASizeThatCannotBeHadFailsAndLeavesThePoolAsItWas) {
    FramePool pool(2);
    pool.acquire(100);
    // Sizes near the top of the address space must fail cleanly, not wrap into a small
    // mapping while the block claims the full size.
    for (std::size_t absurd : {SIZE_MAX - (std::size_t{1} << 20), SIZE_MAX, SIZE_MAX / 2 + 1})
        EXPECT_FALSE(pool.acquire(absurd)) << absurd;
    EXPECT_EQ(pool.blockSize(), 100u);
    EXPECT_EQ(pool.freeBlocks(), 1u) << "the kept block was not retired for nothing";
    std::shared_ptr<PixelBlock> next = pool.acquire(80);
    ASSERT_TRUE(next) << "frames of a size that can be had still get blocks";
    EXPECT_EQ(next->capacity(), 100u);
}

TEST(FramePool, CopyTurnsTopDownRowsBottomUpWithZeroPadding) {
    FramePool pool(1);
    pool.acquire(16 * 3)->data()[15] = 0xAB;  // a used block with junk where padding goes
    // Three rows of five pixels, top row first, rows 20 bytes apart; byte = row * 16 + column.
    std::vector<std::uint8_t> topDown(60, 0xEE);
    for (int row = 0; row < 3; ++row)
        for (int i = 0; i < 15; ++i)
            topDown[row * 20 + i] = static_cast<std::uint8_t>(row * 16 + i);
    const GrabbedFrame frame = copyFrameBottomUp(pool, topDown.data() + 40, -20, 5, 3, 2.5);
    ASSERT_TRUE(frame.pixels);
    EXPECT_EQ(frame.length, 48u);
    EXPECT_EQ(frame.rowBytes(), 16u);
    EXPECT_DOUBLE_EQ(frame.sampleTime, 2.5);
    for (int stored = 0; stored < 3; ++stored) {
        const std::uint8_t* row = frame.data() + stored * 16;
        EXPECT_EQ(row[0], (2 - stored) * 16) << "bottom row first";
        EXPECT_EQ(row[14], (2 - stored) * 16 + 14);
        EXPECT_EQ(row[15], 0) << "padding";
    }
    EXPECT_FALSE(copyFrameBottomUp(pool, nullptr, 16, 5, 3, 0).pixels);
    EXPECT_FALSE(copyFrameBottomUp(pool, topDown.data(), 16, 0, 3, 0).pixels);
}

// A frame of several megabytes takes the copy that writes around the caches, a small one
// the plain stores; rows of odd widths start and end off any alignment, in both source
// directions, and B,G,R,x sources are packed to three bytes on the way.
TEST(FramePool, FramesCopyEveryPixelInBothRowOrdersFromBothLayouts) {
    for (const auto& [width, height] : {std::pair{1001, 800}, std::pair{37, 5}, std::pair{1, 3}}) {
        for (const SourcePixels layout : {SourcePixels::Bgr, SourcePixels::Bgrx}) {
            const std::size_t pixelBytes = layout == SourcePixels::Bgrx ? 4 : 3;
            const std::size_t row = (width * 3 + 3) / 4 * 4, stride = width * pixelBytes + 6;
            std::vector<std::uint8_t> source(stride * height);
            for (std::size_t i = 0; i < source.size(); ++i)
                source[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
            FramePool pool(1);
            std::memset(pool.acquire(row * height)->data(), 0xFF, row * height);  // junk
            for (const bool topDown : {true, false}) {
                const std::uint8_t* bottom =
                    topDown ? source.data() + stride * (height - 1) : source.data();
                const std::ptrdiff_t step = topDown ? -static_cast<std::ptrdiff_t>(stride) : stride;
                const GrabbedFrame frame =
                    copyFrameBottomUp(pool, bottom, step, width, height, 0, layout);
                ASSERT_TRUE(frame.pixels);
                ASSERT_EQ(frame.length, row * height);
                std::vector<std::uint8_t> expected(row * height, 0);
                for (int y = 0; y < height; ++y)
                    for (int x = 0; x < width; ++x)
                        std::memcpy(expected.data() + row * y + x * 3,
                                    bottom + step * y + x * pixelBytes, 3);
                EXPECT_EQ(0, std::memcmp(frame.data(), expected.data(), expected.size()))
                    << width << "x" << height << (topDown ? " top-down" : " bottom-up")
                    << (layout == SourcePixels::Bgrx ? " from B,G,R,x" : " from B,G,R");
            }
        }
    }
}

}  // namespace
}  // namespace qelvo
