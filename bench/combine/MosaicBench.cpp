// Mosaic figures: a 3 x 3 mosaic of 2592 x 1944 JPEG tiles overlapping by 20 %, cut at known
// fractional offsets from a painted 6.7k x 5.1k specimen, each with its own brightness, a
// little vignetting and noise, given in shuffled order.
//   mosaic_3x3_placement_error - the largest distance of a tile's corner from where it was
//                                cut (px)
//   mosaic_3x3_psnr            - the written mosaic against the specimen over the tiles' union
//   mosaic_3x3_wall            - the whole file job (read, place, even out, blend, write JPEG),
//                                wall clock, best of 3, on the machine's cores
//   mosaic_3x3_vs_decode       - that time against decoding the nine tiles on one thread
//   mosaic_3x3_cpu             - the CPU time of the job, all threads (least of the 3)
// Optional argument: a folder to keep the tiles, the specimen and the mosaic in.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "combine/Mosaic.h"
#include "combine/MosaicFiles.h"
#include "picturefiles/PictureFile.h"
#include "support/BenchTiming.h"
#include "support/TempFolder.h"

using namespace qelvo;

namespace {

constexpr int kTileW = 2592, kTileH = 1944;
constexpr double kStepX = kTileW * 0.8, kStepY = kTileH * 0.8;
constexpr int kBorder = 24;

std::uint32_t hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = x * 0x8da6b343u ^ y * 0xd8163841u ^ seed * 0xcb1ab31fu;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h;
}

// Smooth value noise in 0..1 with lattice cells `cell` pixels wide.
float valueNoise(double x, double y, double cell, std::uint32_t seed) {
    const double fx = x / cell, fy = y / cell;
    const auto ix = static_cast<std::uint32_t>(fx), iy = static_cast<std::uint32_t>(fy);
    double ax = fx - ix, ay = fy - iy;
    ax = ax * ax * (3 - 2 * ax);
    ay = ay * ay * (3 - 2 * ay);
    auto v = [&](std::uint32_t gx, std::uint32_t gy) {
        return static_cast<float>(hash(gx, gy, seed) >> 8) / 16777216.0f;
    };
    return static_cast<float>((v(ix, iy) * (1 - ax) + v(ix + 1, iy) * ax) * (1 - ay) +
                              (v(ix, iy + 1) * (1 - ax) + v(ix + 1, iy + 1) * ax) * ay);
}

// A blood smear: a mottled pale background, red cells with pale middles and darker rims, a few
// purple stained cells, fine grain everywhere.
PictureData paintSpecimen(int width, int height) {
    PictureData p;
    p.width = width;
    p.height = height;
    p.channels = 3;
    p.samples.resize(p.rowBytes() * height);
    std::vector<float> shade(std::size_t(width) * height * 3);
    const float base[3] = {226, 212, 220};
    auto paintRows = [&](int from, int to) {
        for (int y = from; y < to; ++y)
            for (int x = 0; x < width; ++x) {
                const float broad = valueNoise(x, y, 180, 1) - 0.5f;
                const float mid = valueNoise(x, y, 23, 2) - 0.5f;
                const float fine = valueNoise(x, y, 3.5, 3) - 0.5f;
                float* s = &shade[(std::size_t(y) * width + x) * 3];
                for (int c = 0; c < 3; ++c)
                    s[c] = base[c] + 30 * broad + 14 * mid + 10 * fine + 4 * (c - 1) * mid;
            }
    };
    std::thread half(paintRows, 0, height / 2);
    paintRows(height / 2, height);
    half.join();

    std::mt19937 random(5);
    std::uniform_real_distribution<double> u(0, 1);
    const int cells = width * height / 2600;
    for (int i = 0; i < cells; ++i) {
        const double cx = u(random) * width, cy = u(random) * height;
        const bool stained = u(random) < 0.02;
        const double r = stained ? 14 + 8 * u(random) : 9 + 5 * u(random);
        const float tint[3] = {stained ? 120.f : 205.f, stained ? 70.f : 110.f,
                               stained ? 160.f : 125.f};
        for (int y = std::max(0, int(cy - r - 2)); y < std::min(height, int(cy + r + 3)); ++y)
            for (int x = std::max(0, int(cx - r - 2)); x < std::min(width, int(cx + r + 3)); ++x) {
                const double d = std::hypot(x - cx, y - cy) / r;
                if (d > 1.15) continue;
                // Soft edge, darker rim, paler middle.
                const double cover = std::clamp((1.15 - d) / 0.3, 0.0, 1.0);
                const double depth = stained ? 1.0 : 0.55 + 0.45 * std::min(1.0, d * d * 1.3);
                float* s = &shade[(std::size_t(y) * width + x) * 3];
                for (int c = 0; c < 3; ++c)
                    s[c] = static_cast<float>(s[c] + cover * depth * (tint[c] - s[c]));
            }
    }
    for (std::size_t i = 0; i < shade.size(); ++i)
        p.samples[i] = static_cast<std::uint8_t>(std::clamp(std::lround(shade[i]), 0L, 255L));
    return p;
}

