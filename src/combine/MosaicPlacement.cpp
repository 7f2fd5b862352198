// Placing overlapping tiles: pairwise phase correlation on reduced copies, a check of each
// candidate by the correlation of its overlap, refinement at full size on the overlap, and a
// weighted least-squares fit of all offsets that drops pairs that disagree with the rest.
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numeric>

#include "combine/Mosaic.h"
#include "combine/PictureMatInternal.h"

namespace qelvo::combine {

namespace {

// Longest side of the reduced copies the first search runs on.
constexpr int kCoarseSide = 320;
// Least share of the smaller reduced tile a pair must overlap, and least side of the overlap.
constexpr double kMinOverlapShare = 0.01;
constexpr int kMinOverlapSide = 12;
// Least normalised correlation of the overlap for a pair to count.
constexpr double kMinCorrelation = 0.5;
// Candidate peaks tried per pair.
constexpr int kPeaks = 4;
// Largest side of the full-size patch a pair is refined on.
constexpr int kFinePatch = 512;
// A pair whose offset misses the fitted layout by more than this (pixels) is dropped.
constexpr double kMaxResidual = 2.5;

struct Coarse {
    cv::Mat grey;      // reduced, CV_32F
    cv::Mat spectrum;  // of the windowed, padded grey
    int factor = 1;    // full size = reduced * factor
};

struct Pair {
    std::size_t a = 0, b = 0;
    cv::Point2d offset;  // where b's top-left lies in a's frame
    double weight = 0.0;
    bool valid = false;
};

cv::Mat greyFloat(const cv::Mat& picture) {
    cv::Mat grey;
    if (picture.channels() == 3)
        cv::cvtColor(picture, grey, cv::COLOR_RGB2GRAY);
    else
        grey = picture;
    cv::Mat out;
    grey.convertTo(out, CV_32F, picture.depth() == CV_16U ? 1.0 / 257.0 : 1.0);
    return out;
}

// A window that is flat over the middle and falls to zero over the outer sixteenth of each
// side, so that overlaps along the edges keep their weight.
cv::Mat edgeTaper(cv::Size size) {
    auto profile = [](int n) {
        std::vector<float> w(n, 1.0f);
        const int ramp = std::max(1, n / 16);
        for (int i = 0; i < ramp && i < n; ++i) {
            const float v = 0.5f - 0.5f * std::cos(static_cast<float>(M_PI) * (i + 0.5f) / ramp);
            w[i] = std::min(w[i], v);
            w[n - 1 - i] = std::min(w[n - 1 - i], v);
        }
        return w;
    };
    const std::vector<float> wx = profile(size.width), wy = profile(size.height);
    cv::Mat window(size, CV_32F);
    for (int y = 0; y < size.height; ++y) {
        float* row = window.ptr<float>(y);
        for (int x = 0; x < size.width; ++x) row[x] = wx[x] * wy[y];
    }
    return window;
}

// Normalised correlation of a and b where b, moved by `shift` (whole pixels), overlaps a;
// -1 when the overlap is too small to judge.
double overlapCorrelation(const cv::Mat& a, const cv::Mat& b, cv::Point shift, int minSide,
                          double minArea) {
    const cv::Rect ra(0, 0, a.cols, a.rows);
    const cv::Rect rb(shift.x, shift.y, b.cols, b.rows);
    const cv::Rect common = ra & rb;
    if (common.width < minSide || common.height < minSide || common.area() < minArea) return -1.0;
    const cv::Mat pa = a(common), pb = b(common - shift);
    cv::Scalar ma, sa, mb, sb;
    cv::meanStdDev(pa, ma, sa);
    cv::meanStdDev(pb, mb, sb);
    if (sa[0] < 1e-3 || sb[0] < 1e-3) return -1.0;
    cv::Mat da, db;
    cv::subtract(pa, ma, da);
    cv::subtract(pb, mb, db);
    return da.dot(db) / (static_cast<double>(common.area()) * sa[0] * sb[0]);
}

// The best-checked coarse offset of b in a's frame (reduced pixels) and its correlation.
bool coarseMatch(const Coarse& a, const Coarse& b, cv::Size padded, cv::Point* offset,
                 double* correlation) {
    cv::Mat product, surface;
    cv::mulSpectrums(a.spectrum, b.spectrum, product, 0, true);
    std::vector<cv::Mat> parts;
    cv::split(product, parts);
    cv::Mat magnitude;
    cv::magnitude(parts[0], parts[1], magnitude);
    magnitude += 1e-6f;
    cv::divide(parts[0], magnitude, parts[0]);
    cv::divide(parts[1], magnitude, parts[1]);
    cv::merge(parts, product);
    cv::idft(product, surface, cv::DFT_REAL_OUTPUT);

    const double minArea = kMinOverlapShare * std::min(a.grey.total(), b.grey.total());
    double best = -1.0;
    for (int k = 0; k < kPeaks; ++k) {
        cv::Point peak;
        cv::minMaxLoc(surface, nullptr, nullptr, nullptr, &peak);
        cv::circle(surface, peak, 3, cv::Scalar(-1e30), cv::FILLED);
        // The surface wraps: indices past the middle are negative offsets.
        const cv::Point shift(peak.x > padded.width / 2 ? peak.x - padded.width : peak.x,
                              peak.y > padded.height / 2 ? peak.y - padded.height : peak.y);
        const double c = overlapCorrelation(a.grey, b.grey, shift, kMinOverlapSide, minArea);
        if (c > best) {
            best = c;
            *offset = shift;
        }
    }
    *correlation = best;
    return best >= kMinCorrelation;
}

// The full-size offset of b in a's frame near `guess`, from phase correlation of the middle
// of the overlap.
cv::Point2d refine(const cv::Mat& a, const cv::Mat& b, cv::Point2d guess, int margin) {
    const cv::Point d(cvRound(guess.x), cvRound(guess.y));
    cv::Rect common = cv::Rect(0, 0, a.cols, a.rows) & cv::Rect(d.x, d.y, b.cols, b.rows);
    common.x += margin;
    common.y += margin;
    common.width -= 2 * margin;
    common.height -= 2 * margin;
    if (common.width < 16 || common.height < 16) return guess;
    const int w = std::min(common.width, kFinePatch), h = std::min(common.height, kFinePatch);
    const cv::Rect patch(common.x + (common.width - w) / 2, common.y + (common.height - h) / 2, w,
                         h);
    const cv::Mat pa = greyFloat(a(patch)), pb = greyFloat(b(patch - d));
    cv::Mat window;
    cv::createHanningWindow(window, patch.size(), CV_32F);
    const cv::Point2d s = cv::phaseCorrelate(pa, pb, window);
    // phaseCorrelate gives how far pb's content lies from pa's; b lies the other way.
    const cv::Point2d refined(d.x - s.x, d.y - s.y);
    if (std::abs(refined.x - guess.x) > margin || std::abs(refined.y - guess.y) > margin)
        return guess;
    return refined;
}

struct Components {
    std::vector<std::size_t> parent;
    explicit Components(std::size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0); }
    std::size_t find(std::size_t i) {
        while (parent[i] != i) i = parent[i] = parent[parent[i]];
        return i;
    }
    void join(std::size_t a, std::size_t b) { parent[find(a)] = find(b); }
};

// The tiles of the largest group joined by `pairs` (ties: the group of the lowest tile).
std::vector<bool> largestGroup(std::size_t n, const std::vector<Pair>& pairs) {
    Components c(n);
    for (const Pair& p : pairs)
        if (p.valid) c.join(p.a, p.b);
    std::vector<std::size_t> size(n, 0);
    for (std::size_t i = 0; i < n; ++i) ++size[c.find(i)];
    std::size_t best = c.find(0);
    for (std::size_t i = 0; i < n; ++i)
        if (size[c.find(i)] > size[best]) best = c.find(i);
    std::vector<bool> in(n);
    for (std::size_t i = 0; i < n; ++i) in[i] = c.find(i) == best;
    return in;
}

// Weighted least squares of the offsets of the tiles in `in` from the valid pairs among
// them, the first of them held at (0, 0).
std::vector<cv::Point2d> fitOffsets(std::size_t n, const std::vector<Pair>& pairs,
                                    const std::vector<bool>& in) {
    std::vector<int> index(n, -1);
    std::size_t anchor = n;
    int unknowns = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!in[i]) continue;
        if (anchor == n)
            anchor = i;
        else
            index[i] = unknowns++;
    }
    std::vector<cv::Point2d> offsets(n);
    if (unknowns == 0) return offsets;
    cv::Mat normal = cv::Mat::zeros(unknowns, unknowns, CV_64F);
    cv::Mat rhs = cv::Mat::zeros(unknowns, 2, CV_64F);
    for (const Pair& p : pairs) {
        if (!p.valid || !in[p.a] || !in[p.b]) continue;
        // offset[b] - offset[a] = p.offset
        const int ia = index[p.a], ib = index[p.b];
        const double w = p.weight;
        if (ia >= 0) normal.at<double>(ia, ia) += w;
        if (ib >= 0) normal.at<double>(ib, ib) += w;
        if (ia >= 0 && ib >= 0) {
            normal.at<double>(ia, ib) -= w;
            normal.at<double>(ib, ia) -= w;
        }
        if (ib >= 0) {
            rhs.at<double>(ib, 0) += w * p.offset.x;
            rhs.at<double>(ib, 1) += w * p.offset.y;
        }
        if (ia >= 0) {
            rhs.at<double>(ia, 0) -= w * p.offset.x;
            rhs.at<double>(ia, 1) -= w * p.offset.y;
        }
    }
    cv::Mat solution;
    cv::solve(normal, rhs, solution, cv::DECOMP_CHOLESKY);
    for (std::size_t i = 0; i < n; ++i)
        if (index[i] >= 0)
            offsets[i] = {solution.at<double>(index[i], 0), solution.at<double>(index[i], 1)};
    return offsets;
}

}  // namespace

