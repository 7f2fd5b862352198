// Paints a stained blood smear as a bright-field microscope shows it at high magnification:
// red cells (pale centres, a darker rim), a few white cells with purple lobed or round nuclei,
// and platelets.  The stains absorb light: every cell adds its optical density per colour and
// the light left is the illumination times 10^-density, so overlapping cells darken as they
// do under a microscope.  The same seed always gives the same picture.
//
//   qelvo_specimenart OUT.jpg [WIDTH HEIGHT]
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Density {
    int width = 0, height = 0;
    std::vector<float> r, g, b;
    Density(int w, int h) : width(w), height(h), r(w * h), g(w * h), b(w * h) {}
    void add(int x, int y, double amount, const double od[3]) {
        const std::size_t i = static_cast<std::size_t>(y) * width + x;
        r[i] += static_cast<float>(amount * od[0]);
        g[i] += static_cast<float>(amount * od[1]);
        b[i] += static_cast<float>(amount * od[2]);
    }
};

// Smooth value noise in 0..1, a few octaves.
class Noise {
public:
    explicit Noise(std::uint32_t seed) {
        std::mt19937 random(seed);
        for (float& v : lattice_) v = std::uniform_real_distribution<float>(0, 1)(random);
    }
    double at(double x, double y, int octaves = 3) const {
        double sum = 0, amplitude = 1, total = 0;
        for (int o = 0; o < octaves; ++o) {
            sum += amplitude * smooth(x, y);
            total += amplitude;
            x *= 2.03;
            y *= 2.03;
            amplitude *= 0.5;
        }
        return sum / total;
    }

private:
    static constexpr int kSide = 256;
    double value(int x, int y) const {
        return lattice_[(y & (kSide - 1)) * kSide + (x & (kSide - 1))];
    }
    double smooth(double x, double y) const {
        const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
        double fx = x - x0, fy = y - y0;
        fx = fx * fx * (3 - 2 * fx);
        fy = fy * fy * (3 - 2 * fy);
        const double top = value(x0, y0) * (1 - fx) + value(x0 + 1, y0) * fx;
        const double bottom = value(x0, y0 + 1) * (1 - fx) + value(x0 + 1, y0 + 1) * fx;
        return top * (1 - fy) + bottom * fy;
    }
    float lattice_[kSide * kSide];
};

double clamp01(double v) {
    return std::clamp(v, 0.0, 1.0);
}

// A closed outline: a radius for every direction (an ellipse with a little wobble).
struct Outline {
    double radius, stretch, angle, wobble[3], phase[3];
    double at(double theta) const {
        const double t = theta - angle;
        const double ellipse =
            radius * stretch /
            std::sqrt(std::pow(stretch * std::cos(t), 2) + std::pow(std::sin(t), 2));
        double w = 1.0;
        for (int k = 0; k < 3; ++k) w += wobble[k] * std::cos((k + 2) * theta + phase[k]);
        return ellipse * w;
    }
};

Outline randomOutline(std::mt19937& random, double radius, double roundness) {
    std::uniform_real_distribution<double> u(0, 1);
    Outline o{};
    o.radius = radius;
    o.stretch = 1.0 + (1.0 - roundness) * 0.18 * u(random);
    o.angle = u(random) * kPi;
    for (int k = 0; k < 3; ++k) {
        o.wobble[k] = (1.0 - roundness) * 0.035 * u(random) / (k + 1);
        o.phase[k] = u(random) * 2 * kPi;
    }
    return o;
}

// Eosin-stained red cell: thicker towards its rim, pale in the middle, a thin dark edge.
void paintRedCell(Density& d, const Noise& noise, double cx, double cy, const Outline& outline,
                  double strength) {
    static const double kEosin[3] = {0.035, 0.30, 0.26};
    const int reach = static_cast<int>(outline.radius * 1.4) + 3;
    for (int y = std::max(0, int(cy) - reach); y < std::min(d.height, int(cy) + reach); ++y)
        for (int x = std::max(0, int(cx) - reach); x < std::min(d.width, int(cx) + reach); ++x) {
            const double dx = x - cx, dy = y - cy, r = std::hypot(dx, dy);
            const double edge = outline.at(std::atan2(dy, dx));
            const double inside = clamp01((edge - r) / 1.3 + 0.5);
            if (inside <= 0) continue;
            const double rho = std::min(r / edge, 1.0);
            const double body = 0.42 + 0.58 * std::exp(-std::pow((rho - 0.74) / 0.30, 2));
            const double rim = 0.35 * std::exp(-std::pow((rho - 0.97) / 0.05, 2));
            const double grain = 0.9 + 0.2 * noise.at(x * 0.08, y * 0.08, 2);
            d.add(x, y, inside * strength * (body * grain + rim), kEosin);
        }
}

