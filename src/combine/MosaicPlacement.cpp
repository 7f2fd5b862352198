// Placing overlapping tiles: pairwise phase correlation on reduced copies, a check of each
// candidate by the correlation of its overlap, refinement at full size on patches of the
// overlap, and a weighted least-squares fit of all offsets (and small turns) that drops pairs
// that disagree with the rest.  Every pair of tiles is tried, so the order does not matter.
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
constexpr int kFinePatch = 256;
// A pair whose offset misses the fitted layout by more than this (pixels) is dropped.
constexpr double kMaxResidual = 2.5;
// Tiles are taken as turned only when pairs miss the fit without turns by more than this.
constexpr double kTurnEvidence = 0.75;

struct Coarse {
    cv::Mat grey;      // reduced, CV_32F
    cv::Mat spectrum;  // of the windowed, padded grey
    int factor = 1;    // full size = reduced * factor
};

// The same point of the specimen in two tiles' own pixels, known to within `slack` pixels
// (1 when refined at full size, more when it comes from the reduced copies only).
struct Match {
    cv::Point2d inA, inB;
    double slack = 1.0;
};

struct Pair {
    std::size_t a = 0, b = 0;
    std::vector<Match> matches;
    double weight = 0.0;
    bool valid = false;
};

// A tile's pose: its pixel u lies at R(angle) u + (x, y) in the first tile's frame.
struct Pose {
    double angle = 0.0;  // radians
    cv::Point2d at;
    cv::Point2d map(cv::Point2d u) const {
        const double c = std::cos(angle), s = std::sin(angle);
        return {c * u.x - s * u.y + at.x, s * u.x + c * u.y + at.y};
    }
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
    // Only the phase counts: every frequency brought to unit size.
    for (int y = 0; y < product.rows; ++y) {
        float* p = product.ptr<float>(y);
        for (int x = 0; x < product.cols; ++x) {
            const float scale =
                1.0f / (std::sqrt(p[2 * x] * p[2 * x] + p[2 * x + 1] * p[2 * x + 1]) + 1e-6f);
            p[2 * x] *= scale;
            p[2 * x + 1] *= scale;
        }
    }
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

// Points that b and a share near the offset `guess` of b in a's frame, from phase
// correlation of full-size patches of the overlap: one in its middle, or one at each end of a
// long overlap, whose difference gives the turn between the two tiles.
std::vector<Match> refine(const cv::Mat& a, const cv::Mat& b, cv::Point2d guess, int margin,
                          int factor) {
    const double rough = factor + 1.0;
    const cv::Point d(cvRound(guess.x), cvRound(guess.y));
    cv::Rect common = cv::Rect(0, 0, a.cols, a.rows) & cv::Rect(d.x, d.y, b.cols, b.rows);
    common.x += margin;
    common.y += margin;
    common.width -= 2 * margin;
    common.height -= 2 * margin;
    const cv::Point2d centre(guess.x + b.cols / 2.0, guess.y + b.rows / 2.0);
    if (common.width < 16 || common.height < 16) return {{centre, centre - guess, rough}};
    int w = std::min(common.width, kFinePatch), h = std::min(common.height, kFinePatch);
    std::vector<cv::Rect> patches;
    if (2 * common.width <= common.height) {
        h = std::min(kFinePatch, common.height / 2);
        patches.emplace_back(common.x + (common.width - w) / 2, common.y, w, h);
        patches.emplace_back(common.x + (common.width - w) / 2, common.br().y - h, w, h);
    } else if (2 * common.height <= common.width) {
        w = std::min(kFinePatch, common.width / 2);
        patches.emplace_back(common.x, common.y + (common.height - h) / 2, w, h);
        patches.emplace_back(common.br().x - w, common.y + (common.height - h) / 2, w, h);
    } else {
        patches.emplace_back(common.x + (common.width - w) / 2, common.y + (common.height - h) / 2,
                             w, h);
    }
    cv::Mat window;
    cv::createHanningWindow(window, cv::Size(w, h), CV_32F);
    // A turn of a few degrees moves the ends of a long overlap apart by tens of pixels.
    const double reach = std::max<double>(margin, 48);
    std::vector<Match> matches;
    for (const cv::Rect& patch : patches) {
        const cv::Mat pa = greyFloat(a(patch)), pb = greyFloat(b(patch - d));
        const cv::Point2d s = cv::phaseCorrelate(pa, pb, window);
        // phaseCorrelate gives how far pb's content lies from pa's; b lies the other way.
        const cv::Point2d offset(d.x - s.x, d.y - s.y);
        if (std::abs(offset.x - guess.x) > reach || std::abs(offset.y - guess.y) > reach) continue;
        // A patch that is mostly blank (empty background) names a shift of about half its
        // size: kept only when b, so placed, looks more like a's patch than at the guess.
        const auto alike = [&](cv::Point at) {
            const cv::Rect under = (patch - at) & cv::Rect(0, 0, b.cols, b.rows);
            if (under.empty()) return -1.0;
            return overlapCorrelation(pa, greyFloat(b(under)), under.tl() + at - patch.tl(),
                                      kMinOverlapSide, 0.5 * patch.area());
        };
        if (alike(cv::Point(cvRound(offset.x), cvRound(offset.y))) < alike(d)) continue;
        const cv::Point2d inA(patch.x + (w - 1) / 2.0, patch.y + (h - 1) / 2.0);
        matches.push_back({inA, inA - offset});
    }
    if (matches.empty()) matches.push_back({centre, centre - guess, rough});
    return matches;
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

// Weighted least squares of the poses of the tiles in `in` from the valid pairs among them,
// the first of them held at angle 0 and (0, 0): Gauss-Newton over the shared points.  With
// `turns` each angle is held very loosely near 0 (so that a tile joined by one point only
// keeps it); without, every angle stays 0.
std::vector<Pose> fitPoses(std::size_t n, const std::vector<Pair>& pairs,
                           const std::vector<bool>& in, bool turns) {
    std::vector<int> index(n, -1);
    std::size_t anchor = n;
    int unknowns = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (!in[i]) continue;
        if (anchor == n)
            anchor = i;
        else
            index[i] = 3 * unknowns++;
    }
    std::vector<Pose> poses(n);
    if (unknowns == 0) return poses;
    const int size = 3 * unknowns;
    for (int iteration = 0; iteration < 4; ++iteration) {
        cv::Mat normal = cv::Mat::zeros(size, size, CV_64F);
        cv::Mat rhs = cv::Mat::zeros(size, 1, CV_64F);
        for (std::size_t i = 0; i < n; ++i)
            if (index[i] >= 0) normal.at<double>(index[i], index[i]) += turns ? 10.0 : 1e15;
        for (const Pair& p : pairs) {
            if (!p.valid || !in[p.a] || !in[p.b]) continue;
            for (const Match& m : p.matches) {
                const double w = p.weight / (m.slack * m.slack);
                // residual = pose[a](inA) - pose[b](inB); its derivative by each unknown.
                const cv::Point2d ga = poses[p.a].map(m.inA), gb = poses[p.b].map(m.inB);
                const cv::Point2d r = ga - gb;
                const cv::Point2d ra = ga - poses[p.a].at, rb = gb - poses[p.b].at;
                // Rows x and y: coefficients of (angle, x, y) of a, then of b.
                const double jx[6] = {-ra.y, 1, 0, rb.y, -1, 0};
                const double jy[6] = {ra.x, 0, 1, -rb.x, 0, -1};
                const int base[2] = {index[p.a], index[p.b]};
                for (const auto& [j, res] : {std::pair{jx, r.x}, std::pair{jy, r.y}}) {
                    for (int u = 0; u < 6; ++u) {
                        const int row = base[u / 3];
                        if (row < 0 || j[u] == 0.0) continue;
                        rhs.at<double>(row + u % 3) -= w * j[u] * res;
                        for (int v = 0; v < 6; ++v) {
                            const int col = base[v / 3];
                            if (col < 0 || j[v] == 0.0) continue;
                            normal.at<double>(row + u % 3, col + v % 3) += w * j[u] * j[v];
                        }
                    }
                }
            }
        }
        cv::Mat step;
        if (!cv::solve(normal, rhs, step, cv::DECOMP_CHOLESKY)) break;
        double largest = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            if (index[i] < 0) continue;
            // Unturned means exactly 0, so that the layout can move tiles without turning them.
            poses[i].angle = turns ? poses[i].angle + step.at<double>(index[i]) : 0.0;
            poses[i].at.x += step.at<double>(index[i] + 1);
            poses[i].at.y += step.at<double>(index[i] + 2);
            largest = std::max({largest, std::abs(step.at<double>(index[i] + 1)),
                                std::abs(step.at<double>(index[i] + 2))});
        }
        if (largest < 1e-3) break;
    }
    return poses;
}

