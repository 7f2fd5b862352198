// Focus stacking: alignment of a moved, turned and rescaled view, fusion of a two-region
// focus pair, and the file job's refusals, cancellation and calibration.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "combine/Align.h"
#include "combine/FocusStack.h"
#include "combine/FocusStackFiles.h"
#include "picturefiles/PictureFile.h"
#include "support/TempFolder.h"

namespace qelvo::combine {
namespace {

constexpr double kPi = 3.14159265358979323846;

// A specimen as a continuous function: random waves of many directions and periods (2.5 to
// 40 pixels), so any view of it can be painted exactly, moved, turned or scaled.
class Specimen {
public:
    explicit Specimen(unsigned seed) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<double> unit(0, 1);
        for (auto& w : waves_) {
            const double angle = 2 * kPi * unit(random);
            const double frequency = 2 * kPi / (2.5 + 37.5 * unit(random) * unit(random));
            w = {frequency * std::cos(angle), frequency * std::sin(angle), 2 * kPi * unit(random),
                 static_cast<int>(unit(random) * 3)};
        }
    }
    // 0..255 per channel at specimen point (x, y).
    double at(double x, double y, int channel) const {
        double sum = 0;
        for (const auto& w : waves_)
            sum += (w.channel == channel ? 1.0 : 0.5) * std::sin(w.fx * x + w.fy * y + w.phase);
        return std::clamp(128 + 9 * sum, 0.0, 255.0);
    }

private:
    struct Wave {
        double fx, fy, phase;
        int channel;
    };
    std::array<Wave, 60> waves_{};
};

// The view in which reference pixel p shows up at a * R(turn) * (p - c) + c + shift.
PictureData paint(const Specimen& specimen, int width, int height, double shiftX = 0,
                  double shiftY = 0, double turnDegrees = 0, double scale = 1) {
    PictureData picture;
    picture.width = width;
    picture.height = height;
    picture.samples.resize(picture.rowBytes() * height);
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    const double t = turnDegrees * kPi / 180, c = std::cos(t) / scale, s = std::sin(t) / scale;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double dx = x - cx - shiftX, dy = y - cy - shiftY;
            const double sx = c * dx + s * dy + cx, sy = -s * dx + c * dy + cy;
            for (int ch = 0; ch < 3; ++ch)
                picture.samples[(static_cast<std::size_t>(y) * width + x) * 3 + ch] =
                    static_cast<std::uint8_t>(std::lround(specimen.at(sx, sy, ch)));
        }
    return picture;
}

// Three passes of a (2r+1) box along rows and columns: near enough a Gaussian defocus.
PictureData blurred(const PictureData& sharp, int r) {
    PictureData out = sharp;
    std::vector<double> line;
    auto pass = [&](int count, int length, auto index) {
        for (int i = 0; i < count; ++i) {
            line.assign(length, 0);
            for (int k = 0; k < length; ++k) line[k] = out.samples[index(i, k)];
            for (int k = 0; k < length; ++k) {
                double sum = 0;
                for (int d = -r; d <= r; ++d) sum += line[std::clamp(k + d, 0, length - 1)];
                out.samples[index(i, k)] =
                    static_cast<std::uint8_t>(std::lround(sum / (2 * r + 1)));
            }
        }
    };
    const int w = sharp.width, h = sharp.height;
    for (int repeat = 0; repeat < 3; ++repeat)
        for (int ch = 0; ch < 3; ++ch) {
            pass(h, w,
                 [&](int y, int x) { return (static_cast<std::size_t>(y) * w + x) * 3 + ch; });
            pass(w, h,
                 [&](int x, int y) { return (static_cast<std::size_t>(y) * w + x) * 3 + ch; });
        }
    return out;
}

// Left of `split` from `left`, the rest from `right`.
PictureData joined(const PictureData& left, const PictureData& right, int split) {
    PictureData out = left;
    for (int y = 0; y < out.height; ++y)
        for (int x = split; x < out.width; ++x)
            for (int ch = 0; ch < 3; ++ch) {
                const std::size_t i = (static_cast<std::size_t>(y) * out.width + x) * 3 + ch;
                out.samples[i] = right.samples[i];
            }
    return out;
}

// Root mean square difference over columns [x0, x1), rows kept clear of the edges.
double rmsDifference(const PictureData& a, const PictureData& b, int x0, int x1) {
    double sum = 0;
    long count = 0;
    for (int y = 16; y < a.height - 16; ++y)
        for (int x = x0; x < x1; ++x)
            for (int ch = 0; ch < a.channels; ++ch) {
                const std::size_t i = (static_cast<std::size_t>(y) * a.width + x) * a.channels + ch;
                const double d = double(a.samples[i]) - double(b.samples[i]);
                sum += d * d;
                ++count;
            }
    return std::sqrt(sum / count);
}