// A stained nucleus blob (chromatin clumped in darker patches).
double nucleusAt(const Noise& noise, int x, int y) {
    return 0.75 + 0.45 * noise.at(x * 0.11 + 50, y * 0.11 + 50, 3);
}

struct Blob {
    double x, y, r;
};

void paintWhiteCell(Density& d, const Noise& noise, std::mt19937& random, double cx, double cy,
                    int kind) {
    std::uniform_real_distribution<double> u(0, 1);
    static const double kPaleCytoplasm[3] = {0.10, 0.20, 0.07};
    static const double kBlueCytoplasm[3] = {0.36, 0.16, 0.05};
    static const double kNucleus[3] = {0.55, 0.85, 0.26};
    static const double kGranule[3] = {0.20, 0.42, 0.20};
    static const double kOrangeGranule[3] = {0.05, 0.55, 0.45};
    // kind 0: neutrophil (lobed nucleus, fine granules), 1: lymphocyte (round nucleus, thin blue
    // rim), 2: eosinophil (two lobes, coarse orange granules), 3: monocyte (folded nucleus).
    const double radius = kind == 1 ? 38 + 6 * u(random) : (kind == 3 ? 62 : 52) + 6 * u(random);
    const Outline outline = randomOutline(random, radius, 0.4);
    std::vector<Blob> nucleus;
    if (kind == 1) {
        nucleus.push_back({cx + 3 * (u(random) - 0.5), cy + 3 * (u(random) - 0.5), radius * 0.80});
    } else if (kind == 3) {
        const double a = u(random) * 2 * kPi;
        for (int i = 0; i < 5; ++i) {
            const double t = a + (i - 2) * 0.45;
            nucleus.push_back({cx + radius * 0.38 * std::cos(t), cy + radius * 0.38 * std::sin(t),
                               radius * (0.34 + 0.04 * u(random))});
        }
    } else {
        const int lobes = kind == 2 ? 2 : 3 + static_cast<int>(u(random) * 2);
        const double a = u(random) * 2 * kPi;
        for (int i = 0; i < lobes; ++i) {
            const double t = a + (i - (lobes - 1) / 2.0) * (kind == 2 ? 1.6 : 1.05);
            const Blob lobe{cx + radius * 0.42 * std::cos(t), cy + radius * 0.42 * std::sin(t),
                            radius * (0.28 + 0.05 * u(random))};
            if (!nucleus.empty()) {  // the thin strand joining it to the lobe before
                const Blob& last = nucleus.back();
                for (int s = 1; s < 6; ++s) {
                    const double f = s / 6.0;
                    const double mx = last.x + (lobe.x - last.x) * f,
                                 my = last.y + (lobe.y - last.y) * f;
                    nucleus.push_back({mx + (cx - mx) * 0.25 * std::sin(f * kPi),
                                       my + (cy - my) * 0.25 * std::sin(f * kPi), radius * 0.07});
                }
            }
            nucleus.push_back(lobe);
        }
    }
    const int reach = static_cast<int>(radius * 1.3) + 3;
    for (int y = std::max(0, int(cy) - reach); y < std::min(d.height, int(cy) + reach); ++y)
        for (int x = std::max(0, int(cx) - reach); x < std::min(d.width, int(cx) + reach); ++x) {
            const double dx = x - cx, dy = y - cy, r = std::hypot(dx, dy);
            const double inside = clamp01((outline.at(std::atan2(dy, dx)) - r) / 1.5 + 0.5);
            if (inside <= 0) continue;
            double n = 0;
            for (const Blob& b : nucleus)
                n = std::max(n, clamp01((b.r - std::hypot(x - b.x, y - b.y)) / 1.4 + 0.5));
            const double* cytoplasm = kind == 1 || kind == 3 ? kBlueCytoplasm : kPaleCytoplasm;
            d.add(x, y, inside * (kind == 3 ? 0.55 : 0.8) * (1 - n), cytoplasm);
            if (kind != 1) {
                const double speckle =
                    noise.at(x * (kind == 2 ? 0.32 : 0.7), y * (kind == 2 ? 0.32 : 0.7), 1);
                const double granule = clamp01((speckle - (kind == 2 ? 0.55 : 0.6)) * 5);
                d.add(x, y, inside * (1 - n) * granule * (kind == 2 ? 1.1 : 0.6),
                      kind == 2 ? kOrangeGranule : kGranule);
            }
            d.add(x, y, inside * n * nucleusAt(noise, x, y) * (kind == 3 ? 0.75 : 1.0), kNucleus);
        }
}

void paintPlatelet(Density& d, const Noise& noise, std::mt19937& random, double cx, double cy) {
    static const double kPlatelet[3] = {0.45, 0.75, 0.22};
    std::uniform_real_distribution<double> u(0, 1);
    const Outline outline = randomOutline(random, 3.5 + 3 * u(random), 0.0);
    for (int y = std::max(0, int(cy) - 12); y < std::min(d.height, int(cy) + 12); ++y)
        for (int x = std::max(0, int(cx) - 12); x < std::min(d.width, int(cx) + 12); ++x) {
            const double dx = x - cx, dy = y - cy;
            const double inside =
                clamp01((outline.at(std::atan2(dy, dx)) - std::hypot(dx, dy)) + 0.5);
            if (inside > 0)
                d.add(x, y, inside * (0.5 + 0.6 * noise.at(x * 0.5, y * 0.5, 1)), kPlatelet);
        }
}

