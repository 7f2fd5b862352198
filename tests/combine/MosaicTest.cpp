// Mosaics: tiles cut from a known picture, shuffled, placed, evened out and blended; the file
// job's refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "combine/Mosaic.h"
#include "combine/MosaicFiles.h"
#include "support/TempFolder.h"

namespace qelvo::combine {
namespace {

// A detailed colour picture: value noise over several scales, different in each channel.
struct Texture {
    int width, height;
    std::vector<float> values;  // 3 per pixel, 0..255

    Texture(int w, int h, unsigned seed) : width(w), height(h), values(std::size_t(w) * h * 3) {
        std::mt19937 random(seed);
        std::uniform_real_distribution<float> uniform(0.f, 1.f);
        for (int cell : {48, 13, 4}) {
            const int gw = w / cell + 2, gh = h / cell + 2;
            for (int c = 0; c < 3; ++c) {
                std::vector<float> grid(std::size_t(gw) * gh);
                for (float& g : grid) g = uniform(random);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const float fx = float(x) / cell, fy = float(y) / cell;
                        const int ix = int(fx), iy = int(fy);
                        const float ax = fx - ix, ay = fy - iy;
                        auto at = [&](int gx, int gy) { return grid[std::size_t(gy) * gw + gx]; };
                        const float v = (at(ix, iy) * (1 - ax) + at(ix + 1, iy) * ax) * (1 - ay) +
                                        (at(ix, iy + 1) * (1 - ax) + at(ix + 1, iy + 1) * ax) * ay;
                        values[(std::size_t(y) * w + x) * 3 + c] += v * 70.f;
                    }
            }
        }
        for (float& v : values) v += 20.f;
    }

    // Bilinear sample of channel c at (x, y).
    float at(double x, double y, int c) const {
        const int ix = std::clamp(int(std::floor(x)), 0, width - 2);
        const int iy = std::clamp(int(std::floor(y)), 0, height - 2);
        const float ax = float(x - ix), ay = float(y - iy);
        auto v = [&](int px, int py) { return values[(std::size_t(py) * width + px) * 3 + c]; };
        return (v(ix, iy) * (1 - ax) + v(ix + 1, iy) * ax) * (1 - ay) +
               (v(ix, iy + 1) * (1 - ax) + v(ix + 1, iy + 1) * ax) * ay;
    }