// How far the pair's points land apart under `poses` (the worst of them, in units of their
// slack).
double miss(const Pair& p, const std::vector<Pose>& poses) {
    double worst = 0.0;
    for (const Match& m : p.matches) {
        const cv::Point2d r = poses[p.a].map(m.inA) - poses[p.b].map(m.inB);
        worst = std::max(worst, std::hypot(r.x, r.y) / m.slack);
    }
    return worst;
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
            const cv::Mat full = matOfPicture(*tiles[i]);
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
            p.matches = refine(matOfPicture(*tiles[p.a]), matOfPicture(*tiles[p.b]), guess,
                               2 * factor + 4, factor);
            p.weight = correlation;
            p.valid = true;
        }
    });
    if (stopped) return std::nullopt;
    progress.step(0.8, "placing");

    // Fit, then drop the pair that misses the fit most until all agree.  Tiles are taken as
    // not turned unless the pairs disagree without turns and agree better with them: a turn
    // fitted to the noise of one-point pairs would move far corners.
    std::vector<bool> in;
    std::vector<Pose> poses;
    auto worstOf = [&](const std::vector<Pose>& fitted, Pair** worstPair) {
        double worst = 0.0;
        for (Pair& p : pairs) {
            if (!p.valid || !in[p.a] || !in[p.b]) continue;
            const double r = miss(p, fitted);
            if (r > worst) {
                worst = r;
                *worstPair = &p;
            }
        }
        return worst;
    };
    for (;;) {
        in = largestGroup(n, pairs);
        poses = fitPoses(n, pairs, in, false);
        Pair* worstPair = nullptr;
        double worst = worstOf(poses, &worstPair);
        if (worst > kTurnEvidence) {
            std::vector<Pose> turned = fitPoses(n, pairs, in, true);
            Pair* turnedWorstPair = nullptr;
            const double turnedWorst = worstOf(turned, &turnedWorstPair);
            if (turnedWorst < worst) {
                poses = std::move(turned);
                worst = turnedWorst;
                worstPair = turnedWorstPair;
            }
        }
        if (worst <= kMaxResidual || !worstPair) break;
        worstPair->valid = false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        placement.offsets[i] = {poses[i].at.x, poses[i].at.y, poses[i].angle * 180.0 / M_PI};
        if (!in[i]) placement.unconnected.push_back(i);
    }
    progress.step(1.0, "placing");
    return placement;
}

}  // namespace qelvo::combine
