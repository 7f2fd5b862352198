// Laying placed tiles out: gains from the means of the overlaps, each tile moved by its
// fraction of a pixel, every pixel taken from the tile whose edge is farthest, and a
// Laplacian-pyramid blend in the blocks that a seam passes near.
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "combine/Mosaic.h"
#include "combine/PictureMatInternal.h"

namespace qelvo::combine {

namespace {

// Blend blocks: the part written, the margin around it the pyramid sees, and its levels.  The
// margin covers the reach of the coarsest level, so neighbouring blocks agree.
constexpr int kBlock = 256;
constexpr int kMargin = 64;
constexpr int kLevels = 4;
// Brightness matching: expected noise of an overlap's mean (8-bit levels) and how far a gain
// may stray from 1 before it costs as much.
constexpr double kMeanNoise = 10.0;
constexpr double kGainSpread = 0.5;
constexpr int kGainRowStep = 4;

struct Laid {
    cv::Mat image;   // evened out, turned and moved onto the canvas's pixels
    cv::Point at;    // canvas position of image(0, 0)
    cv::Rect cover;  // canvas pixels around the tile (all of them unless it is turned)
    // Where the tile's own pixels lie: canvas = R u + origin, R turning by the angle.
    cv::Point2d origin;
    double cosA = 1.0, sinA = 0.0;
    int width = 0, height = 0;
};

// One gain per tile and channel: least squares over the overlaps' means (Brown and Lowe), each
// gain held loosely near 1.
std::vector<cv::Scalar> evenGains(const std::vector<PictureData>& tiles,
                                  const std::vector<cv::Rect>& covers,
                                  const std::vector<cv::Point>& origins) {
    const std::size_t n = tiles.size();
    const int channels = tiles[0].channels;
    const double toLevels = tiles[0].bitsPerSample == 16 ? 1.0 / 257.0 : 1.0;
    std::vector<cv::Mat> normal(channels), rhs(channels);
    for (int c = 0; c < channels; ++c) {
        normal[c] = cv::Mat::zeros(static_cast<int>(n), static_cast<int>(n), CV_64F);
        rhs[c] = cv::Mat::zeros(static_cast<int>(n), 1, CV_64F);
    }
    const double a = 1.0 / (kMeanNoise * kMeanNoise), b = 1.0 / (kGainSpread * kGainSpread);
    for (std::size_t i = 0; i < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j) {
            const cv::Rect common = covers[i] & covers[j];
            if (common.empty()) continue;
            // The overlap in each tile's own pixels (a turn of a degree or two left out), every
            // few rows of it.
            auto overlapMean = [&](std::size_t k, cv::Rect* part) {
                *part = (common - origins[k]) & cv::Rect(0, 0, tiles[k].width, tiles[k].height);
                if (part->empty()) return cv::Scalar();
                const cv::Mat full = matOfPicture(tiles[k])(*part);
                const cv::Mat rows((full.rows + kGainRowStep - 1) / kGainRowStep, full.cols,
                                   full.type(), full.data, full.step * kGainRowStep);
                return cv::mean(rows);
            };
            cv::Rect ri, rj;
            const cv::Scalar mi = overlapMean(i, &ri), mj = overlapMean(j, &rj);
            if (ri.empty() || rj.empty()) continue;
            const double count = static_cast<double>(common.area()) / kGainRowStep;
            for (int c = 0; c < channels; ++c) {
                const double ii = mi[c] * toLevels, jj = mj[c] * toLevels;
                cv::Mat& m = normal[c];
                m.at<double>(i, i) += count * (ii * ii * a + b);
                m.at<double>(j, j) += count * (jj * jj * a + b);
                m.at<double>(i, j) -= count * ii * jj * a;
                m.at<double>(j, i) -= count * ii * jj * a;
                rhs[c].at<double>(i) += count * b;
                rhs[c].at<double>(j) += count * b;
            }
        }
    std::vector<cv::Scalar> gains(n, cv::Scalar::all(1.0));
    for (int c = 0; c < channels; ++c) {
        for (std::size_t i = 0; i < n; ++i)
            if (normal[c].at<double>(i, i) == 0.0) {
                normal[c].at<double>(i, i) = 1.0;
                rhs[c].at<double>(i) = 1.0;
            }
        cv::Mat g;
        if (!cv::solve(normal[c], rhs[c], g, cv::DECOMP_CHOLESKY)) continue;
        for (std::size_t i = 0; i < n; ++i) gains[i][c] = g.at<double>(i);
    }
    return gains;
}

// Multiplies each channel by its gain.
void applyGains(cv::Mat& image, const cv::Scalar& gains) {
    if (image.depth() == CV_8U) {
        cv::Mat table(1, 256, CV_MAKETYPE(CV_8U, image.channels()));
        for (int v = 0; v < 256; ++v)
            for (int c = 0; c < image.channels(); ++c)
                table.ptr<std::uint8_t>()[v * image.channels() + c] =
                    cv::saturate_cast<std::uint8_t>(v * gains[c]);
        cv::LUT(image, table, image);
    } else {
        cv::multiply(image, gains, image);
    }
}

// image(x, y) becomes image(x + fx, y + fy) (bilinear, 0 <= fx, fy < 1) times the channel's
// gain, for the `size` pixels at its top-left.  Each row reads only itself and the row below,
// so the work needs no second picture: row by row from the top, each through a copy.
template <typename T>
void shiftInPlace(cv::Mat& image, cv::Size size, double fx, double fy, const cv::Scalar& gains) {
    const int ch = image.channels();
    const int n = image.cols * ch;
    // One pixel more than the row, repeating its last, so that x + 1 is always there.
    std::vector<float> row(n + ch), below(n + ch), gain(n);
    for (int i = 0; i < n; ++i) gain[i] = static_cast<float>(gains[i % ch]);
    const float w00 = static_cast<float>((1 - fx) * (1 - fy)),
                w01 = static_cast<float>(fx * (1 - fy));
    const float w10 = static_cast<float>((1 - fx) * fy), w11 = static_cast<float>(fx * fy);
    const float top = static_cast<float>(std::numeric_limits<T>::max());
    auto load = [&](int y, std::vector<float>& into) {
        const T* from = image.ptr<T>(std::min(y, image.rows - 1));
        for (int i = 0; i < n; ++i) into[i] = from[i];
        for (int c = 0; c < ch; ++c) into[n + c] = into[n - ch + c];
    };
    load(0, below);
    const int count = size.width * ch;
    for (int y = 0; y < size.height; ++y) {
        row.swap(below);
        load(y + 1, below);
        T* to = image.ptr<T>(y);
        const float* __restrict r = row.data();
        const float* __restrict b = below.data();
        const float* __restrict g = gain.data();
        for (int i = 0; i < count; ++i) {
            const float v = (w00 * r[i] + w01 * r[i + ch] + w10 * b[i] + w11 * b[i + ch]) * g[i];
            to[i] = static_cast<T>(std::clamp(v + 0.5f, 0.0f, top));
        }
    }
}

// For canvas row `y`, columns x0..x1-1: the tile each pixel comes from (-1: none), the one
// whose nearest edge is farthest away.
void labelRow(const std::vector<Laid>& laid, int y, int x0, int x1, int* label, float* depth) {
    std::fill(label, label + (x1 - x0), -1);
    std::fill(depth, depth + (x1 - x0), -1.0f);
    for (std::size_t k = 0; k < laid.size(); ++k) {
        const Laid& l = laid[k];
        const cv::Rect& c = l.cover;
        if (y < c.y || y >= c.y + c.height) continue;
        const int from = std::max(x0, c.x), to = std::min(x1, c.x + c.width);
        if (from >= to) continue;
        // The tile's own coordinates along the row: u = R^-1 (p - origin).
        const double dx = from - l.origin.x, dy = y - l.origin.y;
        const double u = l.cosA * dx + l.sinA * dy, v = -l.sinA * dx + l.cosA * dy;
        const float lastU = static_cast<float>(l.width - 1),
                    lastV = static_cast<float>(l.height - 1);
        float* rowDepth = depth + (from - x0);
        int* rowLabel = label + (from - x0);
        const int count = to - from;
        const int index = static_cast<int>(k);
        if (l.sinA == 0.0) {
            // Not turned: the distance to the top or bottom edge is the same along the row.
            const float fv = static_cast<float>(v);
            const float edge = std::min(fv, lastV - fv);
            const float u0 = static_cast<float>(u);
            for (int i = 0; i < count; ++i) {
                const float fu = u0 + static_cast<float>(i);
                const float d = std::min(edge, std::min(fu, lastU - fu));
                // Written whatever the outcome, so that the loop runs in vector registers.
                const bool nearer = d > rowDepth[i] && d >= -1e-4f;
                rowDepth[i] = nearer ? std::max(d, 0.0f) : rowDepth[i];
                rowLabel[i] = nearer ? index : rowLabel[i];
            }
        } else {
            const float cu = static_cast<float>(l.cosA), sv = static_cast<float>(l.sinA);
            const float u0 = static_cast<float>(u), v0 = static_cast<float>(v);
            for (int i = 0; i < count; ++i) {
                const float fu = u0 + cu * static_cast<float>(i);
                const float fv = v0 - sv * static_cast<float>(i);
                const float d = std::min(std::min(fu, lastU - fu), std::min(fv, lastV - fv));
                if (d > rowDepth[i] && d >= -1e-4f) {
                    rowDepth[i] = std::max(d, 0.0f);
                    rowLabel[i] = index;
                }
            }
        }
    }
}

// acc += lap * weight, the one weight for every channel.
template <int Ch>
void addWeightedT(cv::Mat& acc, const cv::Mat& lap, const cv::Mat& weight) {
    for (int y = 0; y < acc.rows; ++y) {
        float* __restrict a = acc.ptr<float>(y);
        const float* __restrict l = lap.ptr<float>(y);
        const float* __restrict w = weight.ptr<float>(y);
        for (int x = 0; x < acc.cols; ++x)
            for (int c = 0; c < Ch; ++c) a[x * Ch + c] += l[x * Ch + c] * w[x];
    }
}

void addWeighted(cv::Mat& acc, const cv::Mat& lap, const cv::Mat& weight) {
    if (acc.channels() == 3)
        addWeightedT<3>(acc, lap, weight);
    else
        addWeightedT<1>(acc, lap, weight);
}

template <int Ch>
void divideByWeightT(cv::Mat& acc, const cv::Mat& weight) {
    for (int y = 0; y < acc.rows; ++y) {
        float* __restrict a = acc.ptr<float>(y);
        const float* __restrict w = weight.ptr<float>(y);
        for (int x = 0; x < acc.cols; ++x) {
            const float inv = w[x] > 1e-6f ? 1.0f / w[x] : 0.0f;
            for (int c = 0; c < Ch; ++c) a[x * Ch + c] *= inv;
        }
    }
}

void divideByWeight(cv::Mat& acc, const cv::Mat& weight) {
    if (acc.channels() == 3)
        divideByWeightT<3>(acc, weight);
    else
        divideByWeightT<1>(acc, weight);
}

// What one thread blends with, kept from block to block so that its buffers are allocated once.
struct BlendBuffers {
    cv::Mat labels;
    std::vector<float> depth;
    std::vector<cv::Mat> acc, weight, gauss, masks, laplace;
    cv::Mat piece, base, result, up, converted;
};

// Whether labels sampled every few pixels over `around` name two tiles or more.
bool seamNear(const std::vector<Laid>& laid, const cv::Rect& around, std::vector<int>& label,
              std::vector<float>& depth) {
    constexpr int step = 8;
    int first = -2;
    for (int y = around.y; y < around.br().y; y += step) {
        labelRow(laid, y, around.x, around.br().x, label.data(), depth.data());
        for (int x = 0; x < around.width; x += step) {
            if (label[x] < 0) continue;
            if (first == -2)
                first = label[x];
            else if (label[x] != first)
                return true;
        }
    }
    return false;
}

// Blends the block whose written part is `block` (canvas coordinates) when a seam lies within
// its margin; the canvas pixels of no tile stay as they are.
void blendBlock(const std::vector<Laid>& laid, const cv::Rect& block, cv::Mat& canvas,
                BlendBuffers& b) {
    const cv::Rect around(block.x - kMargin, block.y - kMargin, kBlock + 2 * kMargin,
                          kBlock + 2 * kMargin);
    int touching = 0;
    for (const Laid& l : laid)
        if (!(l.cover & around).empty()) ++touching;
    if (touching < 2) return;

    b.depth.resize(around.width);
    b.labels.create(around.size(), CV_32S);
    {
        std::vector<int> row(around.width);
        if (!seamNear(laid, around, row, b.depth)) return;
    }
    std::vector<int> count(laid.size(), 0);
    int distinct = 0;
    for (int y = 0; y < around.height; ++y) {
        int* row = b.labels.ptr<int>(y);
        labelRow(laid, around.y + y, around.x, around.x + around.width, row, b.depth.data());
        for (int x = 0; x < around.width; ++x)
            if (row[x] >= 0 && count[row[x]]++ == 0) ++distinct;
    }
    if (distinct < 2) return;

    // Multi-band blending, sum over tiles k and levels l of M(k,l) * L(l, I(k)) / W(l), with
    // L the Laplacian pyramid, M the Gaussian pyramid of each tile's mask and W that of the
    // covered pixels, equals I(r) + sum over l of [sum over k != r of M(k,l) * L(l, I(k) -
    // I(r))] / W(l) for any tile r: one pyramid fewer, and r is the tile with most pixels here.
    std::size_t reference = laid.size();
    for (std::size_t k = 0; k < laid.size(); ++k)
        if (count[k] > 0 && (reference == laid.size() || count[k] > count[reference]))
            reference = k;
    const int ch = canvas.channels();
    const int floatType = CV_MAKETYPE(CV_32F, ch);
    b.acc.resize(kLevels + 1);
    b.weight.resize(kLevels + 1);
    b.gauss.resize(kLevels + 1);
    b.masks.resize(kLevels + 1);
    b.laplace.resize(kLevels);
    cv::Size size = around.size();
    for (int level = 0; level <= kLevels; ++level) {
        b.acc[level].create(size, floatType);
        b.acc[level].setTo(cv::Scalar::all(0));
        size = cv::Size((size.width + 1) / 2, (size.height + 1) / 2);
    }
    auto tileImage = [&](std::size_t k, cv::Mat& into) {
        const Laid& l = laid[k];
        const cv::Rect part = l.cover & around;
        l.image(part - l.at).convertTo(b.piece, floatType);
        // Beyond its edge a tile carries on with its edge pixels; its weight there is nil.
        cv::copyMakeBorder(b.piece, into, part.y - around.y, around.br().y - part.br().y,
                           part.x - around.x, around.br().x - part.br().x, cv::BORDER_REPLICATE);
    };
    auto maskOf = [&](auto&& keep, cv::Mat& into) {
        into.create(around.size(), CV_32F);
        for (int y = 0; y < around.height; ++y) {
            const int* lr = b.labels.ptr<int>(y);
            float* m = into.ptr<float>(y);
            for (int x = 0; x < around.width; ++x) m[x] = keep(lr[x]) ? 1.f : 0.f;
        }
    };
    tileImage(reference, b.base);
    maskOf([](int label) { return label >= 0; }, b.weight[0]);
    for (int level = 0; level < kLevels; ++level) cv::pyrDown(b.weight[level], b.weight[level + 1]);
    for (std::size_t k = 0; k < laid.size(); ++k) {
        if (count[k] == 0 || k == reference) continue;
        tileImage(k, b.gauss[0]);
        cv::subtract(b.gauss[0], b.base, b.gauss[0]);
        maskOf([k](int label) { return label == static_cast<int>(k); }, b.masks[0]);
        for (int level = 0; level < kLevels; ++level) {
            cv::pyrDown(b.gauss[level], b.gauss[level + 1]);
            cv::pyrDown(b.masks[level], b.masks[level + 1]);
            cv::pyrUp(b.gauss[level + 1], b.laplace[level], b.gauss[level].size());
            cv::subtract(b.gauss[level], b.laplace[level], b.laplace[level]);
            addWeighted(b.acc[level], b.laplace[level], b.masks[level]);
        }
        addWeighted(b.acc[kLevels], b.gauss[kLevels], b.masks[kLevels]);
    }
    for (int level = kLevels; level >= 0; --level) {
        divideByWeight(b.acc[level], b.weight[level]);
        if (level == kLevels) {
            b.acc[level].copyTo(b.result);
        } else {
            cv::pyrUp(b.result, b.up, b.acc[level].size());
            cv::add(b.up, b.acc[level], b.result);
        }
    }
    cv::add(b.result, b.base, b.result);

    const cv::Rect written = block & cv::Rect(0, 0, canvas.cols, canvas.rows);
    b.result(written - around.tl()).convertTo(b.converted, canvas.type());
    const std::size_t pixelBytes = canvas.elemSize();
    for (int y = 0; y < written.height; ++y) {
        const int* lr = b.labels.ptr<int>(written.y - around.y + y) + (written.x - around.x);
        const std::uint8_t* from = b.converted.ptr<std::uint8_t>(y);
        std::uint8_t* to = canvas.ptr<std::uint8_t>(written.y + y) + written.x * pixelBytes;
        // Runs of covered pixels.
        for (int x = 0; x < written.width;) {
            if (lr[x] < 0) {
                ++x;
                continue;
            }
            int end = x + 1;
            while (end < written.width && lr[end] >= 0) ++end;
            std::memcpy(to + x * pixelBytes, from + x * pixelBytes, (end - x) * pixelBytes);
            x = end;
        }
    }
}

}  // namespace

std::optional<Mosaic> composeMosaic(std::vector<PictureData> tiles,
                                    const MosaicPlacement& placement,
                                    const CombineProgress& progress) {
    const std::size_t n = tiles.size();
    if (n == 0 || placement.offsets.size() != n) return Mosaic{};

    // Where each tile goes: the canvas pixels around it, from its turned corners.  An offset
    // within 1/100 pixel of a whole one is taken as whole, so such a tile is copied as it is.
    std::vector<Laid> laid(n);
    std::vector<cv::Rect> covers(n);
    cv::Point low(INT32_MAX, INT32_MAX), high(INT32_MIN, INT32_MIN);
    for (std::size_t i = 0; i < n; ++i) {
        Laid& l = laid[i];
        auto snap = [](double v) { return std::abs(v - std::round(v)) < 0.01 ? std::round(v) : v; };
        l.origin = {snap(placement.offsets[i].x), snap(placement.offsets[i].y)};
        const double angle = placement.offsets[i].degrees * M_PI / 180.0;
        l.cosA = angle == 0.0 ? 1.0 : std::cos(angle);
        l.sinA = angle == 0.0 ? 0.0 : std::sin(angle);
        l.width = tiles[i].width;
        l.height = tiles[i].height;
        double x0 = 1e300, y0 = 1e300, x1 = -1e300, y1 = -1e300;
        for (const cv::Point2d u :
             {cv::Point2d(0, 0), cv::Point2d(l.width - 1, 0), cv::Point2d(0, l.height - 1),
              cv::Point2d(l.width - 1, l.height - 1)}) {
            const double x = l.cosA * u.x - l.sinA * u.y + l.origin.x;
            const double y = l.sinA * u.x + l.cosA * u.y + l.origin.y;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
        // Only pixels that fall inside the tile: a moved tile loses its first row or column.
        const int left = static_cast<int>(std::ceil(x0 - 1e-6)),
                  top = static_cast<int>(std::ceil(y0 - 1e-6));
        const int right = static_cast<int>(std::floor(x1 + 1e-6)),
                  bottom = static_cast<int>(std::floor(y1 + 1e-6));
        l.cover = cv::Rect(left, top, right - left + 1, bottom - top + 1);
        low = {std::min(low.x, l.cover.x), std::min(low.y, l.cover.y)};
        high = {std::max(high.x, l.cover.br().x), std::max(high.y, l.cover.br().y)};
    }
    std::vector<cv::Point> origins(n);
    for (std::size_t i = 0; i < n; ++i) {
        Laid& l = laid[i];
        l.cover -= low;
        l.at = l.cover.tl();
        l.origin -= cv::Point2d(low);
        covers[i] = l.cover;
        origins[i] = cv::Point(cvRound(l.origin.x), cvRound(l.origin.y));
    }

    const std::vector<cv::Scalar> gains = evenGains(tiles, covers, origins);
    if (progress.cancelRequested()) return std::nullopt;
    progress.step(0.1, "evening out");

    std::atomic<bool> stopped{false};
    cv::parallel_for_(cv::Range(0, static_cast<int>(n)), [&](const cv::Range& r) {
        for (int i = r.start; i < r.end; ++i) {
            if (progress.cancelRequested()) {
                stopped = true;
                return;
            }
            cv::Mat source = matOfPicture(tiles[i]);
            Laid& l = laid[i];
            const cv::Point2d shift = l.origin - cv::Point2d(l.at);
            if (l.sinA == 0.0 && shift == cv::Point2d(0, 0)) {
                l.image = source;  // the tile's own samples, kept in `tiles`
                applyGains(l.image, gains[i]);
            } else if (l.sinA == 0.0) {
                // Moved by a fraction of a pixel towards its top-left: done in its own samples.
                l.image = source(cv::Rect(cv::Point(0, 0), l.cover.size()));
                if (source.depth() == CV_8U)
                    shiftInPlace<std::uint8_t>(source, l.cover.size(), -shift.x, -shift.y,
                                               gains[i]);
                else
                    shiftInPlace<std::uint16_t>(source, l.cover.size(), -shift.x, -shift.y,
                                                gains[i]);
            } else {
                const cv::Matx23d move(l.cosA, -l.sinA, shift.x, l.sinA, l.cosA, shift.y);
                cv::warpAffine(source, l.image, move, l.cover.size(), cv::INTER_LINEAR,
                               cv::BORDER_REPLICATE);
                std::vector<std::uint8_t>().swap(tiles[i].samples);
                applyGains(l.image, gains[i]);
            }
        }
    });
    if (stopped) return std::nullopt;
    progress.step(0.35, "blending");

    Mosaic mosaic;
    PictureData& out = mosaic.picture;
    out.width = high.x - low.x;
    out.height = high.y - low.y;
    out.channels = tiles[0].channels;
    out.bitsPerSample = tiles[0].bitsPerSample;
    out.samples.assign(out.rowBytes() * out.height, 0);
    cv::Mat canvas = matOfPicture(out);
    const std::size_t pixelBytes = canvas.elemSize();
    cv::parallel_for_(cv::Range(0, out.height), [&](const cv::Range& r) {
        std::vector<int> label(out.width);
        std::vector<float> depth(out.width);
        for (int y = r.start; y < r.end; ++y) {
            labelRow(laid, y, 0, out.width, label.data(), depth.data());
            std::uint8_t* to = canvas.ptr<std::uint8_t>(y);
            for (int x = 0; x < out.width;) {
                int end = x + 1;
                while (end < out.width && label[end] == label[x]) ++end;
                if (label[x] >= 0) {
                    const Laid& l = laid[label[x]];
                    std::memcpy(to + x * pixelBytes,
                                l.image.ptr<std::uint8_t>(y - l.at.y) + (x - l.at.x) * pixelBytes,
                                (end - x) * pixelBytes);
                }
                x = end;
            }
        }
    });
    progress.step(0.45, "blending");

    std::vector<cv::Rect> blocks;
    for (int y = 0; y < out.height; y += kBlock)
        for (int x = 0; x < out.width; x += kBlock) blocks.emplace_back(x, y, kBlock, kBlock);
    const int batches = 8;
    for (int batch = 0; batch < batches; ++batch) {
        const int from = static_cast<int>(blocks.size() * batch / batches);
        const int to = static_cast<int>(blocks.size() * (batch + 1) / batches);
        // A few stripes a thread, each with its buffers.
        const double stripes = 2.0 * std::max(1, cv::getNumThreads());
        cv::parallel_for_(
            cv::Range(from, to),
            [&](const cv::Range& r) {
                BlendBuffers buffers;
                for (int i = r.start; i < r.end; ++i) {
                    if (progress.cancelRequested()) {
                        stopped = true;
                        return;
                    }
                    blendBlock(laid, blocks[i], canvas, buffers);
                }
            },
            stripes);
        if (stopped) return std::nullopt;
        progress.step(0.45 + 0.55 * (batch + 1) / batches, "blending");
    }
    mosaic.firstTileX = laid[0].origin.x;
    mosaic.firstTileY = laid[0].origin.y;
    return mosaic;
}

}  // namespace qelvo::combine
