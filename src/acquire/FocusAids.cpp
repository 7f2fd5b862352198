#include "acquire/FocusAids.h"

#include <algorithm>
#include <cmath>

namespace qelvo::acquire {
namespace {

int lumaAt(const BgrFrameView& frame, int x, int y) {
    const std::uint8_t* p = frame.pixel(x, y);
    return luminance(p[2], p[1], p[0]);
}

}  // namespace

FrameRegion centreRegion(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    const int w = std::max(1, width / 2);
    const int h = std::max(1, height / 2);
    return {(width - w) / 2, (height - h) / 2, w, h};
}

FrameRegion clampRegion(FrameRegion region, int width, int height) {
    const int left = std::max(0, region.x);
    const int top = std::max(0, region.y);
    const int right = std::min(width, region.x + std::max(0, region.width));
    const int bottom = std::min(height, region.y + std::max(0, region.height));
    if (right <= left || bottom <= top) return {};
    return {left, top, right - left, bottom - top};
}

int samplingStep(int width, int height, int maxSamples) {
    if (width <= 0 || height <= 0 || maxSamples <= 0) return 1;
    const double pixels = double(width) * double(height);
    int step = std::max(1, static_cast<int>(std::ceil(std::sqrt(pixels / maxSamples))));
    while (double((width + step - 1) / step) * double((height + step - 1) / step) > maxSamples)
        ++step;
    return step;
}

LevelHistogram levelHistogram(const BgrFrameView& frame, int step) {
    LevelHistogram h;
    if (!frame.valid()) return h;
    step = std::max(1, step);
    for (int y = 0; y < frame.height; y += step) {
        const std::uint8_t* p = frame.pixel(0, y);
        const std::size_t advance = static_cast<std::size_t>(step) * 3;
        for (int x = 0; x < frame.width; x += step, p += advance) {
            const int b = p[0], g = p[1], r = p[2];
            ++h.red[r];
            ++h.green[g];
            ++h.blue[b];
            ++h.luma[luminance(r, g, b)];
            if (r == 255 || g == 255 || b == 255) ++h.clippedHighlights;
            if ((r | g | b) == 0) ++h.clippedShadows;
            ++h.samples;
        }
    }
    return h;
}

double laplacianVariance(const BgrFrameView& frame, FrameRegion region, int step) {
    if (!frame.valid()) return 0.0;
    region = clampRegion(region, frame.width, frame.height);
    // The Laplacian needs a neighbour on every side.
    const int left = std::max(1, region.x);
    const int top = std::max(1, region.y);
    const int right = std::min(frame.width - 1, region.x + region.width);
    const int bottom = std::min(frame.height - 1, region.y + region.height);
    if (right <= left || bottom <= top) return 0.0;
    step = std::max(1, step);
    double sum = 0.0;
    double squares = 0.0;
    std::size_t n = 0;
    for (int y = top; y < bottom; y += step) {
        for (int x = left; x < right; x += step) {
            const int l = 4 * lumaAt(frame, x, y) - lumaAt(frame, x - 1, y) -
                          lumaAt(frame, x + 1, y) - lumaAt(frame, x, y - 1) -
                          lumaAt(frame, x, y + 1);
            sum += l;
            squares += double(l) * l;
            ++n;
        }
    }
    if (n == 0) return 0.0;
    const double mean = sum / double(n);
    return std::max(0.0, squares / double(n) - mean * mean);
}

std::size_t PeakingMask::edgeCount() const {
    return static_cast<std::size_t>(std::count(edge.begin(), edge.end(), std::uint8_t{1}));
}

PeakingMask peakingMask(const BgrFrameView& frame, int maskWidth, int maskHeight, int threshold) {
    PeakingMask mask;
    if (!frame.valid() || maskWidth <= 0 || maskHeight <= 0 || frame.width < 3 || frame.height < 3)
        return mask;
    mask.width = maskWidth;
    mask.height = maskHeight;
    mask.edge.assign(static_cast<std::size_t>(maskWidth) * maskHeight, 0);
    std::vector<std::uint16_t> gradient(mask.edge.size());
    std::vector<int> columns(static_cast<std::size_t>(maskWidth));
    for (int mx = 0; mx < maskWidth; ++mx) {
        const long long fx = (2LL * mx + 1) * frame.width / (2LL * maskWidth);
        columns[static_cast<std::size_t>(mx)] =
            static_cast<int>(std::clamp<long long>(fx, 1, frame.width - 2));
    }
    int strongest = 0;
    for (int my = 0; my < maskHeight; ++my) {
        const long long fyl = (2LL * my + 1) * frame.height / (2LL * maskHeight);
        const int fy = static_cast<int>(std::clamp<long long>(fyl, 1, frame.height - 2));
        std::uint16_t* out = gradient.data() + static_cast<std::size_t>(my) * maskWidth;
        for (int mx = 0; mx < maskWidth; ++mx) {
            const int fx = columns[static_cast<std::size_t>(mx)];
            const int g = std::abs(lumaAt(frame, fx + 1, fy) - lumaAt(frame, fx - 1, fy)) +
                          std::abs(lumaAt(frame, fx, fy + 1) - lumaAt(frame, fx, fy - 1));
            out[mx] = static_cast<std::uint16_t>(g);
            strongest = std::max(strongest, g);
        }
    }
    const int cut = std::max({threshold, strongest * 2 / 5, 1});
    for (std::size_t i = 0; i < gradient.size(); ++i) mask.edge[i] = gradient[i] >= cut ? 1 : 0;
    return mask;
}

FocusReading readFocus(const BgrFrameView& frame, const FocusRequest& request) {
    FocusReading reading;
    if (!frame.valid()) return reading;
    reading.histogram =
        levelHistogram(frame, samplingStep(frame.width, frame.height, request.maxHistogramSamples));
    FrameRegion region = request.region.empty()
                             ? centreRegion(frame.width, frame.height)
                             : clampRegion(request.region, frame.width, frame.height);
    if (region.empty()) region = centreRegion(frame.width, frame.height);
    reading.region = region;
    reading.focus = laplacianVariance(
        frame, region, samplingStep(region.width, region.height, request.maxFocusSamples));
    if (request.peakingWidth > 0 && request.peakingHeight > 0)
        reading.peaking = peakingMask(frame, request.peakingWidth, request.peakingHeight);
    return reading;
}

}  // namespace qelvo::acquire