    // The w x h part whose top-left lies at (x, y), turned by `degrees` about it, times `gain`.
    PictureData cut(double x, double y, int w, int h, double gain = 1.0, int bits = 8,
                    double degrees = 0.0) const {
        const double cs = std::cos(degrees * M_PI / 180.0), sn = std::sin(degrees * M_PI / 180.0);
        PictureData p;
        p.width = w;
        p.height = h;
        p.channels = 3;
        p.bitsPerSample = bits;
        p.samples.resize(p.rowBytes() * h);
        for (int py = 0; py < h; ++py)
            for (int px = 0; px < w; ++px)
                for (int ch = 0; ch < 3; ++ch) {
                    const double v = std::clamp(
                        at(x + cs * px - sn * py, y + sn * px + cs * py, ch) * gain, 0.0, 255.0);
                    const std::size_t i = (std::size_t(py) * w + px) * 3 + ch;
                    if (bits == 16)
                        reinterpret_cast<std::uint16_t*>(p.samples.data())[i] =
                            static_cast<std::uint16_t>(std::lround(v * 257.0));
                    else
                        p.samples[i] = static_cast<std::uint8_t>(std::lround(v));
                }
        return p;
    }
};

struct Cut {
    double x, y;
};

TEST(Mosaic, PlacesShuffledTilesAtTheirKnownOffsets) {
    const Texture source(1000, 760, 7);
    // A 3 x 2 grid of 400 x 300 tiles, about a quarter overlapping, off the grid by fractions.
    std::vector<Cut> cuts = {{10, 12},      {305.4, 8.7},   {598.25, 15.5},
                             {14.6, 231.3}, {301.8, 236.1}, {592.5, 229.75}};
    std::vector<std::size_t> order = {4, 0, 5, 2, 3, 1};
    std::vector<PictureData> tiles;
    for (std::size_t i : order) tiles.push_back(source.cut(cuts[i].x, cuts[i].y, 400, 300));
    std::vector<const PictureData*> pointers;
    for (const PictureData& t : tiles) pointers.push_back(&t);

    const auto placement = placeTiles(pointers);
    ASSERT_TRUE(placement);
    ASSERT_TRUE(placement->complete());
    EXPECT_EQ(placement->offsets[0].x, 0.0);
    EXPECT_EQ(placement->offsets[0].y, 0.0);
    for (std::size_t k = 0; k < order.size(); ++k) {
        EXPECT_NEAR(placement->offsets[k].x, cuts[order[k]].x - cuts[order[0]].x, 0.5) << k;
        EXPECT_NEAR(placement->offsets[k].y, cuts[order[k]].y - cuts[order[0]].y, 0.5) << k;
    }

    // Laid out, the mosaic is the source again over the tiles' union.
    const auto mosaic = composeMosaic(tiles, *placement);
    ASSERT_TRUE(mosaic);
    const PictureData& m = mosaic->picture;
    // In the first tile's frame (cut at 301.8, 236.1) the union runs from x = -291.8 and
    // y = -227.4 to 696.45 and 300; a tile moved by a fraction loses its first column or row.
    EXPECT_EQ(m.width, 696 + 291);
    EXPECT_EQ(m.height, 300 + 227);
    const double originX = cuts[order[0]].x - mosaic->firstTileX;
    const double originY = cuts[order[0]].y - mosaic->firstTileY;
    double sum = 0.0;
    int count = 0;
    for (int y = 30; y < m.height - 30; y += 3)
        for (int x = 30; x < m.width - 30; x += 3) {
            const double d = m.samples[(std::size_t(y) * m.width + x) * 3 + 1] -
                             source.at(originX + x, originY + y, 1);
            sum += d * d;
            ++count;
        }
    const double rms = std::sqrt(sum / count);
    EXPECT_LT(rms, 3.0);
}

TEST(Mosaic, BlankPartsOfAnOverlapDoNotMisleadThePlacement) {
    // A narrow overlap, its upper half blank (black background): only the lower half tells
    // where the tiles meet.
    const Texture source(700, 400, 13);
    std::vector<PictureData> tiles = {source.cut(0, 0, 300, 200), source.cut(240.0, 3.0, 300, 200)};
    for (int k = 0; k < 2; ++k) {
        const int blankRows = k == 0 ? 100 : 97;  // the same specimen rows in both
        std::fill(tiles[k].samples.begin(),
                  tiles[k].samples.begin() + tiles[k].rowBytes() * blankRows, 0);
    }
    const auto placement = placeTiles({&tiles[0], &tiles[1]});
    ASSERT_TRUE(placement);
    ASSERT_TRUE(placement->complete());
    EXPECT_NEAR(placement->offsets[1].x, 240.0, 0.5);
    EXPECT_NEAR(placement->offsets[1].y, 3.0, 0.5);
    EXPECT_NEAR(placement->offsets[1].degrees, 0.0, 0.05);
}

TEST(Mosaic, RecoversSmallTurns) {
    const Texture source(1000, 760, 21);
    // Four 460 x 340 tiles; the second and the fourth turned about their top-left corners.
    struct Turned {
        double x, y, degrees;
    };
    const Turned truth[4] = {
        {20, 20, 0.0}, {330.3, 24.6, -0.7}, {18.5, 250.2, 0.0}, {326.7, 247.4, 1.1}};
    std::vector<PictureData> tiles;
    for (const Turned& t : truth)
        tiles.push_back(source.cut(t.x, t.y, 460, 340, 1.0, 8, t.degrees));
    std::vector<const PictureData*> pointers;
    for (const PictureData& t : tiles) pointers.push_back(&t);
    const auto placement = placeTiles(pointers);
    ASSERT_TRUE(placement && placement->complete());
    // Every corner of every tile where it was cut from, within a pixel.
    auto map = [](double x, double y, double degrees, double u, double v) {
        const double a = degrees * M_PI / 180.0;
        return std::pair{x + std::cos(a) * u - std::sin(a) * v,
                         y + std::sin(a) * u + std::cos(a) * v};
    };
    for (int k = 0; k < 4; ++k) {
        const TileOffset& o = placement->offsets[k];
        EXPECT_NEAR(o.degrees, truth[k].degrees, 0.1) << k;
        for (const auto& [u, v] : {std::pair{0, 0}, {459, 0}, {0, 339}, {459, 339}}) {
            const auto [ex, ey] = map(o.x, o.y, o.degrees, u, v);
            const auto [tx, ty] = map(truth[k].x, truth[k].y, truth[k].degrees, u, v);
            EXPECT_NEAR(ex, tx - truth[0].x, 1.0) << k << " " << u << "," << v;
            EXPECT_NEAR(ey, ty - truth[0].y, 1.0) << k << " " << u << "," << v;
        }
    }
    // Laid out turned, the mosaic matches the source.
    const auto mosaic = composeMosaic(tiles, *placement);
    ASSERT_TRUE(mosaic);
    const PictureData& m = mosaic->picture;
    double sum = 0.0;
    int count = 0;
    ASSERT_GT(m.width, 760);
    ASSERT_GT(m.height, 560);
    for (int y = 40; y < 540; y += 3)
        for (int x = 40; x < 740; x += 3) {
            const double d = m.samples[(std::size_t(y) * m.width + x) * 3] -
                             source.at(truth[0].x - mosaic->firstTileX + x,
                                       truth[0].y - mosaic->firstTileY + y, 0);
            sum += d * d;
            ++count;
        }
    EXPECT_LT(std::sqrt(sum / count), 3.0);
}

TEST(Mosaic, EvensOutBrightnessSoTheSeamDoesNotShow) {
    const Texture source(700, 300, 11);
    // Two tiles side by side, the second a quarter brighter.
    std::vector<PictureData> tiles = {source.cut(0, 0, 400, 300, 0.9),
                                      source.cut(300, 0, 400, 300, 1.12, 16)};
    tiles[0] = source.cut(0, 0, 400, 300, 0.9, 16);
    std::vector<const PictureData*> pointers = {&tiles[0], &tiles[1]};
    const auto placement = placeTiles(pointers);
    ASSERT_TRUE(placement && placement->complete());
    const auto mosaic = composeMosaic(tiles, *placement);
    ASSERT_TRUE(mosaic);
    const PictureData& m = mosaic->picture;
    ASSERT_EQ(m.bitsPerSample, 16);
    ASSERT_EQ(m.width, 700);
    // The mosaic against the source, column by column: the gain it shows changes smoothly.
    const auto* samples = reinterpret_cast<const std::uint16_t*>(m.samples.data());
    std::vector<double> ratio(m.width);
    for (int x = 0; x < m.width; ++x) {
        double a = 0, b = 0;
        for (int y = 0; y < m.height; ++y) {
            a += samples[(std::size_t(y) * m.width + x) * 3] / 257.0;
            b += source.at(x, y, 0);
        }
        ratio[x] = a / b;
    }
    double largestStep = 0.0;
    for (int x = 250; x < 450; ++x)
        largestStep = std::max(largestStep, std::abs(ratio[x + 1] - ratio[x]));
    EXPECT_LT(largestStep, 0.01) << "seam step";
    EXPECT_LT(std::abs(ratio[100] - ratio[600]), 0.03) << "tiles evened out";
}

class MosaicFiles : public ::testing::Test {
protected:
    std::vector<std::string> writeTiles(const std::vector<Cut>& cuts, double pixelSize) {
        std::vector<std::string> names;
        for (std::size_t i = 0; i < cuts.size(); ++i) {
            PictureData p = source.cut(cuts[i].x, cuts[i].y, 300, 220);
            p.calibration.micrometresPerPixel = pixelSize;
            const std::string name = dir / ("tile" + std::to_string(i) + ".png");
            std::string error;
            EXPECT_TRUE(writePictureFile(name, p, &error)) << error;
            names.push_back(name);
        }
        return names;
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir.path()))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    Texture source{700, 500, 3};
    test::TempFolder dir;
};

