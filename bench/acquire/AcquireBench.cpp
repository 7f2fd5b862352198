// Acquisition figures, one function each:
//   averaging  - adding one 2592 x 1944 frame to a 16-frame average, against memcpy of it
//   flatfield  - flat-field correction of a live 1920 x 1080 frame, against memcpy of it
// Times are the calling thread's CPU time, best of several runs, each over frames that are
// not in the caches (as a camera's frames are not), the memcpy timed in the same run.
#include "acquire/FlatField.h"
#include "acquire/FrameAverager.h"
#include "support/BenchTiming.h"

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace qelvo;
using namespace qelvo::bench;

namespace {

std::size_t grabberBytes(int w, int h) {
    return (std::size_t(w) * 3 + 3) / 4 * 4 * h;
}

// Frames enough to overflow the caches, filled with noise.
std::vector<std::vector<std::uint8_t>> sourceFrames(int w, int h, int count) {
    std::vector<std::vector<std::uint8_t>> frames(count);
    std::mt19937 rng(1);
    for (auto& f : frames) {
        f.resize(grabberBytes(w, h));
        for (auto& b : f) b = static_cast<std::uint8_t>(rng() >> 24);
    }
    return frames;
}

// Seconds per frame of the C library's memcpy of the frames into one target.
double memcpySeconds(const std::vector<std::vector<std::uint8_t>>& frames,
                     std::vector<std::uint8_t>& target) {
    return bestSeconds(7, nullptr,
                       [&] {
                           for (const auto& f : frames)
                               std::memcpy(target.data(), f.data(), f.size());
                       }) /
           frames.size();
}

void averaging() {
    const int w = 2592, h = 1944, n = 16;
    const auto frames = sourceFrames(w, h, 6);
    std::vector<std::uint8_t> target(frames[0].size());
    acquire::FrameAverager averager(w, h, n);
    // Each run adds 16 frames, the first of which only sets the sums: the mean over the 16 is
    // what the streaming thread spends per frame of an average.
    const double add = bestSeconds(
                           7, [&] { averager.reset(); },
                           [&] {
                               for (int k = 0; k < n; ++k)
                                   averager.add(frames[k % frames.size()].data(), frames[0].size());
                           }) /
                       n;
    const double copy = memcpySeconds(frames, target);
    std::fprintf(stderr, "  averaging: add %.2f ms, memcpy %.2f ms a frame\n", add * 1e3,
                 copy * 1e3);
    reportAtMost("averaging_add_vs_memcpy_2592x1944", add / copy, "x", 2.0);
}

void flatfield() {
    const int w = 1920, h = 1080;
    const auto frames = sourceFrames(w, h, 8);
    std::vector<std::uint8_t> target(frames[0].size());
    PictureData flat;
    flat.width = w;
    flat.height = h;
    flat.bitsPerSample = 16;
    flat.samples.resize(std::size_t(w) * h * 6);
    auto* s = reinterpret_cast<std::uint16_t*>(flat.samples.data());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double r2 = (x - w / 2.0) * (x - w / 2.0) + (y - h / 2.0) * (y - h / 2.0);
            for (int c = 0; c < 3; ++c)
                s[(std::size_t(y) * w + x) * 3 + c] =
                    static_cast<std::uint16_t>(60000.0 * (1.0 - 0.5 * r2 / (w * w / 4.0)));
        }
    PictureData dark = flat;
    std::fill(dark.samples.begin(), dark.samples.end(), 0x0F);
    std::string error;
    auto field = acquire::FlatField::make(flat, &dark, &error);
    if (!field) {
        std::fprintf(stderr, "flatfield: %s\n", error.c_str());
        return;
    }
    const double correct =
        bestSeconds(7, nullptr,
                    [&] {
                        for (const auto& f : frames)
                            field->correctGrabberFrame(f.data(), target.data(), f.size());
                    }) /
        frames.size();
    const double copy = memcpySeconds(frames, target);
    std::fprintf(stderr, "  flat-field: correct %.2f ms, memcpy %.2f ms a frame\n", correct * 1e3,
                 copy * 1e3);
    reportAtMost("flatfield_live_vs_memcpy_1920x1080", correct / copy, "x", 3.0);
}

}  // namespace

int main(int argc, char** argv) {
    const auto wanted = [&](const char* name) {
        if (argc < 2) return true;
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], name) == 0) return true;
        return false;
    };
    if (wanted("averaging")) averaging();
    if (wanted("flatfield")) flatfield();
    return 0;
}
