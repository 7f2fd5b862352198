#include "measure/RulingFinder.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numeric>
#include <optional>
#include <type_traits>
#include <vector>

#include "measure/FftInternal.h"

// How the pitch is found:
//  1. The picture is reduced by box averaging to at most about 700 pixels a side, tapered at
//     its edges and transformed; the strongest peak of the power spectrum between periods of
//     2.5 reduced pixels and a quarter of the picture gives the ruling's direction and a first
//     pitch (a sub-multiple of the peak's frequency wins when it is strong too, so a harmonic
//     is never taken for the fundamental).  A peak that does not stand far above the
//     spectrum around it is no ruling.
//  2. Blocks of the reduced picture are demodulated at that frequency; the blocks where the
//     ruling's energy is high make up the part of the picture it covers.
//  3. The full-resolution pixels of those blocks are projected onto the lines' normal, giving
//     a profile across the lines with every line's length averaged in.  The phase of the
//     fundamental along overlapping stretches of that profile, fitted by a straight line,
//     gives the frequency over the whole extent of the ruling: hundreds of lines measured at
//     once, so the pitch comes out to a small fraction of a pixel.
namespace qelvo::measure {
namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.14159265358979323846;
constexpr int kTargetSide = 700;       // reduced picture: at most about this many pixels
constexpr double kMinPeriod = 2.5;     // reduced pixels
constexpr double kMinProminence = 60;  // spectral peak over the median around it
constexpr double kMinPeriodicShare = 0.15;
constexpr double kMinLines = 4;
constexpr double kBin = 0.5;  // profile bin, full-resolution pixels

struct Reduced {
    std::vector<float> pixels;
    int width = 0;
    int height = 0;
    int factor = 1;
    float at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

Reduced reduce(const GreyView& v, int factor) {
    Reduced r;
    r.factor = factor;
    r.width = v.width / factor;
    r.height = v.height / factor;
    r.pixels.resize(static_cast<std::size_t>(r.width) * r.height);
    std::vector<std::uint32_t> sums(static_cast<std::size_t>(r.width));
    const float scale = 1.0f / static_cast<float>(factor * factor);
    for (int y = 0; y < r.height; ++y) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int dy = 0; dy < factor; ++dy) {
            const std::uint8_t* row =
                v.data + static_cast<std::ptrdiff_t>(y * factor + dy) * v.stride;
            if (factor == 1) {
                for (int x = 0; x < r.width; ++x) sums[x] += row[x];
            } else {
                for (int x = 0; x < r.width; ++x) {
                    std::uint32_t s = 0;
                    const std::uint8_t* p = row + x * factor;
                    for (int dx = 0; dx < factor; ++dx) s += p[dx];
                    sums[x] += s;
                }
            }
        }
        float* out = &r.pixels[static_cast<std::size_t>(y) * r.width];
        for (int x = 0; x < r.width; ++x) out[x] = static_cast<float>(sums[x]) * scale;
    }
    return r;
}

// The spectrum of the reduced picture, half plane.
struct Spectrum {
    std::vector<float> power;
    int width = 0;  // transform size
    int height = 0;
    int columns = 0;                          // width / 2 + 1
    double minRadius = 0.0, maxRadius = 0.0;  // the band searched, cycles per reduced pixel

    // Power at any integer frequency (negative kx by symmetry).
    float at(int kx, int ky) const {
        if (kx < 0) {
            kx = -kx;
            ky = -ky;
        }
        if (kx >= columns) return 0.0f;
        ky = ((ky % height) + height) % height;
        return power[static_cast<std::size_t>(ky) * columns + kx];
    }
    double fx(double kx) const { return kx / width; }
    double fy(double ky) const { return ky / height; }
};

Spectrum spectrumOf(const Reduced& r, double mean) {
    Spectrum s;
    s.width = fft::nextPowerOfTwo(r.width);
    s.height = fft::nextPowerOfTwo(r.height);
    s.columns = s.width / 2 + 1;
    // A Tukey window: flat over the middle, tapered over a tenth of each side, so a ruling
    // near the edge still counts and the picture's borders leave no streaks.
    auto taper = [](int n) {
        std::vector<float> w(static_cast<std::size_t>(n), 1.0f);
        const int edge = std::max(1, n / 10);
        for (int i = 0; i < edge; ++i) {
            const float v = static_cast<float>(0.5 - 0.5 * std::cos(kPi * (i + 0.5) / edge));
            w[i] = v;
            w[n - 1 - i] = v;
        }
        return w;
    };
    const std::vector<float> wx = taper(r.width), wy = taper(r.height);
    std::vector<float> padded(static_cast<std::size_t>(s.width) * s.height, 0.0f);
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x)
            padded[static_cast<std::size_t>(y) * s.width + x] =
                (r.at(x, y) - static_cast<float>(mean)) * wx[x] * wy[y];
    s.power = fft::realPowerSpectrum(padded, s.width, s.height);
    s.minRadius = 4.0 / std::min(r.width, r.height);
    s.maxRadius = 1.0 / kMinPeriod;
    return s;
}

