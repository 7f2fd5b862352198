// A virtual device showing a specimen, through the real graph: the picture, the camera's
// noise, vignetting and dark level, and the lens (focus, pan, tilt).
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <fstream>
#include <random>

#include "media/MediaTestSupport.h"
#include "media/SourceControls.h"
#include "media/VirtualLens.h"
#include "media/VirtualSpecimenInternal.h"
#include "support/TempFolder.h"

namespace qelvo {
namespace {

using test::GrabbedDevice;

// A picture of random grey blobs of several sizes: textured everywhere, so that any shift of
// it is found again and blurring it lowers its sharpness clearly.
QImage texturePicture(int width, int height, std::uint32_t seed) {
    QImage picture(width, height, QImage::Format_RGB888);
    picture.fill(QColor(128, 128, 128));
    QPainter painter(&picture);
    painter.setPen(Qt::NoPen);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> level(20, 235), x(0, width), y(0, height), r(2, 14);
    for (int i = 0; i < width * height / 60; ++i) {
        const int g = level(random);
        painter.setBrush(QColor(g, 255 - g, (g * 7) % 256));
        const int radius = r(random);
        painter.drawEllipse(QPoint(x(random), y(random)), radius, radius);
    }
    return picture;
}

class VirtualSpecimen : public ::testing::Test {
protected:
    std::string save(const QImage& picture, const std::string& name) {
        const std::string path = dir_.path() + "/" + name;
        EXPECT_TRUE(picture.save(QString::fromStdString(path)));
        return path;
    }
    static QImage flat(int grey) {
        QImage picture(320, 240, QImage::Format_RGB888);
        picture.fill(QColor(grey, grey, grey));
        return picture;
    }
    test::TempFolder dir_;
};

// Mean and standard deviation of every sample of a frame's rectangle.
std::pair<double, double> statistics(const std::vector<std::uint8_t>& frame, int width, int x0,
                                     int y0, int w, int h) {
    double sum = 0, squares = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int i = x0 * 3; i < (x0 + w) * 3; ++i) {
            const double v = frame[(static_cast<std::size_t>(y) * width) * 3 + i];
            sum += v;
            squares += v * v;
        }
    const double n = 3.0 * w * h;
    const double mean = sum / n;
    return {mean, std::sqrt(std::max(0.0, squares / n - mean * mean))};
}

// Variance of the Laplacian of the green samples: higher for a sharper picture.
double sharpness(const std::vector<std::uint8_t>& frame, int width, int height) {
    auto g = [&](int x, int y) { return double(frame[(y * width + x) * 3 + 1]); };
    double sum = 0, squares = 0;
    int n = 0;
    for (int y = 1; y < height - 1; ++y)
        for (int x = 1; x < width - 1; ++x) {
            const double l = g(x - 1, y) + g(x + 1, y) + g(x, y - 1) + g(x, y + 1) - 4 * g(x, y);
            sum += l;
            squares += l * l;
            ++n;
        }
    return squares / n - (sum / n) * (sum / n);
}

// The horizontal shift (within +-range) that best carries frame `a` onto frame `b`.
int horizontalShift(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b,
                    int width, int height, int range) {
    int best = 0;
    double bestError = 1e300;
    for (int shift = -range; shift <= range; ++shift) {
        double error = 0;
        for (int y = 0; y < height; y += 2)
            for (int x = range; x < width - range; x += 2) {
                const double d =
                    double(a[(y * width + x) * 3 + 1]) - b[(y * width + x - shift) * 3 + 1];
                error += d * d;
            }
        if (error < bestError) {
            bestError = error;
            best = shift;
        }
    }
    return best;
}

TEST_F(VirtualSpecimen, FramesShowThePictureScaledToCoverTheFrameAndStandStill) {
    // 400 x 200 on a 200 x 150 frame: scaled by 0.75 to 300 x 150, the middle 200 columns.
    const QImage picture = texturePicture(400, 200, 3);
    const std::string path = save(picture, "specimen.png");
    GrabbedDevice device("Scope{specimen=" + path + ",size=200x150,motion=0,overlay=0,live=0}");
    ASSERT_TRUE(device.ok());
    const std::vector<std::uint8_t> frame = device.nextFrame();
    ASSERT_EQ(frame.size(), 200u * 150 * 3);
    const QImage expected =
        picture.scaled(300, 150, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .copy(50, 0, 200, 150)
            .convertToFormat(QImage::Format_BGR888);
    double difference = 0;
    for (int y = 0; y < 150; ++y)
        for (int i = 0; i < 600; ++i)
            difference += std::abs(int(frame[y * 600 + i]) - expected.constScanLine(y)[i]);
    EXPECT_LT(difference / (150 * 600), 1.0);
    // Without movement or burnt-in time it stands still, and it hides the test pattern.
    EXPECT_EQ(device.nextFrame(), frame);
    SourcePictureControls controls(device.source());
    EXPECT_FALSE(controls.hasPattern());
}

TEST(ShippedSpecimen, IsFoundByItsNameAndLooksLikeAStainedSmear) {
    std::string why;
    const auto picture = loadSpecimenPicture("blood-smear.jpg", why);
    ASSERT_TRUE(picture) << why;
    EXPECT_EQ(picture->size(), QSize(2048, 1536));
    // A bright background with red-stained cells: red stays high, green is absorbed most.
    double r = 0, g = 0, b = 0;
    for (int y = 0; y < picture->height(); y += 4)
        for (int x = 0; x < picture->width(); x += 4) {
            const uchar* p = picture->constScanLine(y) + x * 3;  // B, G, R
            b += p[0];
            g += p[1];
            r += p[2];
        }
    EXPECT_GT(r, g * 1.1);
    EXPECT_GT(b, g);
    EXPECT_EQ(loadSpecimenPicture("no-such-specimen.jpg", why), nullptr);
    EXPECT_EQ(why, "no such file");
}

TEST_F(VirtualSpecimen, AnUnreadablePictureIsReportedAndTheTestPatternShown) {
    const std::string notAPicture = dir_.path() + "/broken.jpg";
    std::ofstream(notAPicture) << "not a JPEG";
    for (const std::string& path : {notAPicture, dir_.path() + "/missing.png"}) {
        SCOPED_TRACE(path);
        testing::internal::CaptureStderr();
        GrabbedDevice device("Broken{specimen=" + path +
                             ",size=160x120,motion=0,overlay=0,live=0}");
        const std::string errors = testing::internal::GetCapturedStderr();
        ASSERT_TRUE(device.ok());
        EXPECT_NE(errors.find(path), std::string::npos) << errors;
        EXPECT_NE(errors.find("test pattern"), std::string::npos) << errors;
        const std::vector<std::uint8_t> frame = device.nextFrame();
        ASSERT_FALSE(frame.empty());
        EXPECT_NEAR(frame[0], 255, 3);  // the pattern's white top left corner
    }
}

TEST_F(VirtualSpecimen, NoiseIsGaussianOfTheSigmaAskedAndFreshEveryFrame) {
    const std::string path = save(flat(120), "grey.png");
    GrabbedDevice device("Noisy{specimen=" + path +
                         ",size=320x240,noise=6,motion=0,overlay=0,live=0}");
    ASSERT_TRUE(device.ok());
    std::vector<std::vector<std::uint8_t>> frames;
    for (int i = 0; i < 16; ++i) frames.push_back(device.nextFrame(0));
    ASSERT_FALSE(frames.back().empty());
    const auto [mean, sigma] = statistics(frames[0], 320, 0, 0, 320, 240);
    EXPECT_NEAR(mean, 120, 0.3);
    EXPECT_NEAR(sigma, 6, 0.3);
    // Gaussian: the shares within one and two sigma of the mean (levels are whole numbers, so
    // +-6 holds what lay within +-6.5).
    for (int reach : {6, 12}) {
        int within = 0;
        for (std::uint8_t v : frames[0]) within += std::abs(v - 120) <= reach;
        EXPECT_NEAR(within / double(frames[0].size()),
                    std::erf((reach + 0.5) / (6 * std::sqrt(2.0))), 0.015)
            << reach;
    }
    // Fresh on every frame: the average of 16 frames has a quarter of the noise.
    std::vector<std::uint8_t> average(frames[0].size());
    for (std::size_t i = 0; i < average.size(); ++i) {
        int sum = 0;
        for (const auto& f : frames) sum += f[i];
        average[i] = static_cast<std::uint8_t>(std::lround(sum / 16.0));
    }
    EXPECT_NEAR(statistics(average, 320, 0, 0, 320, 240).second, 6 / 4.0, 0.3);
}

TEST_F(VirtualSpecimen, VignettingDarkensTheCornersAndTheDarkLevelIsAdded) {
    const std::string path = save(flat(200), "bright.png");
    GrabbedDevice device("Vignetted{specimen=" + path +
                         ",size=320x240,vignette=0.4,dark=10,motion=0,overlay=0,live=0}");
    ASSERT_TRUE(device.ok());
    const std::vector<std::uint8_t> frame = device.nextFrame();
    ASSERT_FALSE(frame.empty());
    const double centre = statistics(frame, 320, 158, 118, 4, 4).first;
    const double corner = statistics(frame, 320, 0, 0, 2, 2).first;
    const double otherCorner = statistics(frame, 320, 318, 238, 2, 2).first;
    EXPECT_NEAR(centre, 210, 1.5);
    EXPECT_NEAR((corner - 10) / (centre - 10), 0.4, 0.02);
    EXPECT_NEAR(otherCorner, corner, 1.5);
    // Half way out along the diagonal a quarter of the loss.
    const double halfWay = statistics(frame, 320, 79, 59, 2, 2).first;
    EXPECT_NEAR((halfWay - 10) / (centre - 10), 1 - 0.6 / 4, 0.02);
}

TEST_F(VirtualSpecimen, TheCameraEffectsAlsoActOnTheTestPattern) {
    GrabbedDevice device("Dim Cam{pattern=black,size=320x240,dark=20,noise=3,overlay=0,live=0}");
    ASSERT_TRUE(device.ok());
    const auto [mean, sigma] = statistics(device.nextFrame(), 320, 0, 0, 320, 240);
    EXPECT_NEAR(mean, 20, 0.3);
    EXPECT_NEAR(sigma, 3, 0.2);
}

TEST_F(VirtualSpecimen, FocusFarFromItsSharpPositionBlurs) {
    const std::string path = save(texturePicture(800, 600, 5), "texture.png");
    const std::string name = "Focus Scope";
    GrabbedDevice device(name + "{specimen=" + path +
                         ",size=320x240,controls,focus=100,motion=0,overlay=0,live=0}");
    ASSERT_TRUE(device.ok());
    const double automatic = sharpness(device.nextFrame(), 320, 240);
    setVirtualLensControl(name, VirtualLensControl::AutoFocus, 0, 0, 1);
    std::vector<double> byFocus;
    for (int focus : {100, 110, 140, 250, 0}) {
        setVirtualLensControl(name, VirtualLensControl::Focus, focus, 0, 250);
        byFocus.push_back(sharpness(device.nextFrame(), 320, 240));
    }
    EXPECT_NEAR(byFocus[0], automatic, automatic * 0.01);  // in focus, as automatic focus is
    EXPECT_LT(byFocus[1], byFocus[0] * 0.8);
    EXPECT_LT(byFocus[2], byFocus[1] * 0.8);
    EXPECT_LT(byFocus[3], byFocus[2] * 0.8);
    // 100 below the sharp position blurs less than 150 above it, more than 10 above.
    EXPECT_GT(byFocus[4], byFocus[3]);
    EXPECT_LT(byFocus[4], byFocus[1]);
}

TEST_F(VirtualSpecimen, PanAndTiltMoveTheFieldOfViewAcrossTheSpecimen) {
    const std::string path = save(texturePicture(800, 600, 9), "field.png");
    const std::string name = "Pan Scope";
    GrabbedDevice device(name + "{specimen=" + path +
                         ",size=320x240,controls,motion=0,overlay=0,live=0}");
    ASSERT_TRUE(device.ok());
    int scaledWidth = 0, scaledHeight = 0;
    SpecimenRenderer::scaledSize(800, 600, 320, 240, true, scaledWidth, scaledHeight);
    ASSERT_GT(scaledWidth, 320);
    ASSERT_GT(scaledHeight, 240);
    const std::vector<std::uint8_t> centred = device.nextFrame();
    // One pan step of 3600 in -36000..36000 moves the view a twentieth of the room to the right.
    setVirtualLensControl(name, VirtualLensControl::Pan, 3600, -36000, 36000);
    const std::vector<std::uint8_t> panned = device.nextFrame();
    const int room = scaledWidth - 320;
    const long expected = std::lround(0.55 * room) - std::lround(0.5 * room);
    EXPECT_EQ(horizontalShift(centred, panned, 320, 240, 40), expected);
    // Tilting to the top of the range shows the specimen's top rows.
    setVirtualLensControl(name, VirtualLensControl::Pan, -36000, -36000, 36000);
    setVirtualLensControl(name, VirtualLensControl::Tilt, 36000, -36000, 36000);
    const std::vector<std::uint8_t> topLeft = device.nextFrame();
    const QImage expectedTopLeft =
        QImage(QString::fromStdString(path))
            .scaled(scaledWidth, scaledHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_BGR888);
    double difference = 0;
    for (int y = 0; y < 240; ++y)
        for (int i = 0; i < 960; ++i)
            difference += std::abs(int(topLeft[y * 960 + i]) - expectedTopLeft.constScanLine(y)[i]);
    EXPECT_LT(difference / (240 * 960), 1.0);
}

TEST(SpecimenScale, CoversTheFrameAndLeavesALensRoomWithoutGrowingHuge) {
    struct Case {
        int pw, ph, fw, fh;
    };
    for (const Case c :
         {Case{2048, 1536, 640, 480}, Case{2048, 1536, 1280, 720}, Case{400, 300, 1280, 720},
          Case{30000, 20000, 640, 480}, Case{3000, 100, 640, 480}}) {
        SCOPED_TRACE(std::to_string(c.pw) + "x" + std::to_string(c.ph) + " on " +
                     std::to_string(c.fw) + "x" + std::to_string(c.fh));
        int w = 0, h = 0;
        SpecimenRenderer::scaledSize(c.pw, c.ph, c.fw, c.fh, false, w, h);
        EXPECT_TRUE((w == c.fw && h >= c.fh) || (h == c.fh && w >= c.fw)) << w << "x" << h;
        SpecimenRenderer::scaledSize(c.pw, c.ph, c.fw, c.fh, true, w, h);
        EXPECT_GE(std::min(double(w) / c.fw, double(h) / c.fh), 1.5 - 0.01) << w << "x" << h;
        EXPECT_LE(double(w) * h, 16.0e6 * 1.001);
    }
}

TEST_F(VirtualSpecimen, MotionDriftsTheSpecimenAndCanBeChanged) {
    const std::string path = save(texturePicture(640, 480, 11), "drift.png");
    GrabbedDevice device("Drift{specimen=" + path + ",size=320x240,motion=3,overlay=0}");
    ASSERT_TRUE(device.ok());
    SourcePictureControls controls(device.source());
    EXPECT_EQ(controls.motion(), 3);
    controls.setMotion(0);
    const std::vector<std::uint8_t> still = device.nextFrame(4);
    EXPECT_EQ(device.nextFrame(4), still);
    controls.setMotion(4);
    const std::vector<std::uint8_t> a = device.nextFrame(0);
    const std::vector<std::uint8_t> b = device.nextFrame(0);
    const int shift = horizontalShift(a, b, 320, 240, 40);
    EXPECT_EQ(shift % 4, 0);
    EXPECT_GE(shift, 4);
}

}  // namespace
}  // namespace qelvo
