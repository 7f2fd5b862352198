// Focus stacking figures: `qelvo stack` against Hugin's align_image_stack + enfuse on a
// synthetic focus series, and the peak memory of a 20-picture stack.
//
// The series: a detailed 2592 x 1944 picture (the ground truth) lies on a curved, tilted
// surface; slice i of n is focused at depth i / (n - 1), so each pixel is blurred by a Gaussian
// of sigma kBlurPerDepth * |depth - focus| and every slice is sharp in its own band.  Then
// the view moves as refocusing moves it (up to 8 px, 0.5 degrees, 1 % scale; the first slice
// is the truth's own frame), noise is added and the slice is saved as an 8-bit TIFF.
// PSNR is measured against the truth inside a 64-pixel margin, the region that every aligned
// slice covers (the largest displacement of a corner is about 42 px).
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DetailedPicture.h"
#include "picturefiles/PictureFile.h"
#include "support/BenchTiming.h"
#include "support/TempFolder.h"

namespace qelvo::bench {
namespace {

constexpr int kWidth = 2592, kHeight = 1944;
constexpr double kBlurPerDepth = 6.0;  // sigma in pixels a whole depth range away from focus
constexpr double kSigmaStep = 0.5;     // the blurred copies are this far apart in sigma
constexpr int kSigmaSteps = 12;        // up to 6 px
constexpr double kNoise = 2.0;         // standard deviation, 8-bit units
constexpr int kMargin = 64;
constexpr double kPi = 3.14159265358979323846;

void parallelRows(int rows, const std::function<void(int, int)>& work) {
    const int threads = 2;
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back(work, rows * t / threads, rows * (t + 1) / threads);
    for (auto& thread : pool) thread.join();
}

PictureData truthPicture() {
    const CxImage art = DetailedPicture(kWidth, kHeight, 2027);
    PictureData p;
    p.width = kWidth;
    p.height = kHeight;
    p.samples.resize(p.rowBytes() * kHeight);
    for (int y = 0; y < kHeight; ++y) {
        const std::uint8_t* row = art.RowBits(kHeight - 1 - y);
        std::uint8_t* out = &p.samples[static_cast<std::size_t>(y) * p.rowBytes()];
        for (int x = 0; x < kWidth; ++x) {
            out[3 * x] = row[3 * x + 2];
            out[3 * x + 1] = row[3 * x + 1];
            out[3 * x + 2] = row[3 * x];
        }
    }
    return p;
}

// The specimen's surface, 0..1: tilted one way, curved the other, with a gentle bump.
double depthAt(double x, double y) {
    const double u = x / kWidth, v = y / kHeight;
    const double d = 0.62 * u + 0.22 * v + 0.3 * (v - 0.5) * (v - 0.5) +
                     0.08 * std::sin(2 * kPi * (0.8 * u + 0.5 * v));
    return std::clamp((d + 0.05) / 1.0, 0.0, 1.0);
}

// One separable Gaussian pass over interleaved RGB floats, in place.
void gaussian(std::vector<float>& image, double sigma) {
    const int radius = static_cast<int>(std::ceil(3 * sigma));
    std::vector<float> kernel(2 * radius + 1);
    double sum = 0;
    for (int i = -radius; i <= radius; ++i)
        sum += kernel[i + radius] = std::exp(-i * i / (2 * sigma * sigma));
    for (float& k : kernel) k = static_cast<float>(k / sum);
    std::vector<float> copy = image;
    parallelRows(kHeight, [&](int y0, int y1) {  // rows
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < 3; ++c) {
                    float s = 0;
                    for (int i = -radius; i <= radius; ++i)
                        s += kernel[i + radius] * copy[(static_cast<std::size_t>(y) * kWidth +
                                                        std::clamp(x + i, 0, kWidth - 1)) *
                                                           3 +
                                                       c];
                    image[(static_cast<std::size_t>(y) * kWidth + x) * 3 + c] = s;
                }
    });
    copy = image;
    parallelRows(kHeight, [&](int y0, int y1) {  // columns
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < kWidth; ++x)
                for (int c = 0; c < 3; ++c) {
                    float s = 0;
                    for (int i = -radius; i <= radius; ++i)
                        s += kernel[i + radius] *
                             copy[(static_cast<std::size_t>(std::clamp(y + i, 0, kHeight - 1)) *
                                       kWidth +
                                   x) *
                                      3 +
                                  c];
                    image[(static_cast<std::size_t>(y) * kWidth + x) * 3 + c] = s;
                }
    });
}

// The truth blurred at sigma 0, 0.5, ... 6 px, as 16-bit values x 64.
std::vector<std::vector<std::uint16_t>> blurredCopies(const PictureData& truth) {
    std::vector<float> image(truth.samples.begin(), truth.samples.end());
    std::vector<std::vector<std::uint16_t>> copies;
    for (int k = 0; k <= kSigmaSteps; ++k) {
        if (k > 0) {
            const double now = k * kSigmaStep, before = (k - 1) * kSigmaStep;
            gaussian(image, std::sqrt(now * now - before * before));
        }
        std::vector<std::uint16_t> copy(image.size());
        for (std::size_t i = 0; i < image.size(); ++i)
            copy[i] =
                static_cast<std::uint16_t>(std::lround(std::clamp(image[i], 0.0f, 255.0f) * 64));
        copies.push_back(std::move(copy));
    }
    return copies;
}

