#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <algorithm>
#include <cmath>

#include "combine/AlignInternal.h"
#include "combine/PictureMatInternal.h"

namespace qelvo::combine {

namespace {

constexpr double kPi = 3.14159265358979323846;
// The finest copy aligned is at most this wide or high: finer steps cost much more time and
// gain little once the map is right to a fraction of a pixel there.
constexpr int kFinestSide = 1400;
// The coarsest copy keeps at least this many pixels across, enough texture for a first match.
constexpr int kCoarsestSide = 160;
// A map outside these is not a refocused view of the same field.
constexpr double kMinScale = 0.8, kMaxScale = 1.25, kMaxTurnDegrees = 10.0;
constexpr double kMaxShiftShare = 0.25;  // of the smaller side
// The first shift is found on a copy about this small across, smoothed further: there, slices
// that are sharp in different places still look alike.  Its middle (all but a fifth on each
// side) is looked for in the other picture by normalised cross-correlation, which follows the
// strong coarse structure that every slice shares.  (Phase correlation weighs all frequencies
// alike, and the fine ones differ most between slices.)
constexpr int kShiftSide = 96;
constexpr double kShiftSmoothing = 1.5;
constexpr int kShiftMarginDivisor = 5;
// Below this correlation (after the last, finest step) the pictures do not show one field.
constexpr double kMinCorrelation = 0.2;

// The map for a copy 1/factor of the full size, from the full-size map and back.  A copy made
// by averaging factor x factor blocks puts its pixel x at full-size x * factor + (factor-1)/2.
cv::Matx23d scaledDown(const cv::Matx23d& full, int factor) {
    const double c = (factor - 1) / 2.0;
    cv::Matx23d small = full;
    small(0, 2) = (full(0, 2) - ((1 - full(0, 0)) * c - full(0, 1) * c)) / factor;
    small(1, 2) = (full(1, 2) - (-full(1, 0) * c + (1 - full(1, 1)) * c)) / factor;
    return small;
}

cv::Matx23d scaledUp(const cv::Matx23d& small, int factor) {
    const double c = (factor - 1) / 2.0;
    cv::Matx23d full = small;
    full(0, 2) = small(0, 2) * factor + (1 - small(0, 0)) * c - small(0, 1) * c;
    full(1, 2) = small(1, 2) * factor - small(1, 0) * c + (1 - small(1, 1)) * c;
    return full;
}

cv::Mat shrunk(const cv::Mat& grey, int factor) {
    if (factor == 1) return grey;
    cv::Mat small;
    cv::resize(grey, small, cv::Size(grey.cols / factor, grey.rows / factor), 0, 0, cv::INTER_AREA);
    return small;
}

bool plausible(const cv::Matx23d& map, cv::Size size) {
    const Alignment a = alignmentOf(map);
    const double scale = a.scale();
    if (!std::isfinite(scale) || scale < kMinScale || scale > kMaxScale) return false;
    if (std::abs(a.rotationDegrees()) > kMaxTurnDegrees) return false;
    const double limit = kMaxShiftShare * std::min(size.width, size.height);
    return std::abs(a.shiftX(size.width, size.height)) <= limit &&
           std::abs(a.shiftY(size.width, size.height)) <= limit;
}

}  // namespace

double Alignment::shiftX(int width, int height) const {
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    return m[0] * cx + m[1] * cy + m[2] - cx;
}

double Alignment::shiftY(int width, int height) const {
    const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
    return m[3] * cx + m[4] * cy + m[5] - cy;
}

double Alignment::rotationDegrees() const {
    return std::atan2(m[3], m[0]) * 180.0 / kPi;
}

double Alignment::scale() const {
    const double det = m[0] * m[4] - m[1] * m[3];
    return det > 0 ? std::sqrt(det) : 0.0;
}

Alignment alignmentOf(const cv::Matx23d& map) {
    Alignment a;
    for (int i = 0; i < 6; ++i) a.m[static_cast<std::size_t>(i)] = map(i / 3, i % 3);
    return a;
}

Aligner::Aligner(const cv::Mat& referenceGrey) : size_(referenceGrey.size()) {
    // Never so far down that the smaller side goes (a picture a row or two high).
    int finest = 1;
    while (std::max(size_.width, size_.height) / finest > kFinestSide &&
           std::min(size_.width, size_.height) / (finest * 2) >= 1)
        finest *= 2;
    int coarsest = finest;
    while (std::min(size_.width, size_.height) / (coarsest * 2) >= kCoarsestSide) coarsest *= 2;
    for (int factor = coarsest; factor >= finest; factor /= 2)
        levels_.push_back({factor, shrunk(referenceGrey, factor)});
    shiftFactor_ = 1;
    while (std::min(size_.width, size_.height) / (shiftFactor_ * 2) >= kShiftSide)
        shiftFactor_ *= 2;
    cv::Mat small;
    cv::GaussianBlur(shrunk(referenceGrey, shiftFactor_), small, cv::Size(), kShiftSmoothing);
    shiftMargin_ = cv::Point(small.cols / kShiftMarginDivisor, small.rows / kShiftMarginDivisor);
    shiftTemplate_ = small(cv::Rect(shiftMargin_.x, shiftMargin_.y, small.cols - 2 * shiftMargin_.x,
                                    small.rows - 2 * shiftMargin_.y))
                         .clone();
}

cv::Point2d Aligner::coarseShift(const cv::Mat& movingGrey) const {
    cv::Mat small, scores;
    cv::GaussianBlur(shrunk(movingGrey, shiftFactor_), small, cv::Size(), kShiftSmoothing);
    cv::matchTemplate(small, shiftTemplate_, scores, cv::TM_CCOEFF_NORMED);
    cv::Point peak;
    cv::minMaxLoc(scores, nullptr, nullptr, nullptr, &peak);
    // A parabola through the peak and its neighbours places it between pixels.
    auto offset = [](float before, float at, float after) {
        const double curvature = before - 2.0 * at + after;
        return curvature < 0 ? 0.5 * (before - after) / curvature : 0.0;
    };
    double x = peak.x, y = peak.y;
    if (peak.x > 0 && peak.x + 1 < scores.cols)
        x += offset(scores.at<float>(peak.y, peak.x - 1), scores.at<float>(peak),
                    scores.at<float>(peak.y, peak.x + 1));
    if (peak.y > 0 && peak.y + 1 < scores.rows)
        y += offset(scores.at<float>(peak.y - 1, peak.x), scores.at<float>(peak),
                    scores.at<float>(peak.y + 1, peak.x));
    return {x - shiftMargin_.x, y - shiftMargin_.y};
}

std::optional<cv::Matx23d> Aligner::align(const cv::Mat& movingGrey) const {
    if (movingGrey.size() != size_ || levels_.empty()) return std::nullopt;

    // The shift first (see kShiftSide).
    const cv::Point2d shift = coarseShift(movingGrey);
    cv::Matx23d full = scaledUp(cv::Matx23d(1, 0, shift.x, 0, 1, shift.y), shiftFactor_);
    cv::Mat moving;

    // Then the whole affine map, coarse to fine.  Each copy is smoothed before it is compared
    // (the last ECC argument), so fine detail that one slice has and the other lacks weighs
    // little; the finer copies only refine what the coarser found.
    for (std::size_t i = 0; i < levels_.size(); ++i) {
        const Level& level = levels_[i];
        moving = shrunk(movingGrey, level.factor);
        const bool first = i == 0, last = i + 1 == levels_.size();
        const int iterations = first ? 100 : (last ? 20 : 40);
        const double epsilon = first ? 1e-4 : 1e-5;
        cv::Mat map(scaledDown(full, level.factor), true);
        map.convertTo(map, CV_32F);
        try {
            const double correlation = cv::findTransformECC(
                level.reference, moving, map, cv::MOTION_AFFINE,
                cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, iterations,
                                 epsilon),
                cv::noArray(), 5);
            if (last && correlation < kMinCorrelation) return std::nullopt;
        } catch (const cv::Exception&) {
            // No convergence on this copy (too little texture): keep what the coarser found,
            // unless there is nothing yet beyond the shift.
            if (first) return std::nullopt;
            continue;
        }
        cv::Matx23d found;
        cv::Mat(map).convertTo(cv::Mat(2, 3, CV_64F, found.val), CV_64F);
        const cv::Matx23d candidate = scaledUp(found, level.factor);
        if (!plausible(candidate, size_)) return std::nullopt;
        full = candidate;
    }
    return full;
}

std::optional<Alignment> alignPicture(const PictureData& reference, const PictureData& moving,
                                      std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<Alignment> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (reference.width != moving.width || reference.height != moving.height)
        return fail("the pictures differ in size");
    const cv::Mat referenceGrey = greyOfPicture(reference);
    const cv::Mat movingGrey = greyOfPicture(moving);
    if (referenceGrey.empty() || movingGrey.empty())
        return fail("the pictures are empty or of an unknown layout");
    const auto map = Aligner(referenceGrey).align(movingGrey);
    if (!map) return fail("the pictures could not be aligned (too little overlap or detail)");
    return alignmentOf(*map);
}

}  // namespace qelvo::combine