// A camera's view of the specimen with its top-left at (x, y): bilinear, times `gain` per
// channel, darker towards the corners, with noise.
PictureData takeTile(const PictureData& s, double x, double y, const double gain[3],
                     unsigned seed) {
    PictureData t;
    t.width = kTileW;
    t.height = kTileH;
    t.channels = 3;
    t.samples.resize(t.rowBytes() * kTileH);
    t.calibration.micrometresPerPixel = 0.345;
    t.calibration.objective = "40x";
    std::mt19937 random(seed);
    std::normal_distribution<float> noise(0.f, 2.0f);
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    const float ax = static_cast<float>(x - ix), ay = static_cast<float>(y - iy);
    const double cx = kTileW / 2.0, cy = kTileH / 2.0, corner = cx * cx + cy * cy;
    for (int py = 0; py < kTileH; ++py) {
        const std::uint8_t* r0 = &s.samples[(std::size_t(iy + py) * s.width + ix) * 3];
        const std::uint8_t* r1 = r0 + std::size_t(s.width) * 3;
        std::uint8_t* out = &t.samples[std::size_t(py) * kTileW * 3];
        for (int px = 0; px < kTileW; ++px) {
            const double r2 = ((px - cx) * (px - cx) + (py - cy) * (py - cy)) / corner;
            const double light = 1.0 - 0.06 * r2;
            for (int c = 0; c < 3; ++c) {
                const int k = px * 3 + c;
                const float v = (r0[k] * (1 - ax) + r0[k + 3] * ax) * (1 - ay) +
                                (r1[k] * (1 - ax) + r1[k + 3] * ax) * ay;
                const double lit = v * gain[c] * light + noise(random);
                out[k] = static_cast<std::uint8_t>(std::clamp(std::lround(lit), 0L, 255L));
            }
        }
    }
    return t;
}

double wallSeconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    test::TempFolder temp("qelvo-bench-mosaic");
    const std::string folder = argc > 1 ? argv[1] : temp.path();

    struct Tile {
        double x, y;
        std::string file;
    };
    std::vector<Tile> truth;
    const double jitter[9][2] = {{0, 0},      {2.4, -3.7}, {-1.3, 4.25}, {3.6, 1.5}, {-2.75, -2.2},
                                 {1.1, 3.35}, {-3.4, 0.6}, {0.45, -1.9}, {2.2, 2.8}};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            const int i = r * 3 + c;
            truth.push_back({kBorder + c * kStepX + jitter[i][0],
                             kBorder + r * kStepY + jitter[i][1],
                             folder + "/tile-" + std::to_string(r) + std::to_string(c) + ".jpg"});
        }
    const int width = static_cast<int>(2 * kBorder + 2 * kStepX + kTileW) + 2;
    const int height = static_cast<int>(2 * kBorder + 2 * kStepY + kTileH) + 2;
    std::fprintf(stderr, "painting a %d x %d specimen and cutting nine tiles\n", width, height);
    const PictureData specimen = paintSpecimen(width, height);
    const double gains[9][3] = {{1.0, 1.0, 1.0},    {1.06, 1.05, 1.07}, {0.95, 0.96, 0.94},
                                {1.03, 1.02, 1.04}, {0.97, 0.98, 0.96}, {1.05, 1.06, 1.04},
                                {0.94, 0.95, 0.95}, {1.02, 1.03, 1.01}, {0.98, 0.97, 0.99}};
    for (std::size_t i = 0; i < truth.size(); ++i) {
        std::string error;
        if (!writePictureFile(truth[i].file,
                              takeTile(specimen, truth[i].x, truth[i].y, gains[i], 100 + i), &error,
                              90)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
    }
    if (argc > 1) {
        std::string error;
        writePictureFile(folder + "/specimen.png", specimen, &error);
    }
    // Given in shuffled order; tile (0, 0) first, so offsets are in its frame.
    const std::vector<std::size_t> order = {0, 5, 2, 7, 4, 8, 1, 6, 3};
    combine::MosaicRequest request;
    for (std::size_t i : order) request.inputs.push_back(truth[i].file);
    request.output = folder + "/mosaic.jpg";

    // Reference: the nine tiles decoded one after another.
    std::vector<PictureData> decoded(order.size());
    double decode = 1e30;
    for (int run = 0; run < 3; ++run)
        decode = std::min(decode, wallSeconds([&] {
                              for (std::size_t k = 0; k < order.size(); ++k) {
                                  std::string error;
                                  decoded[k] = *readPictureFile(request.inputs[k], &error);
                              }
                          }));

    double stitch = 1e30, cpu = 1e30;
    for (int run = 0; run < 3; ++run) {
        std::string error;
        bool done = false;
        const double cpuStart = qelvo::bench::processCpuSeconds();
        stitch = std::min(stitch,
                          wallSeconds([&] { done = combine::stitchFiles(request, {}, &error); }));
        cpu = std::min(cpu, qelvo::bench::processCpuSeconds() - cpuStart);
        if (!done) {
            std::fprintf(stderr, "stitch failed: %s\n", error.c_str());
            return 1;
        }
    }
    std::fprintf(stderr, "  (decode of the nine tiles %.3f s, stitch %.3f s)\n", decode, stitch);

    // Placement against the truth, in the first tile's frame.
    std::vector<const PictureData*> pointers;
    for (const PictureData& d : decoded) pointers.push_back(&d);
    const auto placement = combine::placeTiles(pointers);
    double worst = 1e9;
    if (placement && placement->complete()) {
        worst = 0.0;
        // Every corner of every tile (the tiles were cut unturned).
        for (std::size_t k = 0; k < order.size(); ++k) {
            const combine::TileOffset& o = placement->offsets[k];
            const double a = o.degrees * M_PI / 180.0;
            for (const auto& [u, v] :
                 {std::pair{0, 0}, {kTileW - 1, 0}, {0, kTileH - 1}, {kTileW - 1, kTileH - 1}}) {
                const double ex = o.x + std::cos(a) * u - std::sin(a) * v -
                                  (truth[order[k]].x - truth[order[0]].x + u);
                const double ey = o.y + std::sin(a) * u + std::cos(a) * v -
                                  (truth[order[k]].y - truth[order[0]].y + v);
                worst = std::max(worst, std::hypot(ex, ey));
            }
        }
    }
    qelvo::bench::reportAtMost("mosaic_3x3_placement_error", worst, "px", 1.0);

    // The written mosaic against the specimen, where the first tile lies in it as laid out.
    double psnr = 0.0;
    if (placement && placement->complete()) {
        std::vector<PictureData> copies(decoded.begin(), decoded.end());
        const auto laid = combine::composeMosaic(std::move(copies), *placement);
        std::string error;
        const auto written = readPictureFile(request.output, &error);
        if (laid && written && written->width == laid->picture.width &&
            written->height == laid->picture.height) {
            const double dx = truth[order[0]].x - laid->firstTileX;
            const double dy = truth[order[0]].y - laid->firstTileY;
            const int sx = static_cast<int>(std::lround(dx)),
                      sy = static_cast<int>(std::lround(dy));
            double sum = 0.0;
            std::size_t count = 0;
            for (int y = 0; y < written->height; ++y)
                for (int x = 0; x < written->width; ++x) {
                    const int tx = x + sx, ty = y + sy;
                    bool inside = false;
                    for (const Tile& t : truth)
                        inside = inside || (tx >= t.x + 2 && tx <= t.x + kTileW - 3 &&
                                            ty >= t.y + 2 && ty <= t.y + kTileH - 3);
                    if (!inside) continue;
                    for (int c = 0; c < 3; ++c) {
                        const double d =
                            written->samples[(std::size_t(y) * written->width + x) * 3 + c] -
                            specimen.samples[(std::size_t(ty) * specimen.width + tx) * 3 + c];
                        sum += d * d;
                        ++count;
                    }
                }
            psnr = count ? 10 * std::log10(255.0 * 255.0 / (sum / count)) : 0.0;
            std::fprintf(stderr, "  (mosaic %d x %d, %.4f um per pixel)\n", written->width,
                         written->height, written->calibration.micrometresPerPixel);
        }
    }
    qelvo::bench::report("mosaic_3x3_psnr", psnr, "dB", ">= 30", psnr >= 30.0);
    qelvo::bench::reportAtMost("mosaic_3x3_wall", stitch, "s", 3.0);
    qelvo::bench::reportOnly("mosaic_3x3_vs_decode", stitch / decode, "x");
    qelvo::bench::reportOnly("mosaic_3x3_cpu", cpu, "s");
    return 0;
}