struct Peak {
    int kx = 0, ky = 0;
    double power = 0.0;
    double fx = 0.0, fy = 0.0;  // refined, cycles per reduced pixel
    double radius() const { return std::hypot(fx, fy); }
};

// Gaussian interpolation of a peak from its neighbours (the log of a peak is near a parabola).
double interpolate(double minus, double centre, double plus) {
    const double a = std::log(minus + 1e-20), b = std::log(centre + 1e-20),
                 c = std::log(plus + 1e-20);
    const double d = a - 2 * b + c;
    if (!(d < 0)) return 0.0;
    return std::clamp(0.5 * (a - c) / d, -0.5, 0.5);
}

Peak refinePeak(const Spectrum& s, int kx, int ky) {
    Peak p;
    p.kx = kx;
    p.ky = ky;
    p.power = s.at(kx, ky);
    const double dx = interpolate(s.at(kx - 1, ky), p.power, s.at(kx + 1, ky));
    const double dy = interpolate(s.at(kx, ky - 1), p.power, s.at(kx, ky + 1));
    p.fx = s.fx(kx + dx);
    p.fy = s.fy(ky + dy);
    return p;
}

bool inBand(const Spectrum& s, int kx, int ky) {
    const double r = std::hypot(s.fx(kx), s.fy(ky));
    return r >= s.minRadius && r <= s.maxRadius;
}

// The strongest bin of the band, optionally only within `tolerance` radians of `direction`
// (directions are taken modulo 180 degrees).
Peak strongest(const Spectrum& s, double direction = 0.0, double tolerance = -1.0) {
    Peak best;
    for (int ky = -s.height / 2; ky < s.height / 2; ++ky) {
        for (int kx = 0; kx < s.columns; ++kx) {
            if (kx == 0 && ky <= 0) continue;  // the other half of the symmetric spectrum
            const float p = s.at(kx, ky);
            if (p <= best.power || !inBand(s, kx, ky)) continue;
            if (tolerance >= 0.0) {
                double d =
                    std::fabs(std::remainder(std::atan2(s.fy(ky), s.fx(kx)) - direction, kPi));
                if (d > tolerance) continue;
            }
            best.kx = kx;
            best.ky = ky;
            best.power = p;
        }
    }
    if (best.power > 0.0) best = refinePeak(s, best.kx, best.ky);
    return best;
}

// The peak's power over the median power at about its frequency, away from the peak.
double prominence(const Spectrum& s, const Peak& peak) {
    const double r0 = peak.radius();
    std::vector<float> ring;
    const int reach = static_cast<int>(std::ceil(1.1 * r0 * std::max(s.width, s.height))) + 1;
    for (int ky = -std::min(reach, s.height / 2); ky < std::min(reach, s.height / 2); ++ky)
        for (int kx = 0; kx < std::min(reach, s.columns); ++kx) {
            const double r = std::hypot(s.fx(kx), s.fy(ky));
            if (std::fabs(r - r0) > 0.1 * r0) continue;
            if (std::abs(kx - peak.kx) <= 3 && std::abs(ky - peak.ky) <= 3) continue;
            ring.push_back(s.at(kx, ky));
        }
    if (ring.size() < 8) return 0.0;
    auto middle = ring.begin() + static_cast<std::ptrdiff_t>(ring.size() / 2);
    std::nth_element(ring.begin(), middle, ring.end());
    return peak.power / std::max(1e-12, static_cast<double>(*middle));
}

// A strong peak at a half or a third of the frequency means the peak is a harmonic.
Peak fundamentalOf(const Spectrum& s, const Peak& peak) {
    Peak best = peak;
    double bestPower = 0.0;
    for (int m : {2, 3}) {
        const double kx = peak.fx * s.width / m, ky = peak.fy * s.height / m;
        if (std::hypot(peak.fx / m, peak.fy / m) < s.minRadius) continue;
        // The strongest bin next to where the fundamental would be, if it is a local maximum.
        int bx = 0, by = 0;
        float bp = -1.0f;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const int x = static_cast<int>(std::lround(kx)) + dx;
                const int y = static_cast<int>(std::lround(ky)) + dy;
                if (s.at(x, y) > bp) {
                    bp = s.at(x, y);
                    bx = x;
                    by = y;
                }
            }
        bool localMax = true;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if ((dx || dy) && s.at(bx + dx, by + dy) > bp) localMax = false;
        if (localMax && bp >= 0.25 * peak.power && bp > bestPower) {
            bestPower = bp;
            best = refinePeak(s, bx, by);
        }
    }
    return best;
}

// The part of the picture the ruling covers: blocks of the reduced picture with high energy
// at the ruling's frequency, the largest connected group of them.
struct Coverage {
    int block = 0;  // reduced pixels
    int columns = 0, rows = 0;
    std::vector<char> inside;                      // per block
    int left = 0, top = 0, right = 0, bottom = 0;  // in blocks, right/bottom exclusive
};

