// The specimen a virtual device shows, seen through a simulated camera: scaled to the frame,
// defocused by the lens, panned and tilted across, darkened towards the corners, lifted by
// a dark level and grainy with sensor noise, in that order.
#include <QFileInfo>
#include <QImageReader>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "media/VirtualLens.h"
#include "media/VirtualSpecimenInternal.h"
#include "system/Paths.h"

namespace qelvo {
namespace {

// The defocused copies kept, by Gaussian sigma in frame pixels; a defocus between two of them
// blends the pair.
constexpr double kLevelBlurs[] = {0.0, 2.0, 4.0, 8.0, SpecimenRenderer::kMaxBlur};
// Noise samples in the table; every row of every frame reads from a fresh random place in it.
constexpr std::size_t kNoiseLength = std::size_t{1} << 20;
constexpr int kLargestRow = 8192 * 3;
// The most pixels a specimen scaled for a lens has, unless the frame itself needs more; above
// it (frames of more than 16 megapixels) the specimen stays sharp, without defocused copies.
constexpr double kLargestLensPicture = 16.0e6;

bool fileExists(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).isFile();
}

// Three box blurs in a row approach a Gaussian: the widths of the three boxes for `sigma`.
std::vector<int> boxesForGauss(double sigma) {
    const int n = 3;
    const double ideal = std::sqrt(12.0 * sigma * sigma / n + 1.0);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0) --lower;
    const int upper = lower + 2;
    const double m = (12.0 * sigma * sigma - n * lower * lower - 4.0 * n * lower - 3.0 * n) /
                     (-4.0 * lower - 4.0);
    const int lowerCount = static_cast<int>(std::lround(m));
    std::vector<int> widths;
    for (int i = 0; i < n; ++i) widths.push_back(i < lowerCount ? lower : upper);
    return widths;
}

// One box blur along the rows of a B,G,R picture, edges repeated.
void boxRows(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out, int w, int h,
             int radius) {
    const int span = 2 * radius + 1;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* row = in.data() + static_cast<std::size_t>(y) * w * 3;
        std::uint8_t* dst = out.data() + static_cast<std::size_t>(y) * w * 3;
        for (int c = 0; c < 3; ++c) {
            auto at = [&](int x) { return row[std::clamp(x, 0, w - 1) * 3 + c]; };
            std::uint32_t sum = 0;
            for (int k = -radius; k <= radius; ++k) sum += at(k);
            for (int x = 0; x < w; ++x) {
                dst[x * 3 + c] = static_cast<std::uint8_t>((sum + span / 2) / span);
                sum += at(x + radius + 1);
                sum -= at(x - radius);
            }
        }
    }
}

// One box blur down the columns, a row at a time (running sums for every sample of a row).
void boxColumns(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out, int w, int h,
                int radius) {
    const int span = 2 * radius + 1;
    const std::size_t rowBytes = static_cast<std::size_t>(w) * 3;
    auto row = [&](int y) { return in.data() + std::clamp(y, 0, h - 1) * rowBytes; };
    std::vector<std::uint32_t> sums(rowBytes, 0);
    for (int k = -radius; k <= radius; ++k) {
        const std::uint8_t* r = row(k);
        for (std::size_t i = 0; i < rowBytes; ++i) sums[i] += r[i];
    }
    for (int y = 0; y < h; ++y) {
        std::uint8_t* dst = out.data() + y * rowBytes;
        const std::uint8_t* add = row(y + radius + 1);
        const std::uint8_t* drop = row(y - radius);
        for (std::size_t i = 0; i < rowBytes; ++i) {
            dst[i] = static_cast<std::uint8_t>((sums[i] + span / 2) / span);
            sums[i] += add[i];
            sums[i] -= drop[i];
        }
    }
}

// Blurs a B,G,R picture in place by about a Gaussian of `sigma`; stops between passes once
// `cancel` is set.
void gaussianBlur(std::vector<std::uint8_t>& pixels, int w, int h, double sigma,
                  const std::atomic<bool>& cancel) {
    if (sigma <= 0.0) return;
    std::vector<std::uint8_t> scratch(pixels.size());
    for (int width : boxesForGauss(sigma)) {
        if (cancel.load()) return;
        const int radius = (width - 1) / 2;
        if (radius <= 0) continue;
        boxRows(pixels, scratch, w, h, radius);
        boxColumns(scratch, pixels, w, h, radius);
    }
}

