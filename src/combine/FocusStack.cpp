#include "combine/FocusStack.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <optional>

#include "combine/AlignInternal.h"
#include "combine/PictureMatInternal.h"

namespace qelvo::combine {

namespace {

// The coarsest pyramid level keeps at least this many pixels across.
constexpr int kCoarsestSide = 12;
constexpr int kMaxLevels = 8;
// Detail energy is smoothed over this many pixels (Gaussian sigma, in the level's own pixels)
// before it becomes a weight: the consistency step that keeps neighbours on one slice.
constexpr double kEnergySmoothing = 2.0;
// The depth map reads a wider neighbourhood: it should name one slice per patch of surface.
constexpr double kDepthSmoothing = 4.0;
// Weight = energy^4 (detail amplitude to the eighth): a slice with twice the detail of another
// counts 256 times as much, while slices with alike detail (noise only) average.  The floor
// (in units of the level's mean energy) keeps every weight above zero.
constexpr float kEnergyFloor = 1e-6f;
// and the ceiling keeps the fourth power finite when the first slice is nearly featureless.
constexpr float kEnergyCeiling = 1e8f;

int levelsFor(cv::Size size) {
    int levels = 0;
    for (int side = std::min(size.width, size.height);
         side / 2 >= kCoarsestSide && levels < kMaxLevels; side /= 2)
        ++levels;
    return std::max(levels, 1);
}

// The sum over channels of the squared detail, one float per pixel.
cv::Mat energyOf(const cv::Mat& detail) {
    cv::Mat energy(detail.size(), CV_32F);
    const int channels = detail.channels();
    cv::parallel_for_(cv::Range(0, detail.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const float* d = detail.ptr<float>(y);
            float* e = energy.ptr<float>(y);
            for (int x = 0; x < detail.cols; ++x) {
                float sum = 0;
                for (int c = 0; c < channels; ++c, ++d) sum += *d * *d;
                e[x] = sum;
            }
        }
    });
    return energy;
}

// numerator += weight * values, denominator += weight, weight = base * coverage / 255 where
// `coverage` is an 8-bit mask (empty: everywhere) and `base` a float per pixel (empty: 1).
void accumulate(const cv::Mat& values, const cv::Mat& base, const cv::Mat& coverage,
                cv::Mat& numerator, cv::Mat& denominator) {
    const int channels = values.channels();
    cv::parallel_for_(cv::Range(0, values.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const float* v = values.ptr<float>(y);
            const float* b = base.empty() ? nullptr : base.ptr<float>(y);
            const std::uint8_t* m = coverage.empty() ? nullptr : coverage.ptr<std::uint8_t>(y);
            float* n = numerator.ptr<float>(y);
            float* d = denominator.ptr<float>(y);
            for (int x = 0; x < values.cols; ++x) {
                float w = b ? b[x] : 1.0f;
                if (m) w *= m[x] * (1.0f / 255.0f);
                d[x] += w;
                for (int c = 0; c < channels; ++c) *n++ += w * *v++;
            }
        }
    });
}

cv::Mat quotient(const cv::Mat& numerator, const cv::Mat& denominator) {
    cv::Mat out(numerator.size(), numerator.type());
    const int channels = numerator.channels();
    cv::parallel_for_(cv::Range(0, numerator.rows), [&](const cv::Range& rows) {
        for (int y = rows.start; y < rows.end; ++y) {
            const float* n = numerator.ptr<float>(y);
            const float* d = denominator.ptr<float>(y);
            float* o = out.ptr<float>(y);
            for (int x = 0; x < numerator.cols; ++x) {
                const float inverse = d[x] > 0 ? 1.0f / d[x] : 0.0f;
                for (int c = 0; c < channels; ++c) *o++ = *n++ * inverse;
            }
        }
    });
    return out;
}

}  // namespace

struct FocusStack::State {
    cv::Size size;
    int type = -1;
    int levels = 0;
    int depthLevel = 0;
    std::optional<Aligner> aligner;
    std::vector<cv::Mat> numerators;  // per level, the last the coarsest (plain) level
    std::vector<cv::Mat> denominators;
    cv::Mat bestScore;  // at depthLevel: the sharpest slice's energy so far
    cv::Mat bestSlice;  // and its number (16 bits)
    std::vector<Alignment> alignments;
    std::vector<double> energyScales;  // per level: the first slice's mean smoothed energy

    void start(const PictureData& first, const cv::Mat& samples) {
        size = samples.size();
        type = samples.type();
        levels = levelsFor(size);
        depthLevel = std::min(1, levels - 1);
        cv::Size levelSize = size;
        for (int l = 0; l <= levels; ++l) {
            numerators.push_back(
                cv::Mat::zeros(levelSize, CV_MAKETYPE(CV_32F, samples.channels())));
            denominators.push_back(cv::Mat::zeros(levelSize, CV_32F));
            if (l == depthLevel) {
                bestScore = cv::Mat(levelSize, CV_32F, cv::Scalar(-1));
                bestSlice = cv::Mat::zeros(levelSize, CV_16U);
            }
            levelSize = cv::Size((levelSize.width + 1) / 2, (levelSize.height + 1) / 2);
        }
        aligner.emplace(greyOfPicture(first));
    }