// Gaussian blur of one channel (the optics' own softness), separable.
void soften(std::vector<float>& channel, int w, int h, double sigma) {
    const int radius = static_cast<int>(std::ceil(sigma * 3));
    std::vector<float> kernel(2 * radius + 1);
    float total = 0;
    for (int k = -radius; k <= radius; ++k)
        total += kernel[k + radius] = std::exp(-k * k / (2 * sigma * sigma));
    for (float& k : kernel) k /= total;
    std::vector<float> tmp(channel.size());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float s = 0;
            for (int k = -radius; k <= radius; ++k)
                s += kernel[k + radius] * channel[y * w + std::clamp(x + k, 0, w - 1)];
            tmp[y * w + x] = s;
        }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float s = 0;
            for (int k = -radius; k <= radius; ++k)
                s += kernel[k + radius] * tmp[std::clamp(y + k, 0, h - 1) * w + x];
            channel[y * w + x] = s;
        }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: qelvo_specimenart OUT.jpg [WIDTH HEIGHT]\n");
        return 2;
    }
    const int width = argc == 4 ? std::atoi(argv[2]) : 2048;
    const int height = argc == 4 ? std::atoi(argv[3]) : 1536;
    if (width < 64 || height < 64 || width > 8192 || height > 8192) {
        std::fprintf(stderr, "qelvo_specimenart: the size must be 64 to 8192 pixels a side\n");
        return 2;
    }
    std::mt19937 random(20261210);
    std::uniform_real_distribution<double> u(0, 1);
    const Noise noise(7);
    Density d(width, height);
    const double scale = width / 2048.0;

    // White cells first (the red cells are placed around them), then red cells spread with a
    // little overlap, then platelets in the gaps.
    struct Placed {
        double x, y, r;
    };
    std::vector<Placed> placed;
    const int kinds[] = {0, 1, 0, 3, 2, 0, 1};
    for (int kind : kinds) {
        for (int attempt = 0; attempt < 200; ++attempt) {
            const double x = (0.08 + 0.84 * u(random)) * width,
                         y = (0.08 + 0.84 * u(random)) * height;
            const bool free = std::all_of(placed.begin(), placed.end(), [&](const Placed& p) {
                return std::hypot(p.x - x, p.y - y) > 380 * scale;
            });
            if (!free) continue;
            paintWhiteCell(d, noise, random, x, y, kind);
            placed.push_back({x, y, 50 * scale});
            break;
        }
    }
    const std::size_t whiteCells = placed.size();
    for (int attempt = 0; attempt < 40000 && placed.size() < whiteCells + 620 * scale * scale;
         ++attempt) {
        const double r = (27 + 5 * u(random)) * scale;
        const double x = u(random) * (width + 40) - 20, y = u(random) * (height + 40) - 20;
        const bool free = std::all_of(placed.begin(), placed.end(), [&](const Placed& p) {
            return std::hypot(p.x - x, p.y - y) > (p.r + r) * 0.86;
        });
        if (!free) continue;
        paintRedCell(d, noise, x, y, randomOutline(random, r, 0.55), 0.85 + 0.3 * u(random));
        placed.push_back({x, y, r});
    }
    for (int i = 0, done = 0; i < 4000 && done < 45; ++i) {
        const double x = u(random) * width, y = u(random) * height;
        const bool free = std::all_of(placed.begin(), placed.end(), [&](const Placed& p) {
            return std::hypot(p.x - x, p.y - y) > p.r + 6;
        });
        if (!free) continue;
        paintPlatelet(d, noise, random, x, y);
        ++done;
    }
    for (auto* channel : {&d.r, &d.g, &d.b}) soften(*channel, width, height, 0.9 * scale + 0.3);

    // The light: slightly warm, a little uneven across the slide.
    QImage out(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* line = out.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            const double light = 0.96 + 0.05 * noise.at(x * 0.002 + 9, y * 0.002 + 9, 2);
            const double base[3] = {238, 234, 240};
            const float od[3] = {d.r[i], d.g[i], d.b[i]};
            for (int c = 0; c < 3; ++c) {
                const double v = base[c] * light * std::pow(10.0, -od[c]);
                line[x * 3 + c] = static_cast<uchar>(std::clamp(std::lround(v), 0L, 255L));
            }
        }
    }
    if (!out.save(QString::fromLocal8Bit(argv[1]), "JPEG", 82)) {
        std::fprintf(stderr, "qelvo_specimenart: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