struct View {
    double shiftX = 0, shiftY = 0, turnDegrees = 0, scale = 1;
};

View viewOf(int slice, int count) {
    if (slice == 0) return {};
    const double t = static_cast<double>(slice) / (count - 1);
    return {8.0 * std::sin(2.1 * slice + 0.3), 8.0 * std::cos(1.7 * slice),
            0.5 * std::sin(1.3 * slice + 0.5), 1.0 + 0.01 * t};
}

PictureData slice(const std::vector<std::vector<std::uint16_t>>& copies, int index, int count) {
    const View view = viewOf(index, count);
    const double focus = static_cast<double>(index) / (count - 1);
    const double cx = (kWidth - 1) / 2.0, cy = (kHeight - 1) / 2.0;
    const double turn = view.turnDegrees * kPi / 180;
    const double c = std::cos(turn) / view.scale, s = std::sin(turn) / view.scale;
    PictureData p;
    p.width = kWidth;
    p.height = kHeight;
    p.samples.resize(p.rowBytes() * kHeight);
    parallelRows(kHeight, [&](int y0, int y1) {
        std::mt19937 random(static_cast<unsigned>(index * 100003 + y0));
        std::normal_distribution<float> noise(0.0f, static_cast<float>(kNoise));
        for (int y = y0; y < y1; ++y)
            for (int x = 0; x < kWidth; ++x) {
                // The specimen point this pixel shows.
                const double dx = x - cx - view.shiftX, dy = y - cy - view.shiftY;
                const double qx = std::clamp(c * dx + s * dy + cx, 0.0, kWidth - 1.001);
                const double qy = std::clamp(-s * dx + c * dy + cy, 0.0, kHeight - 1.001);
                const double sigma = kBlurPerDepth * std::abs(depthAt(qx, qy) - focus);
                const double level = std::min(sigma / kSigmaStep, kSigmaSteps - 0.001);
                const int k = static_cast<int>(level);
                const double kf = level - k;
                const int ix = static_cast<int>(qx), iy = static_cast<int>(qy);
                const double fx = qx - ix, fy = qy - iy;
                for (int ch = 0; ch < 3; ++ch) {
                    double value = 0;
                    for (int j = 0; j < 2; ++j) {
                        const auto& copy = copies[static_cast<std::size_t>(k + j)];
                        auto at = [&](int xx, int yy) {
                            return double(
                                copy[(static_cast<std::size_t>(yy) * kWidth + xx) * 3 + ch]);
                        };
                        const double top = at(ix, iy) * (1 - fx) + at(ix + 1, iy) * fx;
                        const double bottom = at(ix, iy + 1) * (1 - fx) + at(ix + 1, iy + 1) * fx;
                        value += (j == 0 ? 1 - kf : kf) * (top * (1 - fy) + bottom * fy);
                    }
                    value = value / 64 + noise(random);
                    p.samples[(static_cast<std::size_t>(y) * kWidth + x) * 3 + ch] =
                        static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
                }
            }
    });
    return p;
}

struct Run {
    bool ok = false;
    double seconds = 0;
    double peakMiB = 0;
};

// Runs a program with its output sent to `log`; wall time and peak resident memory.
Run run(const std::vector<std::string>& command, const std::string& log) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        FILE* out = std::fopen(log.c_str(), "a");
        if (out) {
            ::dup2(fileno(out), 1);
            ::dup2(fileno(out), 2);
        }
        std::vector<char*> argv;
        for (const auto& a : command) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        std::_Exit(127);
    }
    int status = 0;
    rusage usage{};
    Run r;
    if (child > 0 && ::wait4(child, &status, 0, &usage) == child) {
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
        r.peakMiB = usage.ru_maxrss / 1024.0;
    }
    return r;
}

double psnr(const PictureData& a, const PictureData& truth) {
    if (a.width != truth.width || a.height != truth.height || a.channels < 3 ||
        a.bitsPerSample != 8)
        return 0;
    double sum = 0;
    long count = 0;
    for (int y = kMargin; y < kHeight - kMargin; ++y)
        for (int x = kMargin; x < kWidth - kMargin; ++x)
            for (int c = 0; c < 3; ++c) {
                const double d =
                    double(a.samples[(static_cast<std::size_t>(y) * kWidth + x) * a.channels + c]) -
                    double(truth.samples[(static_cast<std::size_t>(y) * kWidth + x) * 3 + c]);
                sum += d * d;
                ++count;
            }
    return 10 * std::log10(255.0 * 255.0 / (sum / count));
}