TEST_F(MosaicFiles, WritesTheMosaicWithThePixelSizeTheInputsAgreeOn) {
    std::vector<std::string> in = writeTiles({{0, 0}, {220, 10}, {5, 160}, {230, 170}}, 0.5);
    std::vector<double> fractions;
    CombineProgress progress;
    progress.report = [&](double f, const std::string&) { fractions.push_back(f); };
    std::string error;
    ASSERT_TRUE(stitchFiles({in, dir / "out.tif"}, progress, &error)) << error;
    const auto out = readPictureFile(dir / "out.tif", &error);
    ASSERT_TRUE(out) << error;
    EXPECT_EQ(out->width, 530);
    EXPECT_EQ(out->height, 390);
    EXPECT_DOUBLE_EQ(out->calibration.micrometresPerPixel, 0.5);
    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_EQ(fractions.back(), 1.0);

    // Grey pictures give a grey mosaic of the same size.
    std::vector<std::string> grey;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const PictureData colour = *readPictureFile(in[i], &error);
        PictureData g = colour;
        g.channels = 1;
        g.samples.resize(std::size_t(g.width) * g.height);
        for (std::size_t p = 0; p < g.samples.size(); ++p) g.samples[p] = colour.samples[p * 3 + 1];
        grey.push_back(dir / ("grey" + std::to_string(i) + ".png"));
        ASSERT_TRUE(writePictureFile(grey.back(), g, &error)) << error;
    }
    ASSERT_TRUE(stitchFiles({grey, dir / "grey.png"}, {}, &error)) << error;
    const auto greyOut = readPictureFileInfo(dir / "grey.png", &error);
    ASSERT_TRUE(greyOut) << error;
    EXPECT_EQ(greyOut->channels, 1);
    EXPECT_EQ(greyOut->width, 530);
    EXPECT_EQ(greyOut->height, 390);

    // One input of another pixel size: the mosaic is written uncalibrated.
    PictureData odd = *readPictureFile(in[3], &error);
    odd.calibration.micrometresPerPixel = 0.25;
    ASSERT_TRUE(writePictureFile(in[3], odd, &error));
    ASSERT_TRUE(stitchFiles({in, dir / "mixed.png"}, {}, &error)) << error;
    EXPECT_FALSE(readPictureFileInfo(dir / "mixed.png", &error)->calibration.calibrated());
}