std::vector<double> blockAmplitudes(const Reduced& r, int block, int columns, int rows, double fx,
                                    double fy) {
    std::vector<Complex> ex(static_cast<std::size_t>(r.width)),
        ey(static_cast<std::size_t>(r.height));
    for (int x = 0; x < r.width; ++x) ex[x] = std::polar(1.0, -2 * kPi * fx * x);
    for (int y = 0; y < r.height; ++y) ey[y] = std::polar(1.0, -2 * kPi * fy * y);
    std::vector<double> amplitude(static_cast<std::size_t>(columns) * rows);
    for (int by = 0; by < rows; ++by)
        for (int bx = 0; bx < columns; ++bx) {
            double sum = 0.0;
            Complex basis(0.0, 0.0), weighted(0.0, 0.0);
            for (int y = by * block; y < (by + 1) * block; ++y) {
                Complex rowBasis(0.0, 0.0), rowWeighted(0.0, 0.0);
                const float* row = &r.pixels[static_cast<std::size_t>(y) * r.width];
                for (int x = bx * block; x < (bx + 1) * block; ++x) {
                    sum += row[x];
                    rowBasis += ex[x];
                    rowWeighted += static_cast<double>(row[x]) * ex[x];
                }
                basis += rowBasis * ey[y];
                weighted += rowWeighted * ey[y];
            }
            const double n = static_cast<double>(block) * block;
            amplitude[static_cast<std::size_t>(by) * columns + bx] =
                std::abs(weighted - (sum / n) * basis) / n;
        }
    return amplitude;
}

Coverage coverageOf(const Reduced& r, double fx, double fy) {
    Coverage c;
    const double period = 1.0 / std::hypot(fx, fy);
    c.block = std::clamp(static_cast<int>(std::lround(2.0 * period)), 6, 64);
    c.block = std::min({c.block, r.width / 4, r.height / 4});
    c.columns = r.width / c.block;
    c.rows = r.height / c.block;
    const std::size_t count = static_cast<std::size_t>(c.columns) * c.rows;
    const std::vector<double> amplitude = blockAmplitudes(r, c.block, c.columns, c.rows, fx, fy);
    // The same at a frequency no ruling has (turned by 60 degrees, a little longer): what
    // noise and texture alone give.
    const double turn = kPi / 3, stretch = 0.83;
    const std::vector<double> control = blockAmplitudes(
        r, c.block, c.columns, c.rows, stretch * (fx * std::cos(turn) - fy * std::sin(turn)),
        stretch * (fx * std::sin(turn) + fy * std::cos(turn)));
    // Smoothed over 3 x 3 blocks so a noisy block does not split the ruling.
    std::vector<double> smooth(count, 0.0);
    for (int by = 0; by < c.rows; ++by)
        for (int bx = 0; bx < c.columns; ++bx) {
            double s = 0.0;
            int n = 0;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int x = bx + dx, y = by + dy;
                    if (x < 0 || y < 0 || x >= c.columns || y >= c.rows) continue;
                    s += amplitude[static_cast<std::size_t>(y) * c.columns + x];
                    ++n;
                }
            smooth[static_cast<std::size_t>(by) * c.columns + bx] = s / n;
        }
    std::vector<double> sorted = control;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(count / 2),
                     sorted.end());
    const double noise = sorted[count / 2];
    const double top = *std::max_element(smooth.begin(), smooth.end());
    const double threshold = std::max(0.3 * top, 2.5 * noise);
    std::vector<char> above(count);
    for (std::size_t i = 0; i < count; ++i) above[i] = smooth[i] >= threshold;

    // The connected group (8 neighbours) with the most energy.
    std::vector<int> group(count, -1);
    std::vector<double> energy;
    std::vector<int> stack;
    for (std::size_t start = 0; start < count; ++start) {
        if (!above[start] || group[start] >= 0) continue;
        const int id = static_cast<int>(energy.size());
        energy.push_back(0.0);
        stack.push_back(static_cast<int>(start));
        group[start] = id;
        while (!stack.empty()) {
            const int i = stack.back();
            stack.pop_back();
            energy[id] += amplitude[i] * amplitude[i];
            const int bx = i % c.columns, by = i / c.columns;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    const int x = bx + dx, y = by + dy;
                    if (x < 0 || y < 0 || x >= c.columns || y >= c.rows) continue;
                    const int j = y * c.columns + x;
                    if (above[j] && group[j] < 0) {
                        group[j] = id;
                        stack.push_back(j);
                    }
                }
        }
    }
    c.inside.assign(count, 0);
    if (energy.empty()) return c;
    const int chosen =
        static_cast<int>(std::max_element(energy.begin(), energy.end()) - energy.begin());
    c.left = c.columns;
    c.top = c.rows;
    for (std::size_t i = 0; i < count; ++i) {
        if (group[i] != chosen) continue;
        c.inside[i] = 1;
        const int bx = static_cast<int>(i) % c.columns, by = static_cast<int>(i) / c.columns;
        c.left = std::min(c.left, bx);
        c.top = std::min(c.top, by);
        c.right = std::max(c.right, bx + 1);
        c.bottom = std::max(c.bottom, by + 1);
    }
    return c;
}

