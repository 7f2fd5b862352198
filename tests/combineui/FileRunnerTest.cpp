#include "combineui/CombineController.h"
#include "picturefiles/PictureFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

using namespace qelvo;
using combine::CombineKind;

namespace {

// A grey texture of blobs `width` x `height` cut from a larger field at (x0, y0), calibrated
// at half a micrometre a pixel; `blur` smooths it by a box of that radius.
PictureData texture(int width, int height, int x0, int y0, int blur = 0) {
    constexpr int kField = 640;
    static std::vector<std::uint8_t> field = [] {
        std::vector<std::uint8_t> f(kField * kField);
        std::mt19937 random(11);
        for (auto& v : f) v = static_cast<std::uint8_t>(random() % 256);
        // Smoothed a little so that the pattern has structure at several scales.
        std::vector<std::uint8_t> g(f.size());
        for (int y = 0; y < kField; ++y)
            for (int x = 0; x < kField; ++x) {
                int sum = 0, n = 0;
                for (int dy = -2; dy <= 2; ++dy)
                    for (int dx = -2; dx <= 2; ++dx) {
                        const int xx = x + dx, yy = y + dy;
                        if (xx < 0 || yy < 0 || xx >= kField || yy >= kField) continue;
                        sum += f[yy * kField + xx];
                        ++n;
                    }
                g[y * kField + x] = static_cast<std::uint8_t>(sum / n);
            }
        return g;
    }();
    PictureData p;
    p.width = width;
    p.height = height;
    p.channels = 3;
    p.samples.resize(p.rowBytes() * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int sum = 0, n = 0;
            for (int dy = -blur; dy <= blur; ++dy)
                for (int dx = -blur; dx <= blur; ++dx) {
                    const int xx = std::clamp(x0 + x + dx, 0, kField - 1);
                    const int yy = std::clamp(y0 + y + dy, 0, kField - 1);
                    sum += field[yy * kField + xx];
                    ++n;
                }
            for (int c = 0; c < 3; ++c) p.samples[p.rowBytes() * y + x * 3 + c] = sum / n;
        }
    p.calibration.micrometresPerPixel = 0.5;
    return p;
}

}  // namespace

TEST(FileCombineRunner, StacksAndStitchesFilesWithTheirCalibration) {
    test::TempFolder folder("qelvo-runner");
    const CombineRunner runner = fileCombineRunner();
    ASSERT_TRUE(runner);
    std::string error;
    ASSERT_TRUE(writePictureFile(folder / "a.png", texture(200, 150, 100, 100, 0), &error))
        << error;
    ASSERT_TRUE(writePictureFile(folder / "b.png", texture(200, 150, 100, 100, 3), &error))
        << error;
    ASSERT_TRUE(writePictureFile(folder / "c.png", texture(240, 180, 300, 120), &error)) << error;
    combine::CombineProgress progress;
    int reports = 0;
    progress.report = [&](double, const std::string&) { ++reports; };

    ASSERT_TRUE(runner(CombineKind::FocusStack, {folder / "a.png", folder / "b.png"},
                       folder / "a-edf.png", progress, &error))
        << error;
    auto stacked = readPictureFile(folder / "a-edf.png", &error);
    ASSERT_TRUE(stacked) << error;
    EXPECT_EQ(stacked->width, 200);
    EXPECT_NEAR(stacked->calibration.micrometresPerPixel, 0.5, 1e-6);
    EXPECT_GT(reports, 0);

    // Two views overlapping by 120 pixels across.
    ASSERT_TRUE(writePictureFile(folder / "d.png", texture(240, 180, 180, 120), &error)) << error;
    ASSERT_TRUE(runner(CombineKind::Mosaic, {folder / "d.png", folder / "c.png"},
                       folder / "d-mosaic.png", progress, &error))
        << error;
    auto mosaic = readPictureFile(folder / "d-mosaic.png", &error);
    ASSERT_TRUE(mosaic) << error;
    EXPECT_GT(mosaic->width, 240);

    // Asked to stop before it starts: nothing is written and it says so in the agreed word.
    std::atomic<bool> cancel{true};
    progress.cancel = &cancel;
    EXPECT_FALSE(runner(CombineKind::FocusStack, {folder / "a.png", folder / "b.png"},
                        folder / "never.png", progress, &error));
    EXPECT_EQ(error, combine::kCancelled);
    EXPECT_FALSE(std::filesystem::exists(folder / "never.png"));
}