// One stretch of a frame row: the specimen (blended between two defocused copies), times the
// illumination (256 = 1), plus the dark level and the noise, in sixteenths of a level until
// the end.  Every step fits 16 bits, so the compiler works on many samples at once.
template <bool Blend, bool Gain, bool Noise>
void shade(std::uint8_t* __restrict out, const std::uint8_t* a, const std::uint8_t* b, int weight,
           const std::uint16_t* gain, const std::int16_t* noise, int bias, int count) {
    const auto wb = static_cast<std::uint16_t>(weight);
    const auto wa = static_cast<std::uint16_t>(256 - weight);
    const auto offset = static_cast<std::int16_t>(bias);
    for (int i = 0; i < count; ++i) {
        std::uint16_t v = a[i];
        if constexpr (Blend)
            v = static_cast<std::uint16_t>(
                static_cast<std::uint16_t>(a[i] * wa + b[i] * wb + 128) >> 8);
        std::int16_t q =
            Gain ? static_cast<std::int16_t>(static_cast<std::uint16_t>(v * gain[i]) >> 4)
                 : static_cast<std::int16_t>(v << 4);
        q = static_cast<std::int16_t>(q + offset);
        if constexpr (Noise) q = static_cast<std::int16_t>(q + noise[i]);
        q = static_cast<std::int16_t>(q >> 4);
        out[i] = static_cast<std::uint8_t>(q < 0 ? 0 : (q > 255 ? 255 : q));
    }
}

using ShadeFunction = void (*)(std::uint8_t*, const std::uint8_t*, const std::uint8_t*, int,
                               const std::uint16_t*, const std::int16_t*, int, int);

ShadeFunction shadeFor(bool blend, bool gain, bool noise) {
    static constexpr ShadeFunction table[8] = {
        shade<false, false, false>, shade<false, false, true>, shade<false, true, false>,
        shade<false, true, true>,   shade<true, false, false>, shade<true, false, true>,
        shade<true, true, false>,   shade<true, true, true>,
    };
    return table[(blend ? 4 : 0) | (gain ? 2 : 0) | (noise ? 1 : 0)];
}

double share(int value, int minimum, int maximum) {
    if (maximum <= minimum) return 0.5;
    return (std::clamp(value, minimum, maximum) - minimum) / double(maximum - minimum);
}

}  // namespace

std::shared_ptr<const QImage> loadSpecimenPicture(const std::string& path, std::string& why) {
    std::string found = path;
    if (path.find('/') == std::string::npos) {
        // A bare name: the program's own specimens first, then the working folder.
        for (const std::string& folder : programDataFolders()) {
            const std::string candidate = joinPath(joinPath(folder, "specimens"), path);
            if (fileExists(candidate)) {
                found = candidate;
                break;
            }
        }
    }
    if (!fileExists(found)) {
        why = "no such file";
        return nullptr;
    }
    QImageReader reader(QString::fromStdString(found));
    reader.setAutoTransform(true);
    QImage image = reader.read();
    if (image.isNull()) {
        why = reader.errorString().toStdString();
        return nullptr;
    }
    return std::make_shared<const QImage>(image.convertToFormat(QImage::Format_BGR888));
}

std::shared_ptr<VirtualLensState> virtualLensOf(const std::string& deviceName) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<VirtualLensState>> lenses;
    std::lock_guard lock(mutex);
    auto& lens = lenses[deviceName];
    if (!lens) lens = std::make_shared<VirtualLensState>();
    return lens;
}

void setVirtualLensControl(const std::string& deviceName, VirtualLensControl control, int value,
                           int minimum, int maximum) {
    VirtualLensState& lens = *virtualLensOf(deviceName);
    auto store = [&](std::atomic<int>& v, std::atomic<int>& lo, std::atomic<int>& hi) {
        lo.store(minimum);
        hi.store(maximum);
        v.store(value);
    };
    switch (control) {
        case VirtualLensControl::AutoFocus:
            lens.autoFocus.store(value != 0);
            break;
        case VirtualLensControl::Focus:
            store(lens.focus, lens.focusMin, lens.focusMax);
            break;
        case VirtualLensControl::Pan:
            store(lens.pan, lens.panMin, lens.panMax);
            break;
        case VirtualLensControl::Tilt:
            store(lens.tilt, lens.tiltMin, lens.tiltMax);
            break;
    }
}

SpecimenView specimenView(const VirtualLensState& lens, const SpecimenEffects& effects) {
    SpecimenView view;
    if (!effects.lens) return view;
    const int focusMin = lens.focusMin.load(), focusMax = lens.focusMax.load();
    if (!lens.autoFocus.load() && focusMax > focusMin) {
        const double sharpAt = effects.focusPosition >= 0
                                   ? std::clamp(effects.focusPosition, focusMin, focusMax)
                                   : (focusMin + focusMax) / 2.0;
        const double focus = std::clamp(lens.focus.load(), focusMin, focusMax);
        view.blur = SpecimenRenderer::kMaxBlur * std::abs(focus - sharpAt) / (focusMax - focusMin);
    }
    view.panShare = share(lens.pan.load(), lens.panMin.load(), lens.panMax.load());
    // Tilting up shows what lies above.
    view.tiltShare = 1.0 - share(lens.tilt.load(), lens.tiltMin.load(), lens.tiltMax.load());
    return view;
}

