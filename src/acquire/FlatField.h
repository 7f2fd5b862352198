#pragma once

#include "picturefiles/PictureFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qelvo::acquire {

// Flat-field and dark correction: out = (in - dark) / (flat - dark) * mean(flat - dark), per
// channel, clamped to the sample range.  The references are R,G,B pictures (8 or 16 bits;
// all arithmetic is on the 16-bit scale, 8-bit samples times 257), taken at the frame size
// they correct.  Where flat - dark is small the gain is limited to kMaxGain: a pixel that is
// (nearly) black in the flat lies under dirt or an edge, not in dim light, and boosting it
// without bound would only paint noise.
class FlatField {
public:
    static constexpr double kMaxGain = 15.99;

    // The correction from a flat and (optionally) a dark reference; nothing, with `error`
    // saying why, when they are not R,G,B, are empty, differ in size or the flat holds no
    // light above the dark.
    static std::optional<FlatField> make(const PictureData& flat, const PictureData* dark,
                                         std::string* error);

    int width() const { return width_; }
    int height() const { return height_; }
    // mean(flat - dark) per channel (R, G, B) on the 16-bit scale.
    const double* channelMeans() const { return means_; }

    // Whether `width` x `height` pictures can be corrected; when not, `error` says so.
    bool fits(int width, int height, std::string* error) const;

    // The plain reference: any R,G,B picture of the references' size, 8 or 16 bits, corrected
    // in doubles and rounded; the result has the input's bits per sample and calibration.
    std::optional<PictureData> correct(const PictureData& in, std::string* error) const;

    // The fast path for live frames: one 8-bit grabber frame (bottom-up B,G,R rows padded to
    // 4 bytes) corrected from `in` into `out` (which may be `in`), with precomputed per-sample
    // gains in fixed point.  Within one level of correct().  False
    // when the sizes differ.
    bool correctGrabberFrame(const std::uint8_t* in, std::uint8_t* out, std::size_t size) const;
    // The live-frame kernels this processor can run ("avx512", "avx2", "plain"), the one
    // correctGrabberFrame() uses first, and the fast path run with a given one (tests hold
    // them to the same results); false for a kernel not in that list.
    static std::vector<std::string> liveKernels();
    bool correctGrabberFrameWith(const std::string& kernel, const std::uint8_t* in,
                                 std::uint8_t* out, std::size_t size) const;

private:
    FlatField() = default;
    void prepareFastPath();

    int width_ = 0;
    int height_ = 0;
    double means_[3] = {0, 0, 0};
    std::vector<double> gain_;    // per R,G,B sample, top-down
    std::vector<double> dark16_;  // per R,G,B sample, top-down; empty without a dark

    // Per byte of a grabber frame: the dark's whole 8-bit levels, and one word of the gain in
    // 4.12 fixed point (its top 12 bits) and the dark's sixteenths of a level (its low 4).
    std::vector<std::uint8_t> fastDarkLevels_;
    std::vector<std::uint16_t> fastWord_;
};

// A picture's samples on the 16-bit scale (8-bit ones times 257); R,G,B or grey (repeated).
std::vector<std::uint16_t> samplesAs16(const PictureData& picture);

}  // namespace qelvo::acquire