TEST_F(MosaicFiles, RefusesBadInputWritingNothing) {
    std::vector<std::string> in = writeTiles({{0, 0}, {220, 10}, {5, 160}}, 0.0);
    std::string error;
    const std::string out = dir / "out.jpg";

    EXPECT_FALSE(stitchFiles({{in[0]}, out}, {}, &error));
    EXPECT_NE(error.find("two"), std::string::npos) << error;

    // A picture of something else connects to none of the others and is named.
    PictureData stranger = Texture(300, 220, 99).cut(0, 0, 300, 220);
    std::string strangerName = dir / "stranger.png";
    ASSERT_TRUE(writePictureFile(strangerName, stranger, &error));
    EXPECT_FALSE(stitchFiles({{in[0], strangerName, in[1], in[2]}, out}, {}, &error));
    EXPECT_EQ(error, "stranger.png does not overlap the other pictures");
    EXPECT_FALSE(stitchFiles({{in[0], strangerName}, out}, {}, &error));
    EXPECT_EQ(error, "tile0.png and stranger.png do not overlap");

    dir.write("broken.jpg", "not a picture");
    EXPECT_FALSE(stitchFiles({{in[0], dir / "broken.jpg", in[1]}, out}, {}, &error));
    EXPECT_EQ(error.rfind("broken.jpg: ", 0), 0u) << error;
    EXPECT_FALSE(stitchFiles({{in[0], dir / "missing.png"}, out}, {}, &error));
    EXPECT_EQ(error.rfind("missing.png: ", 0), 0u) << error;
    EXPECT_FALSE(stitchFiles({in, in[0]}, {}, &error)) << "an input is never overwritten";
    EXPECT_FALSE(stitchFiles({in, dir / "out.bmp"}, {}, &error));

    // Cancelled at any stage: nothing written.
    for (double at : {0.1, 0.3, 0.6, 0.85}) {
        std::atomic<bool> cancel{false};
        CombineProgress progress;
        progress.cancel = &cancel;
        progress.report = [&](double f, const std::string&) {
            if (f >= at) cancel = true;
        };
        EXPECT_FALSE(stitchFiles({in, out}, progress, &error));
        EXPECT_EQ(error, kCancelled) << at;
    }
    EXPECT_EQ(files(), (std::vector<std::string>{"broken.jpg", "stranger.png", "tile0.png",
                                                 "tile1.png", "tile2.png"}));
}

}  // namespace
}  // namespace qelvo::combine