TEST(FocusStackAlign, RecoversShiftTurnAndScaleDespiteBlur) {
    const Specimen specimen(7);
    const PictureData reference = paint(specimen, 640, 480);
    struct Case {
        double shiftX, shiftY, turn, scale;
    };
    for (const Case k :
         {Case{5.3, -3.7, 0.4, 1.01}, Case{-7.8, 6.2, -0.5, 0.99}, Case{0.4, 0.2, 0, 1}}) {
        // The moved view is also out of focus, as the other slices of a series are.
        const PictureData moving =
            blurred(paint(specimen, 640, 480, k.shiftX, k.shiftY, k.turn, k.scale), 2);
        std::string error;
        const auto found = alignPicture(reference, moving, &error);
        ASSERT_TRUE(found) << error;
        EXPECT_NEAR(found->shiftX(640, 480), k.shiftX, 0.1);
        EXPECT_NEAR(found->shiftY(640, 480), k.shiftY, 0.1);
        EXPECT_NEAR(found->rotationDegrees(), k.turn, 0.02);
        EXPECT_NEAR(found->scale(), k.scale, 0.001);
    }
    // A different specimen is no view of this one.
    std::string error;
    EXPECT_FALSE(alignPicture(reference, paint(Specimen(99), 640, 480), &error));
    EXPECT_FALSE(error.empty());
}