SpecimenRenderer::SpecimenRenderer(std::shared_ptr<const QImage> picture, SpecimenEffects effects)
    : picture_(std::move(picture)), effects_(effects), random_(std::random_device{}()) {}

SpecimenRenderer::~SpecimenRenderer() {
    dropLevels();
}

void SpecimenRenderer::dropLevels() {
    // A thread still making copies is not waited for: it stops after its current pass and the
    // copies go with it.
    if (levels_) levels_->cancel.store(true);
    levels_.reset();
}

void SpecimenRenderer::scaledSize(int pictureWidth, int pictureHeight, int frameWidth,
                                  int frameHeight, bool lens, int& width, int& height) {
    const double cover = std::max(double(frameWidth) / std::max(pictureWidth, 1),
                                  double(frameHeight) / std::max(pictureHeight, 1));
    double scale = lens ? std::min(std::max(1.0, cover * 1.5), cover * 3.0) : cover;
    // Room to pan in never makes the defocused copies huge.
    const double pixels = std::max(1.0, double(pictureWidth) * pictureHeight);
    scale = std::max(cover, std::min(scale, std::sqrt(kLargestLensPicture / pixels)));
    width = std::max(frameWidth, static_cast<int>(std::lround(pictureWidth * scale)));
    height = std::max(frameHeight, static_cast<int>(std::lround(pictureHeight * scale)));
}

void SpecimenRenderer::prepare(int width, int height) {
    dropLevels();
    width_ = width;
    height_ = height;
    if (picture_) prepareLevels();
    prepareEffects();
}

void SpecimenRenderer::prepareLevels() {
    const int width = width_, height = height_;
    scaledSize(picture_->width(), picture_->height(), width, height, effects_.lens, scaledWidth_,
               scaledHeight_);
    const QImage scaled =
        picture_
            ->scaled(scaledWidth_, scaledHeight_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_BGR888);
    const std::size_t rowBytes = static_cast<std::size_t>(scaledWidth_) * 3;
    const bool defocus =
        effects_.lens && double(scaledWidth_) * scaledHeight_ <= kLargestLensPicture;
    auto levels = std::make_shared<Levels>();
    levels->copies.resize(defocus ? std::size(kLevelBlurs) : 1);
    for (std::size_t k = 0; k < levels->copies.size(); ++k) levels->copies[k].blur = kLevelBlurs[k];
    levels->copies[0].pixels.resize(rowBytes * scaledHeight_);
    for (int y = 0; y < scaledHeight_; ++y)
        std::memcpy(levels->copies[0].pixels.data() + y * rowBytes, scaled.constScanLine(y),
                    rowBytes);
    levels->ready.store(1);
    levels_ = levels;
    if (levels->copies.size() == 1) return;
    // The defocused copies take a while: a thread of their own makes them beside the stream,
    // which uses each once it is there (and waits for one only when a frame needs it before).
    // Each copy blurs the one before by what it lacks (Gaussians add their variances).
    std::thread([levels, w = scaledWidth_, h = scaledHeight_] {
        auto& copies = levels->copies;
        for (std::size_t k = 1; k < copies.size(); ++k) {
            std::vector<std::uint8_t> pixels = copies[k - 1].pixels;
            const double blur = copies[k].blur, before = copies[k - 1].blur;
            gaussianBlur(pixels, w, h, std::sqrt(blur * blur - before * before), levels->cancel);
            if (levels->cancel.load()) return;
            std::lock_guard lock(levels->mutex);
            copies[k].pixels = std::move(pixels);
            levels->ready.store(static_cast<int>(k) + 1);
            levels->madeOne.notify_all();
        }
    }).detach();
}

void SpecimenRenderer::prepareEffects() {
    const int width = width_, height = height_;
    gain_.clear();
    if (effects_.vignette < 1.0) {
        // Falls off with the square of the distance from the centre, to the share asked for in
        // the corners.
        const std::size_t frameRow = static_cast<std::size_t>(width) * 3;
        gain_.resize(frameRow * height);
        const double cx = (width - 1) / 2.0, cy = (height - 1) / 2.0;
        const double corner = cx * cx + cy * cy;
        const double loss = 1.0 - std::max(0.0, effects_.vignette);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const double r2 = ((x - cx) * (x - cx) + (y - cy) * (y - cy)) / corner;
                const auto g = static_cast<std::uint16_t>(std::lround(256.0 * (1.0 - loss * r2)));
                std::uint16_t* at = gain_.data() + y * frameRow + x * 3;
                at[0] = at[1] = at[2] = g;
            }
    }

    if (effects_.noise > 0.0 && noise_.empty()) {
        // Normal samples in sixteenths of a level; the tail repeats the head so that a row read
        // from anywhere in the table is one piece.
        noise_.resize(kNoiseLength + kLargestRow);
        std::normal_distribution<float> normal(0.0f, static_cast<float>(effects_.noise * 16.0));
        std::minstd_rand fast(static_cast<std::uint32_t>(random_()));
        for (std::size_t i = 0; i < kNoiseLength; ++i) {
            const float v = std::round(normal(fast));
            noise_[i] = static_cast<std::int16_t>(std::clamp(v, -32000.0f, 32000.0f));
        }
        std::copy_n(noise_.begin(), kLargestRow, noise_.begin() + kNoiseLength);
    }
}

