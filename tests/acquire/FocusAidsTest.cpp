#include "acquire/FocusAids.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace qelvo::acquire {
namespace {

// A grabber-layout frame (bottom-up B,G,R rows padded to 4 bytes) filled by `shade(x, y)`
// with y counted from the top.
struct TestFrame {
    int width;
    int height;
    std::size_t rowBytes;
    std::vector<std::uint8_t> bytes;

    template <typename Shade>
    TestFrame(int w, int h, Shade shade)
        : width(w),
          height(h),
          rowBytes((static_cast<std::size_t>(w) * 3 + 3) / 4 * 4),
          bytes(rowBytes * h, 0) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const auto [r, g, b] = shade(x, y);
                std::uint8_t* p = bytes.data() + rowBytes * (h - 1 - y) + x * 3;
                p[0] = b;
                p[1] = g;
                p[2] = r;
            }
    }
    BgrFrameView view() const { return {bytes.data(), width, height, rowBytes}; }
};

struct Rgb {
    int r, g, b;
};

std::vector<std::uint8_t> texture(int w, int h, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> levels(static_cast<std::size_t>(w) * h);
    for (auto& v : levels) v = random() % 2 ? 200 : 40;
    return levels;
}

// Box blur of radius r, as an out-of-focus picture of the same scene.
std::vector<std::uint8_t> blurred(const std::vector<std::uint8_t>& in, int w, int h, int r) {
    std::vector<std::uint8_t> out(in.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int sum = 0, n = 0;
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx) {
                    const int xx = std::clamp(x + dx, 0, w - 1), yy = std::clamp(y + dy, 0, h - 1);
                    sum += in[yy * w + xx];
                    ++n;
                }
            out[y * w + x] = static_cast<std::uint8_t>(sum / n);
        }
    return out;
}

TEST(FocusAidsTest, FocusValueFallsAsThePictureBlursAndIsZeroWhenFlat) {
    const int w = 160, h = 120;
    const auto sharp = texture(w, h, 7);
    double previous = -1.0;
    for (int radius : {3, 2, 1, 0}) {
        const auto levels = radius ? blurred(sharp, w, h, radius) : sharp;
        const TestFrame frame(w, h, [&](int x, int y) {
            const int v = levels[y * w + x];
            return Rgb{v, v, v};
        });
        for (int step : {1, 3}) {
            const double value = laplacianVariance(frame.view(), centreRegion(w, h), step);
            if (step == 1) {
                EXPECT_GT(value, previous) << "blur radius " << radius;
                previous = value;
            }
            EXPECT_GT(value, 0.0);
        }
    }
    const TestFrame flat(w, h, [](int, int) { return Rgb{90, 90, 90}; });
    EXPECT_EQ(laplacianVariance(flat.view(), centreRegion(w, h), 1), 0.0);
    // A chosen region sees only its own detail: texture on the left, flat on the right.
    const TestFrame half(w, h, [&](int x, int y) {
        const int v = x < w / 2 ? sharp[y * w + x] : 90;
        return Rgb{v, v, v};
    });
    EXPECT_GT(laplacianVariance(half.view(), {0, 0, w / 2 - 2, h}, 1), 1000.0);
    EXPECT_EQ(laplacianVariance(half.view(), {w / 2 + 2, 0, w / 2 - 2, h}, 1), 0.0);
    // Regions outside the frame measure nothing rather than reading past it.
    EXPECT_EQ(laplacianVariance(half.view(), {w + 5, 0, 10, 10}, 1), 0.0);
    EXPECT_EQ(laplacianVariance(half.view(), {-50, -50, 20, 20}, 1), 0.0);

    FocusBest best;
    best.offer(5.0);
    best.offer(3.0);
    EXPECT_EQ(best.best(), 5.0);
    best.reset();
    best.offer(2.0);
    EXPECT_EQ(best.best(), 2.0);
}