// A profile across the lines: pixel sums and counts per bin of the distance along the
// normal, measured from the picture's centre; one for all covered pixels and one per strip
// along the lines (for the direction).
struct Profile {
    std::vector<double> sum;
    std::vector<double> count;
    double start = 0.0;  // distance of bin 0's lower edge
    double t(std::size_t i) const { return start + (static_cast<double>(i) + 0.5) * kBin; }
};

struct Profiles {
    Profile all;
    std::vector<Profile> strips;
    std::vector<double> stripAlong;  // mean distance of each strip along the lines
};

constexpr int kStrips = 8;

// Projects the covered blocks of a picture (`side` of its pixels a block) onto the normal at
// `angle`.
template <typename Pixel>
Profiles project(const Pixel* data, std::ptrdiff_t stride, int width, int height, const Coverage& c,
                 int side, double angle) {
    using Sum = std::conditional_t<std::is_integral_v<Pixel>, std::uint32_t, double>;
    const double cx = width / 2.0, cy = height / 2.0;
    const double cs = std::cos(angle), sn = std::sin(angle);
    const int x0 = c.left * side, y0 = c.top * side;
    const int x1 = std::min(width, c.right * side), y1 = std::min(height, c.bottom * side);
    double lo = INFINITY, hi = -INFINITY, alongLo = INFINITY, alongHi = -INFINITY;
    for (int x : {x0, x1})
        for (int y : {y0, y1}) {
            const double t = (x - cx) * cs + (y - cy) * sn, s = -(x - cx) * sn + (y - cy) * cs;
            lo = std::min(lo, t);
            hi = std::max(hi, t);
            alongLo = std::min(alongLo, s);
            alongHi = std::max(alongHi, s);
        }
    Profiles result;
    const double start = lo - 2 * kBin;
    const std::size_t bins = static_cast<std::size_t>((hi - start) / kBin) + 4;
    std::vector<std::vector<Sum>> sum(kStrips, std::vector<Sum>(bins, 0)),
        count(kStrips, std::vector<Sum>(bins, 0));
    std::vector<double> along(kStrips, 0.0), pixels(kStrips, 0.0);
    const double stripWidth = std::max(1e-9, (alongHi - alongLo) / kStrips);
    const double step = cs / kBin;
    for (int by = c.top; by < c.bottom; ++by)
        for (int bx = c.left; bx < c.right; ++bx) {
            if (!c.inside[static_cast<std::size_t>(by) * c.columns + bx]) continue;
            const int xs = bx * side, xe = std::min(width, (bx + 1) * side);
            const int ys = by * side, ye = std::min(height, (by + 1) * side);
            const double s = -((xs + xe) / 2.0 - cx) * sn + ((ys + ye) / 2.0 - cy) * cs;
            const int k = std::clamp(static_cast<int>((s - alongLo) / stripWidth), 0, kStrips - 1);
            along[k] += s * (xe - xs) * (ye - ys);
            pixels[k] += static_cast<double>(xe - xs) * (ye - ys);
            Sum* stripSum = sum[k].data();
            Sum* stripCount = count[k].data();
            for (int y = ys; y < ye; ++y) {
                const Pixel* row = data + static_cast<std::ptrdiff_t>(y) * stride;
                double index = ((xs + 0.5 - cx) * cs + (y + 0.5 - cy) * sn - start) / kBin;
                for (int x = xs; x < xe; ++x) {
                    const std::size_t b = static_cast<std::size_t>(index);
                    stripSum[b] += row[x];
                    ++stripCount[b];
                    index += step;
                }
            }
        }
    result.all.start = start;
    result.all.sum.assign(bins, 0.0);
    result.all.count.assign(bins, 0.0);
    for (int k = 0; k < kStrips; ++k) {
        if (pixels[k] == 0) continue;
        Profile strip;
        strip.start = start;
        strip.sum.assign(sum[k].begin(), sum[k].end());
        strip.count.assign(count[k].begin(), count[k].end());
        for (std::size_t i = 0; i < bins; ++i) {
            result.all.sum[i] += strip.sum[i];
            result.all.count[i] += strip.count[i];
        }
        result.strips.push_back(std::move(strip));
        result.stripAlong.push_back(along[k] / pixels[k]);
    }
    return result;
}

// The profile less its slow changes (illumination, the ruling's ends): each bin minus the
// mean over `window` bins around it.  Weights are the pixel counts.
struct Detrended {
    std::vector<double> value;
    std::vector<double> weight;
};

