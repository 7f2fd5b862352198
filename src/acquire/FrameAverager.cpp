#include "acquire/FrameAverager.h"

#include <algorithm>

namespace qelvo::acquire {

FrameAverager::FrameAverager(int width, int height, int frames)
    : width_(std::max(width, 0)),
      height_(std::max(height, 0)),
      target_(std::clamp(frames, 1, kMaxFrames)),
      rowBytes_((static_cast<std::size_t>(width_) * 3 + 3) / 4 * 4),
      sums_(rowBytes_ * static_cast<std::size_t>(height_)) {}

bool FrameAverager::add(const std::uint8_t* frame, std::size_t size) {
    const std::size_t n = sums_.size();
    if (frame == nullptr || size < n || complete()) return false;
    std::uint16_t* __restrict sums = sums_.data();
    const std::uint8_t* __restrict in = frame;
    // The first frame sets the sums (no read of the old ones); the others add to them.  Both
    // loops are plain enough for the compiler to vectorise.
    if (count_ == 0) {
        for (std::size_t i = 0; i < n; ++i) sums[i] = in[i];
    } else {
        for (std::size_t i = 0; i < n; ++i) sums[i] = static_cast<std::uint16_t>(sums[i] + in[i]);
    }
    ++count_;
    return true;
}

namespace {

// round(sum * scale / count) for every sum, written top-down R,G,B.
template <typename Sample>
PictureData makeAverage(const std::vector<std::uint16_t>& sums, int width, int height,
                        std::size_t rowBytes, int count, std::uint32_t scale) {
    PictureData out;
    out.width = width;
    out.height = height;
    out.channels = 3;
    out.bitsPerSample = sizeof(Sample) * 8;
    out.samples.resize(static_cast<std::size_t>(width) * height * 3 * sizeof(Sample));
    auto* dst = reinterpret_cast<Sample*>(out.samples.data());
    const std::uint32_t twoCount = 2u * static_cast<std::uint32_t>(count);
    for (int y = 0; y < height; ++y) {
        const std::uint16_t* row =
            sums.data() + static_cast<std::size_t>(height - 1 - y) * rowBytes;
        Sample* to = dst + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            const std::uint16_t* px = row + x * 3;
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t s = px[2 - c];  // B,G,R -> R,G,B
                to[x * 3 + c] = static_cast<Sample>(
                    (2u * s * scale + static_cast<std::uint32_t>(count)) / twoCount);
            }
        }
    }
    return out;
}

}  // namespace

std::optional<PictureData> FrameAverager::average16() const {
    if (count_ == 0) return std::nullopt;
    return makeAverage<std::uint16_t>(sums_, width_, height_, rowBytes_, count_, 257);
}

std::optional<PictureData> FrameAverager::average8() const {
    if (count_ == 0) return std::nullopt;
    return makeAverage<std::uint8_t>(sums_, width_, height_, rowBytes_, count_, 1);
}

std::vector<std::uint8_t> FrameAverager::averageGrabberLayout() const {
    std::vector<std::uint8_t> out;
    if (count_ == 0) return out;
    out.resize(sums_.size());
    const std::uint32_t twoCount = 2u * static_cast<std::uint32_t>(count_);
    for (std::size_t i = 0; i < sums_.size(); ++i)
        out[i] = static_cast<std::uint8_t>((2u * sums_[i] + static_cast<std::uint32_t>(count_)) /
                                           twoCount);
    return out;
}

}  // namespace qelvo::acquire
