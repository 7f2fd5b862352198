#pragma once

#include "picturefiles/PictureFile.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace qelvo::acquire {

// Averages N consecutive frames as the grabber delivers them: B,G,R rows, bottom row first,
// each padded to a multiple of 4 bytes.  add() runs on the streaming thread and only adds
// the frame's samples to per-sample sums (16 bits wide, exact for up to kMaxFrames frames);
// the average is made afterwards, on whichever thread wants it.
class FrameAverager {
public:
    static constexpr int kMaxFrames = 256;

    // `frames` is clamped to 1..kMaxFrames.
    FrameAverager(int width, int height, int frames);

    int width() const { return width_; }
    int height() const { return height_; }
    int target() const { return target_; }
    int count() const { return count_; }
    bool complete() const { return count_ >= target_; }
    // Bytes of one grabber row (3 bytes a pixel, padded to 4).
    std::size_t rowBytes() const { return rowBytes_; }
    std::size_t frameBytes() const { return rowBytes_ * static_cast<std::size_t>(height_); }

    // Adds one frame; false (and nothing added) when the frame is shorter than the size says
    // or the average is already complete.
    bool add(const std::uint8_t* frame, std::size_t size);
    // Starts over for another average of the same size.
    void reset() { count_ = 0; }

    // The mean of the frames added so far, top row first, R,G,B, rows packed: 16-bit samples
    // (the 8-bit scale times 257, so 255 becomes 65535) or 8-bit samples, each rounded to the
    // nearest.  Nothing when no frame was added.
    std::optional<PictureData> average16() const;
    std::optional<PictureData> average8() const;
    // The 8-bit mean in the grabber's own layout (bottom-up B,G,R, padded rows).
    std::vector<std::uint8_t> averageGrabberLayout() const;

private:
    int width_;
    int height_;
    int target_;
    int count_ = 0;
    std::size_t rowBytes_;
    std::vector<std::uint16_t> sums_;  // per byte of a grabber row (padding included)
};

}  // namespace qelvo::acquire