Detrended detrend(const Profile& p, int window) {
    const std::size_t n = p.sum.size();
    std::vector<double> cs(n + 1, 0.0), cc(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i) {
        cs[i + 1] = cs[i] + p.sum[i];
        cc[i + 1] = cc[i] + p.count[i];
    }
    Detrended d;
    d.value.assign(n, 0.0);
    d.weight.assign(n, 0.0);
    const std::size_t half = static_cast<std::size_t>(window / 2);
    for (std::size_t i = 0; i < n; ++i) {
        if (p.count[i] == 0) continue;
        const std::size_t a = i > half ? i - half : 0, b = std::min(n, i + half + 1);
        const double c = cc[b] - cc[a];
        d.value[i] = p.sum[i] / p.count[i] - (cs[b] - cs[a]) / c;
        d.weight[i] = p.count[i];
    }
    return d;
}

// Complex amplitude of frequency f (cycles per pixel) over bins [a, b), Hann-weighted.
Complex amplitudeAt(const Profile& p, const Detrended& d, double f, std::size_t a, std::size_t b,
                    bool hann, double* weightSum = nullptr) {
    Complex c(0.0, 0.0);
    double ws = 0.0;
    const double len = static_cast<double>(b - a);
    const Complex rotate = std::polar(1.0, -2 * kPi * f * kBin);
    Complex e = std::polar(1.0, -2 * kPi * f * p.t(a));
    for (std::size_t i = a; i < b; ++i, e *= rotate) {
        if (d.weight[i] == 0) continue;
        const double w =
            d.weight[i] * (hann ? 0.5 - 0.5 * std::cos(2 * kPi * (i - a + 0.5) / len) : 1.0);
        c += w * d.value[i] * e;
        ws += w;
    }
    if (weightSum) *weightSum = ws;
    return c;
}

// The fundamental over bins [a, b) of a profile: a least-squares fit of a quadratic trend
// (illumination, the ruling's ends) plus a cosine and a sine at frequency f, weighted by the
// pixels per bin (and a Hann window when asked).  The profile is about
// amplitude * cos(2 pi f t + phase) there.
struct Wave {
    double phase = 0.0;
    double amplitude = 0.0;
    double weight = 0.0;  // pixels that took part
};

Wave waveAt(const Profile& p, double f, std::size_t a, std::size_t b, bool hann, int trend = 2) {
    constexpr int kMost = 5;
    const int n = trend + 3;  // trend terms, cosine, sine
    double m[kMost][kMost + 1] = {};
    const double length = static_cast<double>(b - a), middle = (a + b) / 2.0;
    const Complex rotate = std::polar(1.0, 2 * kPi * f * kBin);
    Complex e = std::polar(1.0, 2 * kPi * f * p.t(a));
    Wave wave;
    for (std::size_t i = a; i < b; ++i, e *= rotate) {
        if (p.count[i] == 0) continue;
        const double window =
            hann ? 0.5 - 0.5 * std::cos(2 * kPi * (static_cast<double>(i - a) + 0.5) / length)
                 : 1.0;
        const double w = p.count[i] * window;
        const double u = (static_cast<double>(i) - middle) / length;
        double basis[kMost] = {1.0, u, u * u};
        basis[n - 2] = e.real();
        basis[n - 1] = e.imag();
        const double value = p.sum[i] / p.count[i];
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < n; ++c) m[r][c] += w * basis[r] * basis[c];
            m[r][n] += w * basis[r] * value;
        }
        wave.weight += w;
    }
    // Gaussian elimination with partial pivoting.
    for (int col = 0; col < n; ++col) {
        int pivot = col;
        for (int r = col + 1; r < n; ++r)
            if (std::fabs(m[r][col]) > std::fabs(m[pivot][col])) pivot = r;
        if (!(std::fabs(m[pivot][col]) > 1e-12 * std::max(1.0, wave.weight))) return Wave{};
        if (pivot != col)
            for (int c = 0; c <= n; ++c) std::swap(m[col][c], m[pivot][c]);
        for (int r = 0; r < n; ++r) {
            if (r == col) continue;
            const double factor = m[r][col] / m[col][col];
            for (int c = col; c <= n; ++c) m[r][c] -= factor * m[col][c];
        }
    }
    const double cosine = m[n - 2][n] / m[n - 2][n - 2], sine = m[n - 1][n] / m[n - 1][n - 1];
    wave.phase = std::atan2(-sine, cosine);
    wave.amplitude = std::hypot(cosine, sine);
    return wave;
}

struct Fit {
    bool ok = false;
    double frequency = 0.0;
    std::size_t first = 0, last = 0;  // bins of the ruling's extent
    double residual = 0.0;            // radians, RMS
    std::size_t stretches = 0;        // stretches of the profile that agreed
    const char* why = "";
};

