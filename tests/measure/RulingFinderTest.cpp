// The ruling finder on synthetic graticules drawn at a known pitch: the case table prints
// every case's error; the pixel size must come out within 0.2% of the truth.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "measure/RulingFinder.h"
#include "support/Graticule.h"

namespace qelvo::measure {
namespace {

Ruling find(const std::vector<std::uint8_t>& pixels, int width, int height) {
    return findRuling(GreyView{pixels.data(), width, height, width});
}

struct Case {
    const char* name;
    test::GraticuleLayout layout;
};

test::GraticuleLayout layout(double pitch, double angle, double blur, double noise) {
    test::GraticuleLayout g;
    g.pitch = pitch;
    g.angleDegrees = angle;
    g.blur = blur;
    g.noise = noise;
    g.phase = pitch * 0.37;
    g.seed = static_cast<unsigned>(pitch * 100 + angle);
    return g;
}

std::vector<Case> cases() {
    std::vector<Case> list;
    auto add = [&](const char* name, test::GraticuleLayout g) { list.push_back({name, g}); };
    add("fine, upright", layout(20.0, 0.0, 0.7, 3));
    add("fine, 45 degrees", layout(20.3, 45.0, 1.0, 5));
    add("tilted, blurred", layout(33.3, 7.0, 2.5, 8));
    add("blurred, noisy", layout(47.7, 15.0, 3.0, 15));
    add("wide, diagonal", layout(90.0, 44.0, 2.0, 5));
    add("other way round", layout(57.1, -33.0, 1.5, 6));
    {
        auto g = layout(61.2, 30.0, 1.2, 10);
        g.ground = 30;
        g.ink = 220;
        add("bright on dark", g);
    }
    {
        auto g = layout(25.4, 45.0, 1.0, 6);
        g.crossGrid = true;
        add("cross grid, 45", g);
    }
    {
        auto g = layout(72.5, 22.0, 2.0, 8);
        g.crossGrid = true;
        g.ground = 25;
        g.ink = 200;
        add("cross grid, bright", g);
    }
    {
        auto g = layout(40.3, 12.0, 1.5, 8);
        g.left = 0.55;
        g.top = 0.5;
        add("quarter of the picture", g);
    }
    {
        auto g = layout(20.7, 38.0, 1.0, 6);
        g.top = 0.35;
        g.bottom = 0.6;
        g.left = 0.1;
        g.right = 0.9;
        add("band across", g);
    }
    {
        auto g = layout(28.9, 3.0, 1.2, 5);
        g.ticks = true;
        g.top = 0.3;
        g.bottom = 0.7;
        g.lineWidth = 2.0;
        add("micrometer ticks", g);
    }
    add("very noisy", layout(55.0, 27.0, 4.0, 40));
    {
        auto g = layout(37.0, 41.0, 1.5, 6);
        g.ground = 130;
        g.ink = 110;
        add("low contrast", g);
    }
    add("lines melted by blur", layout(20.0, 29.0, 5.0, 4));
    {
        auto g = layout(88.8, 1.0, 1.0, 5);
        g.lineWidth = 20;
        add("wide lines", g);
    }
    {
        // Thin sharp lines: the harmonics are nearly as strong as the fundamental.
        auto g = layout(64.0, 19.0, 0.0, 3);
        g.lineWidth = 1.0;
        add("thin sharp lines", g);
    }
    {
        auto g = layout(42.0, 9.0, 1.0, 6);
        g.vignetting = 0.5;
        add("uneven light", g);
    }
    {
        auto g = layout(31.7, 18.0, 1.8, 10);
        g.width = 2592;
        g.height = 1944;
        g.left = 0.2;
        g.right = 0.7;
        g.top = 0.1;
        g.bottom = 0.8;
        add("camera size, part", g);
    }
    return list;
}

TEST(RulingFinder, PitchWithinTwoPerMilleOnEveryCase) {
    double worst = 0.0;
    std::string worstName;
    std::printf("%-24s %7s %6s %5s %5s %5s  %9s %8s %7s %s\n", "case", "pitch", "angle", "blur",
                "noise", "cross", "found", "error%", "angle", "strength");
    for (const Case& c : cases()) {
        const auto pixels = test::renderGraticule(c.layout);
        const Ruling r = find(pixels, c.layout.width, c.layout.height);
        const double error = r.found ? (r.pitchPixels / c.layout.pitch - 1.0) * 100.0 : NAN;
        const double angleError = std::remainder(r.angleDegrees - c.layout.angleDegrees,
                                                 c.layout.crossGrid ? 90.0 : 180.0);
        std::printf("%-24s %7.2f %6.1f %5.1f %5.1f %5s  %9.4f %8.4f %7.3f %.2f%s\n", c.name,
                    c.layout.pitch, c.layout.angleDegrees, c.layout.blur, c.layout.noise,
                    c.layout.crossGrid ? "yes" : "no", r.pitchPixels, error, angleError, r.strength,
                    r.found ? "" : ("  " + r.reason).c_str());
        ASSERT_TRUE(r.found) << c.name << ": " << r.reason;
        EXPECT_LT(std::fabs(error), 0.2) << c.name;
        EXPECT_LT(std::fabs(angleError), 0.5) << c.name;
        EXPECT_EQ(r.crossGrid, c.layout.crossGrid) << c.name;
        if (std::fabs(error) > worst) {
            worst = std::fabs(error);
            worstName = c.name;
        }
    }
    std::printf("worst pitch error: %.4f%% (%s)\n", worst, worstName.c_str());
}

// Random graticules (fixed seed) of every kind the table has, mixed, with at least about a
// dozen lines in their covered part.
TEST(RulingFinder, RandomGraticulesWithinTwoPerMille) {
    std::mt19937 random(2024);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    for (int i = 0; i < 30; ++i) {
        test::GraticuleLayout g =
            layout(20 + 40 * unit(random), 45 * unit(random), 3 * unit(random), 20 * unit(random));
        g.lineWidth = 1 + 0.25 * g.pitch * unit(random);
        const bool bright = unit(random) < 0.5;
        g.ground = bright ? 20 + 40 * unit(random) : 160 + 80 * unit(random);
        g.ink = bright ? 150 + 100 * unit(random) : 10 + 100 * unit(random);
        g.crossGrid = unit(random) < 0.3;
        g.ticks = !g.crossGrid && unit(random) < 0.2;
        const double w = 0.6 + 0.4 * unit(random), h = 0.6 + 0.4 * unit(random);
        g.left = (1 - w) * unit(random);
        g.right = g.left + w;
        g.top = (1 - h) * unit(random);
        g.bottom = g.top + h;
        g.vignetting = 0.4 * unit(random);
        g.seed = static_cast<unsigned>(i + 100);
        const auto pixels = test::renderGraticule(g);
        const Ruling r = find(pixels, g.width, g.height);
        ASSERT_TRUE(r.found) << "case " << i << ": " << r.reason;
        EXPECT_LT(std::fabs(r.pitchPixels / g.pitch - 1), 0.002)
            << "case " << i << ": pitch " << g.pitch << " found " << r.pitchPixels;
    }
}

TEST(RulingFinder, FindsWhereTheLinesAre) {
    auto g = layout(40.0, 0.0, 1.0, 3);
    g.phase = 10.0;  // a dark line 10 px right of the centre
    g.left = 0.5;
    g.top = 0.25;
    g.bottom = 0.75;
    const auto pixels = test::renderGraticule(g);
    const Ruling r = find(pixels, g.width, g.height);
    ASSERT_TRUE(r.found) << r.reason;
    EXPECT_NEAR(r.phasePixels, 10.0, 1.0);
    // The covered part: the right half, middle rows (to within a block of the edge).
    EXPECT_NEAR(r.left, 640, 80);
    EXPECT_NEAR(r.right, 1280, 80);
    EXPECT_NEAR(r.top, 240, 80);
    EXPECT_NEAR(r.bottom, 720, 80);
    EXPECT_GT(r.strength, 0.5);

    g.ground = 20;
    g.ink = 230;  // bright lines: the same place
    const auto bright = test::renderGraticule(g);
    EXPECT_NEAR(find(bright, g.width, g.height).phasePixels, 10.0, 1.0);
}

TEST(RulingFinder, NoRulingInPicturesWithout) {
    const int w = 1280, h = 960;
    std::vector<std::uint8_t> plain(static_cast<std::size_t>(w) * h, 128);
    std::vector<std::uint8_t> noise(plain.size()), gradient(plain.size());
    std::mt19937 random(7);
    std::normal_distribution<double> normal(128.0, 30.0);
    for (std::size_t i = 0; i < noise.size(); ++i) {
        noise[i] = static_cast<std::uint8_t>(std::clamp(std::lround(normal(random)), 0L, 255L));
        gradient[i] = static_cast<std::uint8_t>(40 + (i % w) * 150 / w + (i / w) * 50 / h);
    }
    const std::pair<const char*, std::vector<std::uint8_t>> pictures[] = {
        {"plain", plain},
        {"noise", noise},
        {"gradient", gradient},
        {"scene", test::renderScene(w, h, 3)},
        {"other scene", test::renderScene(w, h, 11, 12.0)},
        {"clean scene", test::renderScene(w, h, 5, 0.0)},
    };
    for (const auto& [name, pixels] : pictures) {
        const Ruling r = find(pixels, w, h);
        EXPECT_FALSE(r.found) << name << ": pitch " << r.pitchPixels;
        EXPECT_NE(r.reason.find("no regular ruling found"), std::string::npos)
            << name << ": " << r.reason;
    }
    // Odd shapes and strides: an answer, never a fault.
    for (const auto& [sw, sh] : {std::pair{64, 64}, {64, 3000}, {5000, 70}, {97, 131}}) {
        test::GraticuleLayout g = layout(9.5, 30.0, 0.7, 4);
        g.width = sw;
        g.height = sh;
        const auto lines = test::renderGraticule(g);
        std::vector<std::uint8_t> padded(static_cast<std::size_t>(sw + 13) * sh);
        for (int y = 0; y < sh; ++y)
            std::copy_n(&lines[static_cast<std::size_t>(y) * sw], sw, &padded[y * (sw + 13)]);
        const Ruling r = findRuling(GreyView{padded.data(), sw, sh, sw + 13});
        if (r.found)
            EXPECT_NEAR(r.pitchPixels, 9.5, 0.1) << sw << "x" << sh;
        else
            EXPECT_FALSE(r.reason.empty());
    }
    std::vector<std::uint8_t> tiny(32 * 32, 100);
    EXPECT_FALSE(find(tiny, 32, 32).found);
    EXPECT_FALSE(findRuling(GreyView{}).found);
}

}  // namespace
}  // namespace qelvo::measure