void SpecimenRenderer::renderRow(std::uint8_t* out, int y, int column, int row, const Level& a,
                                 const Level* b, int weight, const std::int16_t* noise) {
    const std::size_t rowBytes = static_cast<std::size_t>(scaledWidth_) * 3;
    const std::size_t frameRow = static_cast<std::size_t>(width_) * 3;
    const std::uint16_t* gain = gain_.empty() ? nullptr : gain_.data() + y * frameRow;
    const int bias = effects_.dark * 16 + 8;
    const ShadeFunction f = shadeFor(b != nullptr, gain != nullptr, noise != nullptr);
    const bool plain = !b && !gain && !noise && effects_.dark == 0;
    // The row may wrap around the specimen's right edge (drift): at most two pieces.
    int done = 0;
    while (done < width_) {
        const int count = std::min(width_ - done, scaledWidth_ - column);
        const std::size_t from = row * rowBytes + static_cast<std::size_t>(column) * 3;
        const int offset = done * 3;
        if (plain)
            std::memcpy(out + offset, a.pixels.data() + from, count * 3);
        else
            f(out + offset, a.pixels.data() + from, b ? b->pixels.data() + from : nullptr, weight,
              gain ? gain + offset : nullptr, noise ? noise + offset : nullptr, bias, count * 3);
        done += count;
        column = 0;
    }
}

void SpecimenRenderer::render(std::uint8_t* pixels, int stride, const SpecimenView& view) {
    if (width_ <= 0) return;
    const std::size_t frameRow = static_cast<std::size_t>(width_) * 3;
    auto noiseOfRow = [&](int) {
        return noise_.empty() ? nullptr : noise_.data() + (random_() & (kNoiseLength - 1));
    };
    if (!levels_) {
        // No specimen: the camera's effects over the picture already in the frame.
        const ShadeFunction f = shadeFor(false, !gain_.empty(), !noise_.empty());
        for (int y = 0; y < height_; ++y) {
            std::uint8_t* row = pixels + static_cast<std::size_t>(y) * stride;
            f(row, row, nullptr, 0, gain_.empty() ? nullptr : gain_.data() + y * frameRow,
              noiseOfRow(y), effects_.dark * 16 + 8, static_cast<int>(frameRow));
        }
        return;
    }
    // The pair of defocused copies around the blur asked for.
    const double blur = std::clamp(view.blur, 0.0, kMaxBlur);
    std::size_t k = 0;
    const std::vector<Level>& copies = levels_->copies;
    while (k + 1 < copies.size() && copies[k + 1].blur <= blur) ++k;
    // A copy still being made is waited for (only a frame soon after the start can need it).
    const int needed = static_cast<int>(std::min(k + 2, copies.size()));
    if (levels_->ready.load() < needed) {
        std::unique_lock lock(levels_->mutex);
        levels_->madeOne.wait(lock, [&] { return levels_->ready.load() >= needed; });
    }
    const Level& a = copies[k];
    const Level* b = nullptr;
    int weight = 0;
    if (k + 1 < copies.size() && blur > a.blur) {
        weight =
            static_cast<int>(std::lround(256.0 * (blur - a.blur) / (copies[k + 1].blur - a.blur)));
        if (weight > 0) b = &copies[k + 1];
    }
    const int roomX = scaledWidth_ - width_, roomY = scaledHeight_ - height_;
    std::int64_t x = std::lround(std::clamp(view.panShare, 0.0, 1.0) * roomX) + view.drift;
    x %= scaledWidth_;
    if (x < 0) x += scaledWidth_;
    const int top = static_cast<int>(std::lround(std::clamp(view.tiltShare, 0.0, 1.0) * roomY));
    for (int y = 0; y < height_; ++y)
        renderRow(pixels + static_cast<std::size_t>(y) * stride, y, static_cast<int>(x), top + y, a,
                  b, weight, noiseOfRow(y));
}

}  // namespace qelvo