// Refines the frequency by the phase of the fundamental along stretches of the profile,
// `periods` periods long.  Long stretches (windowed, with a quadratic trend) average more
// lines into each phase; a ruling of few lines needs short ones (a whole period or two,
// with a straight trend, where the harmonics do not disturb the fundamental).
Fit fitFrequency(const Profile& p, const Detrended& d, double f, double periods = 6) {
    Fit fit;
    const bool hann = periods >= 3;
    const int trend = periods >= 3 ? 2 : 1;
    for (int round = 0; round < 4; ++round) {
        const double period = 1.0 / f / kBin;  // in bins
        const std::size_t length =
            static_cast<std::size_t>(std::max(8.0, std::round(periods * period)));
        const std::size_t step = std::max<std::size_t>(
            1, static_cast<std::size_t>(std::min(2 * period, std::round(length / 2.0))));
        struct Stretch {
            double t, phase, amplitude;
        };
        std::vector<Stretch> stretches;
        for (std::size_t a = 0; a + length <= d.value.size(); a += step) {
            const Wave wave = waveAt(p, f, a, a + length, hann, trend);
            stretches.push_back({p.t(a) + length * kBin / 2, wave.phase, wave.amplitude});
        }
        if (stretches.size() < 2) {
            fit.why = "too few lines";
            return fit;
        }
        double top = 0.0;
        for (const Stretch& s : stretches) top = std::max(top, s.amplitude);
        // The longest run of stretches with a clear fundamental.
        std::size_t bestStart = 0, bestLength = 0;
        for (std::size_t i = 0; i < stretches.size();) {
            if (stretches[i].amplitude < 0.25 * top) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < stretches.size() && stretches[j].amplitude >= 0.25 * top) ++j;
            if (j - i > bestLength) {
                bestStart = i;
                bestLength = j - i;
            }
            i = j;
        }
        if (bestLength < 3) {
            fit.why = "too few lines";
            return fit;
        }
        // Unwrapped phases along the run, fitted by a straight line (weighted by amplitude).
        std::vector<double> phase(bestLength);
        phase[0] = stretches[bestStart].phase;
        for (std::size_t k = 1; k < bestLength; ++k) {
            const double jump = std::remainder(
                stretches[bestStart + k].phase - stretches[bestStart + k - 1].phase, 2 * kPi);
            phase[k] = phase[k - 1] + jump;
        }
        double sw = 0, st = 0, sp = 0, stt = 0, stp = 0;
        for (std::size_t k = 0; k < bestLength; ++k) {
            const Stretch& s = stretches[bestStart + k];
            const double w = s.amplitude * s.amplitude;
            sw += w;
            st += w * s.t;
            sp += w * phase[k];
            stt += w * s.t * s.t;
            stp += w * s.t * phase[k];
        }
        const double denominator = sw * stt - st * st;
        if (!(denominator > 0)) {
            fit.why = "too few lines";
            return fit;
        }
        const double slope = (sw * stp - st * sp) / denominator;
        const double offset = (sp - slope * st) / sw;
        double residual = 0.0;
        for (std::size_t k = 0; k < bestLength; ++k) {
            const Stretch& s = stretches[bestStart + k];
            const double e = phase[k] - (offset + slope * s.t);
            residual += s.amplitude * s.amplitude * e * e;
        }
        fit.residual = std::sqrt(residual / sw);
        fit.stretches = bestLength;
        f += slope / (2 * kPi);
        const double span = length * kBin / 2;
        const double firstT = stretches[bestStart].t - span;
        const double lastT = stretches[bestStart + bestLength - 1].t + span;
        fit.first = static_cast<std::size_t>(std::max(0.0, (firstT - p.start) / kBin));
        fit.last = std::min(d.value.size(),
                            static_cast<std::size_t>(std::max(0.0, (lastT - p.start) / kBin)));
        if (std::fabs(slope / (2 * kPi)) < 1e-7 * f) break;
    }
    fit.frequency = f;
    fit.ok = f > 0;
    return fit;
}

// The frequency from stretches as long as the ruling allows: six periods where there are
// lines enough for several such stretches, shorter ones otherwise.
Fit fitBest(const Profile& p, const Detrended& d, double f) {
    Fit best;
    for (double periods : {6.0}) {
        const Fit fit = fitFrequency(p, d, f, periods);
        if (fit.ok && fit.stretches >= 6) return fit;
        if (fit.ok || !best.ok) best = fit;
    }
    return best;
}

// How far the lines' true direction is turned from `angle` (radians): the phase of the
// fundamental in each strip along the lines moves with the strip's distance when the
// projection runs slightly across the lines.
std::optional<double> directionError(const Profiles& profiles, const Fit& fit) {
    struct Strip {
        double along, phase, weight;
    };
    std::vector<Strip> strips;
    for (std::size_t k = 0; k < profiles.strips.size(); ++k) {
        const Wave wave = waveAt(profiles.strips[k], fit.frequency, fit.first, fit.last, false);
        strips.push_back({profiles.stripAlong[k], wave.phase, wave.amplitude * wave.weight});
    }
    double top = 0.0;
    for (const Strip& s : strips) top = std::max(top, s.weight);
    std::erase_if(strips, [&](const Strip& s) { return s.weight < 0.2 * top; });
    if (strips.size() < 3) return std::nullopt;
    double sw = 0, sa = 0, sp = 0, saa = 0, sap = 0, phase = strips[0].phase;
    for (std::size_t k = 0; k < strips.size(); ++k) {
        if (k > 0) phase += std::remainder(strips[k].phase - strips[k - 1].phase, 2 * kPi);
        const double w = strips[k].weight;
        sw += w;
        sa += w * strips[k].along;
        sp += w * phase;
        saa += w * strips[k].along * strips[k].along;
        sap += w * strips[k].along * phase;
    }
    const double denominator = sw * saa - sa * sa;
    if (!(denominator > 0)) return std::nullopt;
    const double slope = (sw * sap - sa * sp) / denominator;
    return std::atan(slope / (2 * kPi * fit.frequency));
}