    void addDetail(int level, const cv::Mat& detail, const cv::Mat& coverage, int slice) {
        cv::Mat energy = energyOf(detail);
        if (level == depthLevel) {
            cv::Mat score;
            cv::GaussianBlur(energy, score, cv::Size(), kDepthSmoothing);
            if (!coverage.empty()) score.setTo(-1, coverage < 255);
            const auto number = static_cast<std::uint16_t>(slice);
            for (int y = 0; y < score.rows; ++y) {
                const float* s = score.ptr<float>(y);
                float* best = bestScore.ptr<float>(y);
                std::uint16_t* which = bestSlice.ptr<std::uint16_t>(y);
                for (int x = 0; x < score.cols; ++x)
                    if (s[x] > best[x]) best[x] = s[x], which[x] = number;
            }
        }
        cv::GaussianBlur(energy, energy, cv::Size(), kEnergySmoothing);
        // Weights only compare slices at one pixel, so each level's energy is measured in
        // units of the first slice's mean there: the fourth power then stays well inside the
        // range of a float for 8- and 16-bit pictures, bright or dim.
        if (slice == 0) energyScales.push_back(std::max(cv::mean(energy)[0], 1e-30));
        const float inverseScale = static_cast<float>(1.0 / energyScales[level]);
        cv::parallel_for_(cv::Range(0, energy.rows), [&](const cv::Range& rows) {
            for (int y = rows.start; y < rows.end; ++y) {
                float* e = energy.ptr<float>(y);
                for (int x = 0; x < energy.cols; ++x) {
                    const float value =
                        std::min(e[x] * inverseScale, kEnergyCeiling) + kEnergyFloor;
                    const float square = value * value;
                    e[x] = square * square;
                }
            }
        });
        accumulate(detail, energy, coverage, numerators[level], denominators[level]);
    }
};

FocusStack::FocusStack() : state_(std::make_unique<State>()) {}
FocusStack::~FocusStack() = default;

int FocusStack::sliceCount() const {
    return static_cast<int>(state_->alignments.size());
}

const std::vector<Alignment>& FocusStack::alignments() const {
    return state_->alignments;
}

bool FocusStack::add(const PictureData& slice, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    State& s = *state_;
    const cv::Mat samples = matOfPicture(slice);
    if (samples.empty()) return fail("the picture is empty or of a layout that cannot be stacked");
    const bool first = s.alignments.empty();
    if (!first) {
        if (samples.size() != s.size)
            return fail("the picture is " + std::to_string(slice.width) + " x " +
                        std::to_string(slice.height) + ", the first is " +
                        std::to_string(s.size.width) + " x " + std::to_string(s.size.height));
        if (samples.type() != s.type)
            return fail("the picture differs from the first in colour or bits per sample");
    }

    // The first is used as it is; a later one is warped into a matrix of its own (the
    // samples are the caller's, seen through a header, and stay as they are).
    cv::Mat image;
    cv::Mat coverage;  // where the aligned slice has pixels of its own; empty: everywhere
    Alignment alignment;
    if (first) {
        s.start(slice, samples);
        image = samples;
    } else {
        const auto map = s.aligner->align(greyOfPicture(slice));
        if (!map)
            return fail(
                "the picture could not be aligned to the first (too little overlap or detail)");
        alignment = alignmentOf(*map);
        // Reflected borders keep the pyramid free of false edges; the coverage mask then
        // takes the reflected part out of the weights.
        cv::warpAffine(samples, image, *map, s.size, cv::INTER_CUBIC | cv::WARP_INVERSE_MAP,
                       cv::BORDER_REFLECT);
        cv::warpAffine(cv::Mat(s.size, CV_8U, cv::Scalar(255)), coverage, *map, s.size,
                       cv::INTER_NEAREST | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT, 0);
    }

    const int number = static_cast<int>(s.alignments.size());
    cv::Mat level;
    image.convertTo(level, CV_32F, 1.0 / fullScaleOf(samples));
    image.release();
    for (int l = 0; l < s.levels; ++l) {
        cv::Mat down, detail;
        cv::pyrDown(level, down);
        cv::pyrUp(down, detail, level.size());
        cv::subtract(level, detail, detail);
        level.release();
        s.addDetail(l, detail, coverage, number);
        level = down;
        if (!coverage.empty()) {
            cv::Mat smaller;
            cv::pyrDown(coverage, smaller);
            coverage = smaller;
        }
    }
    accumulate(level, cv::Mat(), coverage, s.numerators[s.levels], s.denominators[s.levels]);
    s.alignments.push_back(alignment);
    return true;
}

PictureData FocusStack::fused() const {
    const State& s = *state_;
    if (s.alignments.empty()) return {};
    cv::Mat result = quotient(s.numerators[s.levels], s.denominators[s.levels]);
    for (int l = s.levels - 1; l >= 0; --l) {
        cv::Mat up;
        cv::pyrUp(result, up, s.numerators[l].size());
        result.release();
        cv::add(up, quotient(s.numerators[l], s.denominators[l]), up);
        result = up;
    }
    cv::Mat out;
    result.convertTo(out, s.type, s.type == CV_8UC1 || s.type == CV_8UC3 ? 255.0 : 65535.0);
    return pictureOfMat(out);
}

PictureData FocusStack::depthMap() const {
    const State& s = *state_;
    if (s.alignments.empty()) return {};
    const int last = std::max(1, sliceCount() - 1);
    cv::Mat grey;
    s.bestSlice.convertTo(grey, CV_8U, 255.0 / last);
    // One slice per patch: lone pixels that picked another slice (noise where nothing is
    // sharp) follow their neighbours.
    cv::medianBlur(grey, grey, 5);
    cv::Mat full;
    cv::resize(grey, full, s.size, 0, 0, cv::INTER_NEAREST);
    return pictureOfMat(full);
}

}  // namespace qelvo::combine
