#pragma once

// Synthetic pictures of stage micrometers and graticules, drawn exactly at a known pitch, for
// the ruling finder's tests and benchmarks; and a picture with no ruling at all.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace qelvo::test {

struct GraticuleLayout {
    int width = 1280;
    int height = 960;
    double pitch = 40.0;        // pixels between neighbouring lines
    double angleDegrees = 0.0;  // the lines' normal; 0 = lines run vertically
    double phase = 0.0;         // a line's offset from the centre along the normal
    double lineWidth = 3.0;
    double blur = 0.7;       // Gaussian sigma of the optics, pixels
    double noise = 0.0;      // Gaussian sigma, grey levels
    double ground = 200.0;   // grey level between the lines
    double ink = 40.0;       // grey level of the lines
    bool crossGrid = false;  // a second family at right angles, same pitch
    // The part of the picture the ruling covers, in fractions of width and height.
    double left = 0.0, top = 0.0, right = 1.0, bottom = 1.0;
    // Stage micrometer ticks: lines of a band, every fifth longer and every tenth longer still.
    bool ticks = false;
    double vignetting = 0.0;  // fraction the brightness falls to the corners
    unsigned seed = 1;
};

namespace graticule_detail {

// A line's profile across it (blurred box of the line's width), tabulated over one period.
class LineTable {
public:
    LineTable(double pitch, double width, double sigma) : pitch_(pitch) {
        const int n = static_cast<int>(std::ceil(pitch * kSteps)) + 2;
        table_.resize(static_cast<std::size_t>(n));
        const double s = sigma * std::sqrt(2.0);
        for (int i = 0; i < n; ++i) {
            const double d = i / kSteps - pitch / 2;
            double v = 0.0;
            for (int k = -3; k <= 3; ++k) {
                const double dk = d + k * pitch;
                v += 0.5 * (std::erf((dk + width / 2) / s) - std::erf((dk - width / 2) / s));
            }
            table_[static_cast<std::size_t>(i)] = std::min(1.0, v);
        }
    }
    // Coverage by a line at distance t along the normal (any t): 0..1.
    double operator()(double t) const {
        double d = t - pitch_ * std::floor(t / pitch_ + 0.5) + pitch_ / 2;
        const double x = d * kSteps;
        const int i = std::clamp(static_cast<int>(x), 0, static_cast<int>(table_.size()) - 2);
        const double f = x - i;
        return table_[i] * (1 - f) + table_[i + 1] * f;
    }

private:
    static constexpr double kSteps = 64.0;
    double pitch_;
    std::vector<double> table_;
};

inline double softStep(double x, double sigma) {
    return 0.5 * (1.0 + std::erf(x / (sigma * std::sqrt(2.0))));
}

}  // namespace graticule_detail

// 8-bit grey rows, `width` bytes apart.
inline std::vector<std::uint8_t> renderGraticule(const GraticuleLayout& g) {
    using namespace graticule_detail;
    const double sigma = std::sqrt(g.blur * g.blur + 0.35 * 0.35);  // optics and the pixel
    const LineTable line(g.pitch, g.lineWidth, sigma);
    const double a = g.angleDegrees * M_PI / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    const double cx = g.width / 2.0, cy = g.height / 2.0;
    const double l = g.left * g.width, r = g.right * g.width;
    const double t = g.top * g.height, b = g.bottom * g.height;
    const double edge = std::max(sigma, 1.0);
    std::mt19937 random(g.seed);
    std::normal_distribution<double> noise(0.0, g.noise > 0 ? g.noise : 1.0);
    std::vector<std::uint8_t> out(static_cast<std::size_t>(g.width) * g.height);
    const double corner = std::hypot(cx, cy);
    for (int y = 0; y < g.height; ++y) {
        const double py = y + 0.5;
        const double rowMask = softStep(py - t, edge) * softStep(b - py, edge);
        for (int x = 0; x < g.width; ++x) {
            const double px = x + 0.5;
            const double u = (px - cx) * c + (py - cy) * s - g.phase;  // across the lines
            const double v = -(px - cx) * s + (py - cy) * c;           // along them
            double ink = line(u);
            if (g.ticks) {
                // Ticks hang down from v = -band/2; their length depends on their number.
                const long k = std::lround(u / g.pitch);
                const double length = k % 10 == 0 ? 1.0 : k % 5 == 0 ? 0.75 : 0.5;
                const double band = (b - t) * 0.8;
                ink *= softStep(v + band / 2, edge) * softStep(-band / 2 + length * band - v, edge);
            }
            if (g.crossGrid) ink = std::max(ink, line(v + g.phase));
            const double mask = rowMask * softStep(px - l, edge) * softStep(r - px, edge);
            double value = g.ground + (g.ink - g.ground) * ink * mask;
            if (g.vignetting > 0) {
                const double d = std::hypot(px - cx, py - cy) / corner;
                value *= 1.0 - g.vignetting * d * d;
            }
            if (g.noise > 0) value += noise(random);
            out[static_cast<std::size_t>(y) * g.width + x] =
                static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
        }
    }
    return out;
}

// A picture with no ruling: a shaded ground with soft blobs, hard-edged shapes and some
// noise, roughly what a photo of a specimen or a room holds.
inline std::vector<std::uint8_t> renderScene(int width, int height, unsigned seed,
                                             double noiseSigma = 4.0) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, noiseSigma > 0 ? noiseSigma : 1.0);
    struct Blob {
        double x, y, radius, level;
    };
    struct Box {
        double x0, y0, x1, y1, level, turn;
    };
    std::vector<Blob> blobs;
    for (int i = 0; i < 8; ++i)
        blobs.push_back({unit(random) * width, unit(random) * height,
                         (0.05 + 0.3 * unit(random)) * width, 120 * (unit(random) - 0.5)});
    std::vector<Box> boxes;
    for (int i = 0; i < 25; ++i) {
        const double x = unit(random) * width, y = unit(random) * height;
        boxes.push_back({x, y, x + (0.02 + 0.2 * unit(random)) * width,
                         y + (0.02 + 0.2 * unit(random)) * height, 200 * (unit(random) - 0.5),
                         unit(random) * M_PI});
    }
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            double value = 110 + 40.0 * x / width;
            for (const Blob& b : blobs) {
                const double d = std::hypot(x - b.x, y - b.y) / b.radius;
                value += b.level * std::exp(-d * d);
            }
            for (const Box& b : boxes) {
                // A box turned about its corner; ellipses every other one.
                const double c = std::cos(b.turn), s = std::sin(b.turn);
                const double u = (x - b.x0) * c + (y - b.y0) * s,
                             v = -(x - b.x0) * s + (y - b.y0) * c;
                const double w = b.x1 - b.x0, h = b.y1 - b.y0;
                const bool inside =
                    (&b - boxes.data()) % 2 == 0
                        ? (u >= 0 && v >= 0 && u < w && v < h)
                        : std::pow(2 * u / w - 1, 2) + std::pow(2 * v / h - 1, 2) < 1;
                if (inside) value += b.level * 0.5;
            }
            if (noiseSigma > 0) value += noise(random);
            out[static_cast<std::size_t>(y) * width + x] =
                static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
        }
    return out;
}

}  // namespace qelvo::test