TEST(FocusStackAlign, ThinPicturesGiveAnAnswerNotAnException) {
    // Wider than the finest copy the alignment works on, yet a row or two high (and the
    // same turned on end): the reduced copies must keep at least one pixel across.
    const Specimen specimen(3);
    for (const auto& [width, height] : {std::pair{1500, 1}, std::pair{2, 3000}}) {
        const PictureData slice = paint(specimen, width, height);
        std::string error;
        EXPECT_NO_THROW(alignPicture(slice, slice, &error)) << width << " x " << height;
        FocusStack stack;
        bool added = false;
        EXPECT_NO_THROW(added = stack.add(slice, &error)) << width << " x " << height;
        EXPECT_TRUE(added) << error;
        EXPECT_NO_THROW(added = stack.add(slice, &error)) << width << " x " << height;
        if (!added) {
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST(FocusStackFusion, TakesEachRegionFromItsSharpSliceAndMapsDepth) {
    const Specimen specimen(3);
    const int w = 400, h = 300, split = 200;
    const PictureData truth = paint(specimen, w, h);
    const PictureData soft = blurred(truth, 3);
    // Slice A is sharp on the left, B (slightly moved, as refocusing moves it) on the right.
    const PictureData a = joined(truth, soft, split);
    const PictureData movedTruth = paint(specimen, w, h, 1.5, -1.0);
    const PictureData b = joined(blurred(movedTruth, 3), movedTruth, split);

    FocusStack stack;
    std::string error;
    ASSERT_TRUE(stack.add(a, &error)) << error;
    ASSERT_TRUE(stack.add(b, &error)) << error;
    ASSERT_EQ(stack.sliceCount(), 2);
    EXPECT_NEAR(stack.alignments()[1].shiftX(w, h), 1.5, 0.1);
    // The slices are the caller's: aligning one is no reason to change it.
    EXPECT_EQ(b.samples, joined(blurred(movedTruth, 3), movedTruth, split).samples);

    const PictureData fused = stack.fused();
    ASSERT_EQ(fused.width, w);
    ASSERT_EQ(fused.channels, 3);
    ASSERT_EQ(fused.bitsPerSample, 8);
    // Each half near the truth, far nearer than the blurred slice there; the band about the
    // split, where both slices are half sharp, is left out.
    const double blurLeft = rmsDifference(soft, truth, 16, split - 12);
    const double blurRight = rmsDifference(soft, truth, split + 12, w - 16);
    EXPECT_LT(rmsDifference(fused, truth, 16, split - 12), 0.25 * blurLeft);
    EXPECT_LT(rmsDifference(fused, truth, split + 12, w - 16), 0.25 * blurRight);
    // No seam: across the split the fused picture is as near the truth as elsewhere.
    EXPECT_LT(rmsDifference(fused, truth, split - 12, split + 12), 0.5 * blurLeft);

    const PictureData depth = stack.depthMap();
    ASSERT_EQ(depth.channels, 1);
    int leftA = 0, rightB = 0, total = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < 180; ++x) {
            leftA += depth.samples[y * w + x] == 0;
            rightB += depth.samples[y * w + w - 1 - x] == 255;
            ++total;
        }
    EXPECT_GT(leftA, 0.95 * total);
    EXPECT_GT(rightB, 0.95 * total);
}

class FocusStackFiles : public ::testing::Test {
protected:
    test::TempFolder dir{"qelvo-stack"};

    std::string write(const std::string& name, PictureData picture, double micrometres = 0,
                      const std::string& objective = "") {
        picture.calibration = {micrometres, objective};
        std::string error;
        EXPECT_TRUE(writePictureFile(dir / name, picture, &error)) << error;
        return dir / name;
    }
    std::size_t files() const {
        return static_cast<std::size_t>(
            std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()));
    }
};

TEST_F(FocusStackFiles, RefusesBadInputsAndCancelWritingNothing) {
    const Specimen specimen(5);
    const std::string a = write("a.png", paint(specimen, 200, 150));
    const std::string b = write("b.png", blurred(paint(specimen, 200, 150), 2));
    const std::string small = write("small.png", paint(specimen, 160, 150));
    const std::string bad = dir / "bad.png";
    std::ofstream(bad) << "not a picture";
    const std::size_t before = files();

    std::string error;
    const auto refused = [&](std::vector<std::string> inputs, const std::string& mention) {
        FocusStackRequest request{std::move(inputs), dir / "out.tif", dir / "depth.png"};
        error.clear();
        EXPECT_FALSE(stackFocusFiles(request, {}, &error));
        EXPECT_NE(error.find(mention), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
        EXPECT_EQ(files(), before) << error;
    };
    refused({a}, "two");
    refused({a, small}, "small.png");
    refused({a, bad}, "bad.png");
    refused({a, dir / "missing.png"}, "missing.png");
    // The depth map under the picture's name spelt another way would take its place.
    FocusStackRequest alike{{a, b}, dir / "out.png", dir.path() + "/./out.png"};
    EXPECT_FALSE(stackFocusFiles(alike, {}, &error));
    EXPECT_NE(error.find("out.png"), std::string::npos) << error;
    EXPECT_EQ(files(), before) << error;

    // Cancelled half-way: the job stops between slices and leaves nothing.
    std::atomic<bool> cancel{false};
    CombineProgress progress;
    progress.cancel = &cancel;
    progress.report = [&](double fraction, const std::string&) {
        if (fraction > 0.3) cancel = true;
    };
    FocusStackRequest request{{a, b, a}, dir / "out.tif", dir / "depth.png"};
    EXPECT_FALSE(stackFocusFiles(request, progress, &error));
    EXPECT_EQ(error, kCancelled);
    EXPECT_EQ(files(), before);
}

TEST_F(FocusStackFiles, CarriesCalibrationOnlyWhenInputsAgreeAndKeepsSixteenBits) {
    const Specimen specimen(11);
    PictureData sharp16 = paint(specimen, 200, 150);
    PictureData soft16 = blurred(sharp16, 2);
    for (PictureData* p : {&sharp16, &soft16}) {
        std::vector<std::uint8_t> wide(p->samples.size() * 2);
        for (std::size_t i = 0; i < p->samples.size(); ++i) {
            const std::uint16_t v = static_cast<std::uint16_t>(p->samples[i] * 257);
            std::memcpy(&wide[i * 2], &v, 2);
        }
        p->samples = std::move(wide);
        p->bitsPerSample = 16;
    }
    const std::string a = write("a.tif", sharp16, 0.345, "40x");
    const std::string b = write("b.tif", soft16, 0.345, "40x");
    const std::string c = write("c.tif", soft16, 0.5, "40x");

    std::string error;
    ASSERT_TRUE(stackFocusFiles({{a, b}, dir / "agree.tif", dir / "depth.png"}, {}, &error))
        << error;
    auto out = readPictureFile(dir / "agree.tif", &error);
    ASSERT_TRUE(out) << error;
    EXPECT_EQ(out->bitsPerSample, 16);
    EXPECT_EQ(out->channels, 3);
    EXPECT_NEAR(out->calibration.micrometresPerPixel, 0.345, 1e-6);
    EXPECT_EQ(out->calibration.objective, "40x");
    const auto depth = readPictureFile(dir / "depth.png", &error);
    ASSERT_TRUE(depth) << error;
    EXPECT_EQ(depth->width, 200);
    EXPECT_EQ(depth->channels, 1);

    ASSERT_TRUE(stackFocusFiles({{a, c}, dir / "differ.png", ""}, {}, &error)) << error;
    out = readPictureFile(dir / "differ.png", &error);
    ASSERT_TRUE(out) << error;
    EXPECT_FALSE(out->calibration.calibrated());
}

}  // namespace
}  // namespace qelvo::combine