std::vector<std::string> writeSeries(const test::TempFolder& dir, const std::string& name,
                                     const std::vector<std::vector<std::uint16_t>>& copies,
                                     int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        char file[64];
        std::snprintf(file, sizeof file, "%s-%02d.tif", name.c_str(), i);
        std::string error;
        if (!writePictureFile(dir / file, slice(copies, i, count), &error))
            std::fprintf(stderr, "combine: %s: %s\n", file, error.c_str());
        paths.push_back(dir / file);
    }
    return paths;
}

}  // namespace
}  // namespace qelvo::bench

int main(int argc, char** argv) {
    using namespace qelvo;
    using namespace qelvo::bench;
    const std::string which = argc > 1 ? argv[1] : "all";
    const bool quality = which == "all" || which == "quality";
    const bool memory = which == "all" || which == "memory";
    test::TempFolder dir("qelvo-bench-combine");
    const std::string log = dir / "tools.log";

    const PictureData truth = truthPicture();
    std::string why;
    if (!writePictureFile(dir / "truth.tif", truth, &why))
        std::fprintf(stderr, "combine: %s\n", why.c_str());
    std::vector<std::string> eight, twenty;
    {
        const auto copies = blurredCopies(truth);
        if (quality) eight = writeSeries(dir, "slice", copies, 8);
        if (memory) twenty = writeSeries(dir, "deep", copies, 20);
    }
    std::fprintf(stderr, "combine: series written in %s\n", dir.path().c_str());

    if (quality) {
        std::vector<std::string> ours{QELVO_TOOL, "stack"};
        ours.insert(ours.end(), eight.begin(), eight.end());
        ours.insert(ours.end(), {"-o", dir / "ours.tif"});
        const Run own = run(ours, log);

        std::vector<std::string> align{"align_image_stack", "-m", "--use-given-order", "-a",
                                       dir / "aligned_"};
        align.insert(align.end(), eight.begin(), eight.end());
        const Run aligned = run(align, log);
        std::vector<std::string> fuse{"enfuse",
                                      "--exposure-weight=0",
                                      "--saturation-weight=0",
                                      "--contrast-weight=1",
                                      "--hard-mask",
                                      "--contrast-window-size=5",
                                      "--gray-projector=l-star",
                                      "-o",
                                      dir / "reference.tif"};
        for (int i = 0; i < 8; ++i) {
            char file[32];
            std::snprintf(file, sizeof file, "aligned_%04d.tif", i);
            fuse.push_back(dir / file);
        }
        const Run fused = run(fuse, log);
        std::fprintf(stderr,
                     "combine: qelvo stack %.1f s, align_image_stack %.1f s, enfuse %.1f s\n",
                     own.seconds, aligned.seconds, fused.seconds);

        std::string error;
        const auto ownPicture = readPictureFile(dir / "ours.tif", &error);
        const auto referencePicture = readPictureFile(dir / "reference.tif", &error);
        if (!own.ok || !ownPicture)
            std::fprintf(stderr, "combine: qelvo stack failed (%s)\n", log.c_str());
        if (!aligned.ok || !fused.ok || !referencePicture)
            std::fprintf(stderr, "combine: the reference failed: %s\n", error.c_str());
        double bestSlice = 0;
        for (const auto& path : eight)
            if (const auto s = readPictureFile(path, &error))
                bestSlice = std::max(bestSlice, psnr(*s, truth));
        const double ownPsnr = ownPicture ? psnr(*ownPicture, truth) : 0;
        const double referencePsnr = referencePicture ? psnr(*referencePicture, truth) : 0;
        reportOnly("stack_psnr_qelvo", ownPsnr, "dB");
        reportOnly("stack_psnr_align_image_stack_enfuse", referencePsnr, "dB");
        reportOnly("stack_psnr_best_single_slice", bestSlice, "dB");
        report("stack_psnr_gain_over_reference", ownPsnr - referencePsnr, "dB", ">= 1.0",
               own.ok && aligned.ok && fused.ok && ownPsnr - referencePsnr >= 1.0);
        const double ratio = own.seconds / (aligned.seconds + fused.seconds);
        report("stack_wall_time_vs_reference", ratio, "x", "<= 0.5",
               own.ok && aligned.ok && fused.ok && ratio <= 0.5);
    }
    if (memory) {
        std::vector<std::string> ours{QELVO_TOOL, "stack"};
        ours.insert(ours.end(), twenty.begin(), twenty.end());
        ours.insert(ours.end(), {"-o", dir / "deep.tif"});
        const Run own = run(ours, log);
        std::fprintf(stderr, "combine: 20 slices in %.1f s\n", own.seconds);
        report("stack_20_slices_peak_rss", own.peakMiB, "MiB", "<= 1024",
               own.ok && own.peakMiB <= 1024, 0);
    }
    if (std::getenv("QELVO_BENCH_KEEP")) {
        std::fprintf(stderr, "combine: kept %s\n", dir.path().c_str());
        std::string keep = "cp -r " + dir.path() + " " + dir.path() + "-kept";
        if (std::system(keep.c_str()) != 0) return 1;
    }
    return 0;
}