TEST(FocusAidsTest, HistogramCountsLevelsAndClippedPixels) {
    // Top quarter white, next quarter black, then pure red, then mid grey.
    const int w = 40, h = 40;
    const TestFrame frame(w, h, [](int, int y) {
        if (y < 10) return Rgb{255, 255, 255};
        if (y < 20) return Rgb{0, 0, 0};
        if (y < 30) return Rgb{255, 0, 0};
        return Rgb{100, 100, 100};
    });
    const LevelHistogram h1 = levelHistogram(frame.view(), 1);
    EXPECT_EQ(h1.samples, 1600u);
    EXPECT_EQ(h1.red[255], 800u);
    EXPECT_EQ(h1.red[0], 400u);
    EXPECT_EQ(h1.green[0], 800u);
    EXPECT_EQ(h1.blue[100], 400u);
    EXPECT_EQ(h1.luma[255], 400u);
    EXPECT_EQ(h1.luma[luminance(255, 0, 0)], 400u);
    EXPECT_EQ(h1.luma[100], 400u);
    // White and red rows clip highlights; only the black rows clip shadows.
    EXPECT_EQ(h1.clippedHighlights, 800u);
    EXPECT_EQ(h1.clippedShadows, 400u);
    EXPECT_DOUBLE_EQ(h1.highlightShare(), 0.5);
    EXPECT_DOUBLE_EQ(h1.shadowShare(), 0.25);

    const LevelHistogram h2 = levelHistogram(frame.view(), 2);
    EXPECT_EQ(h2.samples, 400u);
    EXPECT_EQ(h2.luma[100], 100u);

    // The sampling step keeps within the budget and samples every pixel of small frames.
    EXPECT_EQ(samplingStep(40, 40, 120000), 1);
    const int step = samplingStep(1920, 1080, 120000);
    EXPECT_LE(((1920 + step - 1) / step) * ((1080 + step - 1) / step), 120000);
    EXPECT_GT(((1920 + step - 2) / (step - 1)) * ((1080 + step - 2) / (step - 1)), 120000);
}

TEST(FocusAidsTest, PeakingMarksOnlyTheEdges) {
    // A sharp vertical edge at x = 60 and a soft ramp elsewhere.
    const int w = 120, h = 80;
    const TestFrame frame(w, h, [](int x, int) {
        const int v = x < 60 ? 40 + x / 4 : 200;
        return Rgb{v, v, v};
    });
    // Mask at the frame's size, then at half of it, as a smaller panel shows it.
    for (int scale : {1, 2}) {
        const PeakingMask mask = peakingMask(frame.view(), w / scale, h / scale);
        ASSERT_EQ(mask.width, w / scale);
        ASSERT_EQ(mask.edge.size(), static_cast<std::size_t>(w / scale * h / scale));
        EXPECT_GT(mask.edgeCount(), 0u);
        for (int y = 0; y < mask.height; ++y)
            for (int x = 0; x < mask.width; ++x) {
                const int frameX = (2 * x + 1) * w / (2 * mask.width);
                const bool nearEdge = frameX >= 59 && frameX <= 60;
                EXPECT_EQ(mask.edge[y * mask.width + x] == 1, nearEdge)
                    << "mask " << x << "," << y << " scale " << scale;
            }
    }
    const TestFrame flat(w, h, [](int, int) { return Rgb{128, 128, 128}; });
    EXPECT_EQ(peakingMask(flat.view(), w, h).edgeCount(), 0u);

    FocusRequest request;
    request.peakingWidth = 30;
    request.peakingHeight = 20;
    const FocusReading reading = readFocus(frame.view(), request);
    EXPECT_EQ(reading.histogram.samples, static_cast<std::uint32_t>(w * h));
    EXPECT_EQ(reading.peaking.width, 30);
    EXPECT_EQ(reading.region.width, 60);
    EXPECT_GT(reading.focus, 0.0);
}

}  // namespace
}  // namespace qelvo::acquire