// One family of lines: where it lies, its direction and its pitch.
struct Family {
    bool ok = false;
    const char* why = "no regular ruling found";
    Coverage coverage;
    double angle = 0.0;
    Profiles profiles;
    Detrended detrended;
    Fit fit;
    double lines() const { return (fit.last - fit.first) * kBin * fit.frequency; }
};

Family refineFamily(const GreyView& picture, const Reduced& reduced, int factor, const Peak& peak) {
    Family family;
    family.coverage = coverageOf(reduced, peak.fx, peak.fy);
    const Coverage& coverage = family.coverage;
    if (coverage.right <= coverage.left || coverage.bottom <= coverage.top) return family;

    // The direction first, on the reduced picture (cheap), then the pitch at full resolution.
    double angle = std::atan2(peak.fy, peak.fx);
    double frequency = peak.radius();  // cycles per reduced pixel
    for (int round = 0; round < 3; ++round) {
        const Profiles coarse = project(reduced.pixels.data(), reduced.width, reduced.width,
                                        reduced.height, coverage, coverage.block, angle);
        const int window = std::max(3, static_cast<int>(std::lround(4.0 / frequency / kBin)));
        const Fit coarseFit = fitBest(coarse.all, detrend(coarse.all, window), frequency);
        if (!coarseFit.ok) break;
        frequency = coarseFit.frequency;
        const auto turn = directionError(coarse, coarseFit);
        if (!turn || std::fabs(*turn) > 0.1) break;
        angle += *turn;
        if (std::fabs(*turn) < 1e-4) break;
    }
    frequency /= factor;  // cycles per full-resolution pixel
    Profiles& profiles = family.profiles;
    Detrended& detrended = family.detrended;
    Fit& fit = family.fit;
    for (int round = 0; round < 2; ++round) {
        profiles = project(picture.data, picture.stride, picture.width, picture.height, coverage,
                           coverage.block * factor, angle);
        const int window = std::max(3, static_cast<int>(std::lround(4.0 / frequency / kBin)));
        detrended = detrend(profiles.all, window);
        fit = fitBest(profiles.all, detrended, frequency);
        if (!fit.ok) break;
        frequency = fit.frequency;
        // Once more only when the full resolution shows the direction still measurably off.
        const auto turn = directionError(profiles, fit);
        if (!turn || std::fabs(*turn) < 2e-4 || std::fabs(*turn) > 0.05) break;
        angle += *turn;
    }
    family.angle = angle;
    if (fit.ok) {
        // A strong component at a half or a third of the frequency: the lines found were the
        // harmonic of a coarser ruling.
        const Complex base =
            amplitudeAt(profiles.all, detrended, fit.frequency, fit.first, fit.last, true);
        for (int m : {2, 3}) {
            const Complex sub =
                amplitudeAt(profiles.all, detrended, fit.frequency / m, fit.first, fit.last, true);
            if (std::abs(sub) >= 0.5 * std::abs(base)) {
                const Fit coarser = fitBest(profiles.all, detrended, fit.frequency / m);
                if (coarser.ok) fit = coarser;
                break;
            }
        }
    }
    if (!fit.ok) {
        family.why = "no regular ruling found: too few lines";
        return family;
    }
    const double pitch = 1.0 / fit.frequency;
    if (fit.last <= fit.first || (fit.last - fit.first) * kBin < kMinLines * pitch) {
        family.why = "no regular ruling found: too few lines (4 at least are needed)";
        return family;
    }
    if (fit.residual > 0.6) {
        family.why = "no regular ruling found: the lines are not evenly spaced";
        return family;
    }
    family.ok = true;
    return family;
}

Ruling none(const char* why) {
    Ruling r;
    r.reason = why;
    return r;
}

}  // namespace

