#include "DetailedPicture.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

namespace qelvo::bench {
namespace {

std::uint32_t Hash(std::uint32_t x, std::uint32_t y, std::uint32_t seed) {
    std::uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Smooth noise in 0..1 with lattice spacing `cell`.
float ValueNoise(float x, float y, float cell, std::uint32_t seed) {
    const float fx = x / cell, fy = y / cell;
    const auto ix = static_cast<std::uint32_t>(fx), iy = static_cast<std::uint32_t>(fy);
    const float tx = fx - static_cast<float>(ix), ty = fy - static_cast<float>(iy);
    auto at = [&](std::uint32_t a, std::uint32_t b) {
        return static_cast<float>(Hash(a, b, seed) & 0xFFFF) / 65535.0f;
    };
    const float sx = tx * tx * (3 - 2 * tx), sy = ty * ty * (3 - 2 * ty);
    const float top = at(ix, iy) + (at(ix + 1, iy) - at(ix, iy)) * sx;
    const float bottom = at(ix, iy + 1) + (at(ix + 1, iy + 1) - at(ix, iy + 1)) * sx;
    return top + (bottom - top) * sy;
}

float Fractal(float x, float y, std::uint32_t seed) {
    float sum = 0, amplitude = 0.5f, cell = 256;
    for (int octave = 0; octave < 7; ++octave, amplitude *= 0.55f, cell /= 2)
        sum += amplitude * ValueNoise(x, y, cell, seed + octave);
    return sum;
}

}  // namespace

CxImage DetailedPicture(int width, int height, std::uint32_t seed) {
    CxImage picture;
    if (!picture.Create(width, height, 24, FormatUnknown)) return picture;
    std::mt19937 rng(seed);
    std::normal_distribution<float> grain(0.0f, 4.0f);
    // Regions: a Voronoi partition into surfaces, each with its own base colour.
    struct Region {
        float x, y;
        float r, g, b;
    };
    std::vector<Region> regions(24);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (Region& region : regions)
        region = {unit(rng) * width, unit(rng) * height, 30 + 200 * unit(rng), 30 + 200 * unit(rng),
                  30 + 200 * unit(rng)};
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = picture.RowBits(y);
        for (int x = 0; x < width; ++x) {
            const float fx = static_cast<float>(x), fy = static_cast<float>(y);
            // Edges wander a little, as real outlines do.
            const float wx = fx + 40 * (Fractal(fx, fy, seed + 50) - 0.5f);
            const float wy = fy + 40 * (Fractal(fx, fy, seed + 60) - 0.5f);
            const Region* nearest = &regions[0];
            float best = 1e30f;
            for (const Region& region : regions) {
                const float d =
                    (wx - region.x) * (wx - region.x) + (wy - region.y) * (wy - region.y);
                if (d < best) best = d, nearest = &region;
            }
            const float texture = Fractal(fx, fy, seed + 10) - 0.5f;
            const float fine = ValueNoise(fx, fy, 2.5f, seed + 20) - 0.5f;
            const float shade = 1.0f + 0.9f * texture + 0.35f * fine;
            const bool line = ((x + 3 * y / 2) % 97) < 2 || ((5 * x - y) % 151) < 2;
            const float n = grain(rng);
            auto channel = [&](float base) {
                const float v = line ? 255 - base : base * shade + n;
                return static_cast<std::uint8_t>(std::clamp(v, 0.0f, 255.0f));
            };
            row[3 * x] = channel(nearest->b);
            row[3 * x + 1] = channel(nearest->g);
            row[3 * x + 2] = channel(nearest->r);
        }
    }
    return picture;
}

long WriteDetailedJpeg(const std::string& path, int width, int height, std::uint32_t seed) {
    CxImage picture = DetailedPicture(width, height, seed);
    picture.SetQuality(80);
    if (!picture.SaveFile(path.c_str(), FormatJpeg)) return -1;
    return static_cast<long>(std::filesystem::file_size(path));
}

}  // namespace qelvo::bench