std::optional<MosaicPlacement> placeTiles(const std::vector<const PictureData*>& tiles,
                                          const CombineProgress& progress) {
    const std::size_t n = tiles.size();
    MosaicPlacement placement;
    placement.offsets.resize(n);
    if (n == 0) return placement;

    // Reduced grey copies, all by the same whole factor, and their spectra over a common size
    // at least twice the largest, so that every offset has one place on the surface.
    int largest = 0;
    cv::Size maxSize;
    for (const PictureData* t : tiles) {
        largest = std::max({largest, t->width, t->height});
        maxSize.width = std::max(maxSize.width, t->width);
        maxSize.height = std::max(maxSize.height, t->height);
    }
    const int factor = std::max(1, (largest + kCoarseSide - 1) / kCoarseSide);
    const cv::Size padded(cv::getOptimalDFTSize(2 * ((maxSize.width + factor - 1) / factor)),
                          cv::getOptimalDFTSize(2 * ((maxSize.height + factor - 1) / factor)));
    std::vector<Coarse> coarse(n);
    std::atomic<bool> stopped{false};
    cv::parallel_for_(cv::Range(0, static_cast<int>(n)), [&](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i) {
            if (progress.cancelRequested()) {
                stopped = true;
                return;
            }
            const cv::Mat full = constMatOf(*tiles[i]);
            cv::Mat small;
            const cv::Size reduced(std::max(1, full.cols / factor),
                                   std::max(1, full.rows / factor));
            cv::resize(full, small, reduced, 0, 0, cv::INTER_AREA);
            Coarse& c = coarse[i];
            c.factor = factor;
            c.grey = greyFloat(small);
            cv::Mat centred = c.grey - cv::mean(c.grey)[0];
            centred = centred.mul(edgeTaper(centred.size()));
            cv::Mat canvas = cv::Mat::zeros(padded, CV_32F);
            centred.copyTo(canvas(cv::Rect(0, 0, centred.cols, centred.rows)));
            cv::dft(canvas, c.spectrum, cv::DFT_COMPLEX_OUTPUT);
        }
    });
    if (stopped) return std::nullopt;
    progress.step(0.3, "placing");

    std::vector<Pair> pairs;
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = a + 1; b < n; ++b) pairs.push_back({a, b, {}, 0.0, false});
    cv::parallel_for_(cv::Range(0, static_cast<int>(pairs.size())), [&](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i) {
            if (progress.cancelRequested()) {
                stopped = true;
                return;
            }
            Pair& p = pairs[i];
            cv::Point shift;
            double correlation = 0.0;
            if (!coarseMatch(coarse[p.a], coarse[p.b], padded, &shift, &correlation)) continue;
            const cv::Point2d guess(shift.x * factor, shift.y * factor);
            p.offset =
                refine(constMatOf(*tiles[p.a]), constMatOf(*tiles[p.b]), guess, 2 * factor + 4);
            p.weight = correlation;
            p.valid = true;
        }
    });
    if (stopped) return std::nullopt;
    progress.step(0.8, "placing");

    // Fit, then drop the pair that misses the fit most until all agree.
    std::vector<bool> in;
    std::vector<cv::Point2d> offsets;
    for (;;) {
        in = largestGroup(n, pairs);
        offsets = fitOffsets(n, pairs, in);
        double worst = 0.0;
        Pair* worstPair = nullptr;
        for (Pair& p : pairs) {
            if (!p.valid || !in[p.a] || !in[p.b]) continue;
            const cv::Point2d miss = offsets[p.b] - offsets[p.a] - p.offset;
            const double r = std::hypot(miss.x, miss.y);
            if (r > worst) {
                worst = r;
                worstPair = &p;
            }
        }
        if (worst <= kMaxResidual || !worstPair) break;
        worstPair->valid = false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        placement.offsets[i] = {offsets[i].x, offsets[i].y};
        if (!in[i]) placement.unconnected.push_back(i);
    }
    progress.step(1.0, "placing");
    return placement;
}

}  // namespace qelvo::combine
