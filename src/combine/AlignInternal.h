#pragma once
// Alignment over OpenCV matrices: the reference is prepared once and every other picture of
// a series is aligned to it.
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

#include "combine/Align.h"

namespace qelvo::combine {

class Aligner {
public:
    // `referenceGrey`: 32-bit float brightness of the reference picture.
    explicit Aligner(const cv::Mat& referenceGrey);

    // The map from reference pixels to `movingGrey` pixels (same size as the reference), or
    // nothing when no plausible one is found.
    std::optional<cv::Matx23d> align(const cv::Mat& movingGrey) const;

private:
    struct Level {
        int factor = 1;  // the copy is 1/factor of the full size
        cv::Mat reference;
    };
    std::vector<Level> levels_;  // coarsest first
    cv::Point2d coarseShift(const cv::Mat& movingGrey) const;

    int shiftFactor_ = 1;  // the copy the first shift is found on
    cv::Mat shiftTemplate_;
    cv::Point shiftMargin_;
    cv::Size size_;
};

Alignment alignmentOf(const cv::Matx23d& map);

}  // namespace qelvo::combine