Ruling findRuling(const GreyView& picture) {
    if (!picture.data || picture.width <= 0 || picture.height <= 0 ||
        picture.stride < picture.width)
        return none("no picture to look for a ruling in");
    if (picture.width < 64 || picture.height < 64)
        return none("the picture is too small to find a ruling in (64 x 64 pixels at least)");
    const int factor =
        std::max(1, (std::max(picture.width, picture.height) + kTargetSide - 1) / kTargetSide);
    const Reduced reduced = reduce(picture, factor);
    if (reduced.width < 32 || reduced.height < 32)
        return none("the picture is too narrow to find a ruling in");
    double mean = 0.0, square = 0.0;
    for (float v : reduced.pixels) {
        mean += v;
        square += static_cast<double>(v) * v;
    }
    mean /= static_cast<double>(reduced.pixels.size());
    const double variance = square / static_cast<double>(reduced.pixels.size()) - mean * mean;
    if (!(variance > 0.25)) return none("no regular ruling found: the picture is plain");

    const Spectrum spectrum = spectrumOf(reduced, mean);
    Peak peak = strongest(spectrum);
    if (peak.power <= 0.0 || prominence(spectrum, peak) < kMinProminence)
        return none("no regular ruling found: no line pitch stands out in the picture");
    peak = fundamentalOf(spectrum, peak);
    const double peakAngle = std::atan2(peak.fy, peak.fx);
    // A second family of lines at right angles makes a cross grid.
    const Peak across = strongest(spectrum, peakAngle + kPi / 2, 10.0 * kPi / 180.0);
    const bool crossGrid =
        across.power >= 0.1 * peak.power && prominence(spectrum, across) >= kMinProminence;

    // Each family of lines refined on its own; of a cross grid the one across more lines.
    Family family = refineFamily(picture, reduced, factor, peak);
    if (crossGrid) {
        Family other = refineFamily(picture, reduced, factor, across);
        if (other.ok && (!family.ok || other.lines() > family.lines())) family = std::move(other);
    }
    if (!family.ok) return none(family.why);
    const Fit& fit = family.fit;
    const Profiles& profiles = family.profiles;
    const Detrended& detrended = family.detrended;
    const Coverage& coverage = family.coverage;
    const double angle = family.angle;
    const double pitch = 1.0 / fit.frequency;

    // How much of the profile's variation repeats with the pitch, and where the lines are:
    // the profile folded over one period.
    const int phases = std::max(8, static_cast<int>(std::lround(pitch / kBin)));
    std::vector<double> foldSum(static_cast<std::size_t>(phases), 0.0),
        foldWeight(static_cast<std::size_t>(phases), 0.0);
    double total = 0.0, totalWeight = 0.0, totalSquare = 0.0;
    for (std::size_t i = fit.first; i < fit.last; ++i) {
        const double w = detrended.weight[i];
        if (w == 0) continue;
        double u = profiles.all.t(i) / pitch;
        u -= std::floor(u);
        const std::size_t k =
            std::min<std::size_t>(phases - 1, static_cast<std::size_t>(u * phases));
        foldSum[k] += w * detrended.value[i];
        foldWeight[k] += w;
        total += w * detrended.value[i];
        totalSquare += w * detrended.value[i] * detrended.value[i];
        totalWeight += w;
    }
    if (totalWeight <= 0) return none("no regular ruling found");
    const double overall = total / totalWeight;
    const double spread = totalSquare / totalWeight - overall * overall;
    double periodic = 0.0, lowest = INFINITY, highest = -INFINITY;
    int lowestAt = 0, highestAt = 0;
    std::vector<double> wave(static_cast<std::size_t>(phases), overall);
    for (int k = 0; k < phases; ++k) {
        if (foldWeight[k] <= 0) continue;
        wave[k] = foldSum[k] / foldWeight[k];
        periodic += foldWeight[k] * (wave[k] - overall) * (wave[k] - overall);
        if (wave[k] < lowest) lowest = wave[k], lowestAt = k;
        if (wave[k] > highest) highest = wave[k], highestAt = k;
    }
    const double share = spread > 0 ? periodic / totalWeight / spread : 0.0;
    if (share < kMinPeriodicShare) return none("no regular ruling found");

    Ruling r;
    r.found = true;
    r.pitchPixels = pitch;
    double degrees = angle * 180.0 / kPi;
    if (degrees <= -90.0) degrees += 180.0;
    if (degrees > 90.0) degrees -= 180.0;
    r.angleDegrees = degrees;
    // The lines are the narrow extreme of the folded profile: dips for dark lines on a
    // bright ground, peaks for bright lines on a dark one.
    const bool dark = overall - lowest > highest - overall;
    const int at = dark ? lowestAt : highestAt;
    const double sign = dark ? -1.0 : 1.0;
    const double shift = interpolate(std::exp(sign * wave[(at + phases - 1) % phases] / 64.0),
                                     std::exp(sign * wave[at] / 64.0),
                                     std::exp(sign * wave[(at + 1) % phases] / 64.0));
    double phase = (at + 0.5 + shift) / phases * pitch;
    phase -= pitch * std::round(phase / pitch);
    r.phasePixels = phase;
    const int side = coverage.block * factor;
    r.left = coverage.left * side;
    r.top = coverage.top * side;
    r.right = std::min(picture.width, coverage.right * side);
    r.bottom = std::min(picture.height, coverage.bottom * side);
    r.crossGrid = crossGrid;
    r.strength = std::clamp(share, 0.0, 1.0);
    return r;
}

}  // namespace qelvo::measure
