#include "acquire/FrameAverager.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>

using qelvo::acquire::FrameAverager;

namespace {

// A grabber frame (bottom-up B,G,R, rows padded to 4 bytes) whose byte at row r (from the
// bottom), column byte i is f(r, i); padding bytes hold 0xEE so they must not leak out.
template <typename F>
std::vector<std::uint8_t> grabberFrame(int width, int height, F f) {
    const std::size_t row = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
    std::vector<std::uint8_t> frame(row * height, 0xEE);
    for (int r = 0; r < height; ++r)
        for (int i = 0; i < width * 3; ++i) frame[r * row + i] = f(r, i);
    return frame;
}

}  // namespace

TEST(FrameAverager, MeansRoundToNearestAndTurnRowsAndChannelsAround) {
    const int w = 5, h = 3;  // 15-byte rows padded to 16
    FrameAverager avg(w, h, 3);
    // Three frames whose sample sums are i, i+1, i+2 ... so means fall on 1/3 and 2/3.
    for (int k = 0; k < 3; ++k) {
        auto frame = grabberFrame(w, h, [&](int r, int i) {
            return static_cast<std::uint8_t>((r * 40 + i * 7 + (k == 0 ? (i % 3) : 0)) % 200 + k);
        });
        EXPECT_TRUE(avg.add(frame.data(), frame.size()));
    }
    EXPECT_TRUE(avg.complete());
    EXPECT_FALSE(avg.add(std::vector<std::uint8_t>(avg.frameBytes()).data(), avg.frameBytes()));

    const auto p16 = avg.average16();
    const auto p8 = avg.average8();
    ASSERT_TRUE(p16 && p8);
    EXPECT_EQ(p16->bitsPerSample, 16);
    EXPECT_EQ(p16->samples.size(), std::size_t(w * h * 3 * 2));
    const auto* s16 = reinterpret_cast<const std::uint16_t*>(p16->samples.data());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const int r = h - 1 - y, i = x * 3 + (2 - c);  // bottom-up, B,G,R
                long sum = 0;
                for (int k = 0; k < 3; ++k)
                    sum += (r * 40 + i * 7 + (k == 0 ? (i % 3) : 0)) % 200 + k;
                const double mean = sum / 3.0;
                const std::size_t at = (static_cast<std::size_t>(y) * w + x) * 3 + c;
                EXPECT_EQ(s16[at], std::lround(mean * 257.0)) << x << "," << y << "," << c;
                EXPECT_EQ(p8->samples[at], std::lround(mean)) << x << "," << y << "," << c;
            }
    const auto grabber = avg.averageGrabberLayout();
    ASSERT_EQ(grabber.size(), avg.frameBytes());
    EXPECT_EQ(grabber[0], p8->samples[(static_cast<std::size_t>(h - 1) * w) * 3 + 2]);
}

TEST(FrameAverager, FullScaleNoiseAverageKeepsSixteenBitsAndLowersNoise) {
    const int w = 64, h = 48, n = FrameAverager::kMaxFrames;
    FrameAverager avg(w, h, n + 10);  // clamped
    EXPECT_EQ(avg.target(), n);
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(128.0, 12.0);
    for (int k = 0; k < n; ++k) {
        auto frame = grabberFrame(w, h, [&](int, int) {
            return static_cast<std::uint8_t>(std::clamp(std::lround(noise(rng)), 0L, 255L));
        });
        ASSERT_TRUE(avg.add(frame.data(), frame.size()));
    }
    const auto p16 = avg.average16();
    ASSERT_TRUE(p16);
    const auto* s = reinterpret_cast<const std::uint16_t*>(p16->samples.data());
    double sum = 0, sq = 0;
    const std::size_t count = std::size_t(w) * h * 3;
    std::size_t notOn257 = 0;
    for (std::size_t i = 0; i < count; ++i) {
        sum += s[i] / 257.0;
        sq += (s[i] / 257.0) * (s[i] / 257.0);
        if (s[i] % 257 != 0) ++notOn257;
    }
    const double mean = sum / count, sd = std::sqrt(sq / count - mean * mean);
    EXPECT_NEAR(mean, 128.0, 0.2);
    EXPECT_LT(sd, 12.0 / std::sqrt(double(n)) * 1.3);
    // Sixteen bits carry more than the 8-bit levels: most samples fall between them.
    EXPECT_GT(notOn257, count / 2);

    // All-white frames reach full scale exactly, after a reset too.
    avg.reset();
    std::vector<std::uint8_t> white(avg.frameBytes(), 255);
    for (int k = 0; k < n; ++k) ASSERT_TRUE(avg.add(white.data(), white.size()));
    const auto full = avg.average16();
    const auto* f = reinterpret_cast<const std::uint16_t*>(full->samples.data());
    for (std::size_t i = 0; i < count; ++i) ASSERT_EQ(f[i], 65535);
}

TEST(FrameAverager, RefusesShortFramesAndHasNoAverageBeforeAFrame) {
    FrameAverager avg(10, 10, 2);
    EXPECT_FALSE(avg.average16());
    std::vector<std::uint8_t> shortFrame(avg.frameBytes() - 1);
    EXPECT_FALSE(avg.add(shortFrame.data(), shortFrame.size()));
    EXPECT_FALSE(avg.add(nullptr, avg.frameBytes()));
    EXPECT_EQ(avg.count(), 0);
}
