#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qelvo::acquire {

// A frame as the grabber delivers it: B,G,R pixels, rows `rowBytes` apart, the first row in
// memory being the bottom of the picture.  Coordinates below are top-down (y = 0 is the top
// row as shown).
struct BgrFrameView {
    const std::uint8_t* bottomUpBgr = nullptr;
    int width = 0;
    int height = 0;
    std::size_t rowBytes = 0;

    bool valid() const {
        return bottomUpBgr && width > 0 && height > 0 &&
               rowBytes >= static_cast<std::size_t>(width) * 3;
    }
    // The pixel at column x of the row shown y-th from the top.
    const std::uint8_t* pixel(int x, int y) const {
        return bottomUpBgr + rowBytes * static_cast<std::size_t>(height - 1 - y) +
               static_cast<std::size_t>(x) * 3;
    }
};

// A rectangle of frame pixels, top-down.
struct FrameRegion {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool empty() const { return width <= 0 || height <= 0; }
};

// The middle of a frame: half its width and half its height, centred.
FrameRegion centreRegion(int width, int height);
// `region` cut to the frame; empty when nothing of it lies inside.
FrameRegion clampRegion(FrameRegion region, int width, int height);

// Rec. 601 luminance of 8-bit R, G, B, rounded (0..255).
inline int luminance(int r, int g, int b) {
    return (r * 77 + g * 150 + b * 29 + 128) >> 8;
}

// Counts of each 8-bit level of red, green, blue and luminance over the pixels sampled.
struct LevelHistogram {
    std::array<std::uint32_t, 256> red{};
    std::array<std::uint32_t, 256> green{};
    std::array<std::uint32_t, 256> blue{};
    std::array<std::uint32_t, 256> luma{};
    std::uint32_t samples = 0;
    // Pixels with any channel at 255 (highlights clipped) or every channel at 0 (shadows
    // clipped), among those sampled.
    std::uint32_t clippedHighlights = 0;
    std::uint32_t clippedShadows = 0;

    double highlightShare() const { return samples ? double(clippedHighlights) / samples : 0.0; }
    double shadowShare() const { return samples ? double(clippedShadows) / samples : 0.0; }
};

// Histogram of every `step`-th pixel of every `step`-th row (step >= 1).
LevelHistogram levelHistogram(const BgrFrameView& frame, int step);
// The smallest step that samples at most about `maxSamples` pixels of a frame of that size.
int samplingStep(int width, int height, int maxSamples);

// Variance of the 4-neighbour Laplacian of the luminance over `region` (cut to the frame),
// at pixels `step` apart with their immediate neighbours, so a subsampled measure still
// sees the finest detail.  Higher is sharper; 0 for a flat region or one under 3 x 3.
double laplacianVariance(const BgrFrameView& frame, FrameRegion region, int step);

// Which pixels of a `maskWidth` x `maskHeight` picture of the frame (each mask pixel stands
// for the frame pixel nearest its centre, as a stretched display shows it) lie on a sharp
// edge: luminance gradient, measured between the frame pixel's immediate neighbours, at
// least `threshold` levels and at least half the strongest gradient found (so that only the
// sharpest edges of a soft picture light up).  One byte per mask pixel, rows top-down, 1 on
// an edge.
struct PeakingMask {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> edge;
    std::size_t edgeCount() const;
};
PeakingMask peakingMask(const BgrFrameView& frame, int maskWidth, int maskHeight,
                        int threshold = 30);

// What the focus aids show for one frame.
struct FocusReading {
    LevelHistogram histogram;
    double focus = 0.0;
    FrameRegion region;
    PeakingMask peaking;  // empty unless asked for
};

struct FocusRequest {
    FrameRegion region;  // empty: centreRegion
    int maxHistogramSamples = 120000;
    int maxFocusSamples = 120000;
    int peakingWidth = 0;  // 0: no peaking mask
    int peakingHeight = 0;
};
FocusReading readFocus(const BgrFrameView& frame, const FocusRequest& request);

// The best focus value seen since the last reset.
class FocusBest {
public:
    void offer(double value) {
        if (value > best_) best_ = value;
    }
    void reset() { best_ = 0.0; }
    double best() const { return best_; }

private:
    double best_ = 0.0;
};

}  // namespace qelvo::acquire
