#pragma once

#include <array>
#include <string>

#include "imaging/ColourCensus.h"
#include "imaging/CxImage.h"

namespace qelvo {

// The picture work behind the image adjustment dialog: one tone or colour adjustment of a
// stored picture, previewed on copies the size of the preview controls and applied in full
// only when the result is saved.
//
// The previews are exact: every adjustment is a per-pixel mapping (the histogram stretch
// takes its table from the whole picture's histogram), so adjusting the nearest-sample
// copy gives the same pixels as adjusting the whole picture and sampling that. The level
// counts of the histogram kind come from the picture's colour census, equal to counting
// the whole adjusted picture.
class ImageAdjustment {
public:
    enum Kind { Brightness = 1, Contrast = 2, Hue = 3, Saturation = 4, Histogram = 5 };
    // The histogram kind's channel selection.
    enum Channel { Master = 0, Red = 1, Green = 2, Blue = 3 };

    // `maximum` bounds the value on both sides (every caller passes minimum = -maximum).
    ImageAdjustment(int kind, int minimum, int maximum);

    // Loads the unadjusted picture (format unknown, so JPEG first). A JPEG cut short is
    // refused, as the picture tools refuse it. On failure the pictures stay empty and
    // LoadError() tells why.
    bool Load(const std::string& path);
    const std::string& LoadError() const { return loadError_; }
    const CxImage& Original() const { return original_; }

    // Size of the preview pictures; 0 x 0 (the default) previews at full size.
    void SetPreviewSize(int width, int height);
    const CxImage& OriginalPreview() const;
    const CxImage& AdjustedPreview() const { return adjustedPreview_; }

    // Applies `value` to a fresh copy of the unadjusted preview when minimum <= value <=
    // maximum (false and nothing changed otherwise). The histogram kind stretches by
    // luminance for the master channel and by linked colours for the others, and recounts
    // the levels.
    bool Apply(int value, Channel channel);
    bool HasApplied() const { return applied_.valid; }

    // The levels of the adjusted picture (histogram kind; zero otherwise) and the largest
    // count among the four channels.  The level chart scales each channel to its own
    // largest count.
    const long* Levels(Channel channel) const { return levels_[channel].data(); }
    long LargestLevel() const { return largestLevel_; }

    // The whole picture with the last applied adjustment.
    bool AdjustFull(CxImage& out) const;
    // Saves AdjustFull as JPEG at quality 80 over `path` through RewritePictureFile (links
    // followed, a read-only picture refused; a failure leaves the file that was there
    // untouched). On failure `reason` says why.
    bool Save(const std::string& path, std::string& reason) const;

private:
    // One adjustment as the picture operations take it.
    struct Operation {
        bool valid = false;
        bool changes = false;  // false: the picture stays as it is
        int a = 0, b = 0;      // kind-specific arguments
        double threshold = 0;  // histogram stretch
    };
    Operation OperationFor(int value, Channel channel) const;
    bool Run(const Operation& op, CxImage& picture, bool preview) const;
    void CountAdjustedLevels(const Operation& op);
    bool StretchTableFor(const Operation& op, std::uint8_t* table) const;

    int kind_;
    int minimum_, maximum_;
    CxImage original_;
    std::string loadError_;
    int previewWidth_ = 0, previewHeight_ = 0;
    CxImage originalPreview_;
    bool sampled_ = false;
    CxImage adjustedPreview_;
    Operation applied_;

    // Histogram kind: the whole picture's stretch histograms (0: grey levels, 1: red, green
    // and blue together), its colour census and the adjusted picture's levels.
    double stretchHistogram_[2][256] = {};
    ColourCensus census_;
    std::array<std::array<long, 256>, 4> levels_{};
    long largestLevel_ = 0;
};

}  // namespace qelvo
