#include "imaging/ImageAdjustment.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "imaging/ColorSpace.h"
#include "imaging/JpegTransform.h"
#include "imaging/LevelStretch.h"
#include "imaging/NearestSample.h"
#include "imaging/PictureRewrite.h"

namespace qelvo {

ImageAdjustment::ImageAdjustment(int kind, int minimum, int maximum)
    : kind_(kind), minimum_(minimum), maximum_(maximum) {}

bool ImageAdjustment::Load(const std::string& path) {
    original_.Clear();
    loadError_.clear();
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(path, bytes)) {
        const int error = errno;
        loadError_ = error ? std::strerror(error) : "the file could not be read";
    } else if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8 &&
               !JpegDataComplete(bytes)) {
        // A JPEG cut short decodes with grey fill; saved, that would become the picture.
        loadError_ = kIncompleteJpegReason;
    } else {
        std::FILE* stream = ::fmemopen(bytes.data(), bytes.size(), "rb");
        if (!stream || !original_.Decode(stream, FormatUnknown)) {
            loadError_ =
                *original_.LastError() ? original_.LastError() : "the file could not be read";
            original_.Clear();
        }
        if (stream) std::fclose(stream);
    }
    if (kind_ == Histogram && original_.IsValid()) {
        long r[256], g[256], b[256], grey[256];
        original_.CountLevels(r, g, b, grey, 0);
        // Greyscale pictures are stretched by their indices, which are their grey levels.
        const bool indices = original_.IsGrayScale();
        for (int i = 0; i < 256; ++i) {
            stretchHistogram_[0][i] = static_cast<double>(grey[i]);
            stretchHistogram_[1][i] =
                indices ? static_cast<double>(grey[i]) : static_cast<double>(r[i] + g[i] + b[i]);
        }
        census_.Take(original_);
    }
    SetPreviewSize(previewWidth_, previewHeight_);
    return original_.IsValid();
}

void ImageAdjustment::SetPreviewSize(int width, int height) {
    previewWidth_ = width;
    previewHeight_ = height;
    originalPreview_.Clear();
    const int bits = original_.BitsPerPixel();
    // Only where the operation gives the same pixels on a sample as on the whole picture.
    const bool sampleable =
        bits == 24 || (bits == 8 && (kind_ != Histogram || original_.IsGrayScale()));
    sampled_ = original_.IsValid() && width > 0 && height > 0 && sampleable &&
               (width != original_.Width() || height != original_.Height()) &&
               SampleNearest(original_, width, height, originalPreview_);
    if (applied_.valid) {
        adjustedPreview_.Clear();
        adjustedPreview_.CopyFrom(OriginalPreview());
        if (applied_.changes) Run(applied_, adjustedPreview_, sampled_);
    }
}

const CxImage& ImageAdjustment::OriginalPreview() const {
    return sampled_ ? originalPreview_ : original_;
}

ImageAdjustment::Operation ImageAdjustment::OperationFor(int value, Channel channel) const {
    Operation op;
    if (value < minimum_ || value > maximum_) return op;
    op.valid = true;
    op.changes = true;
    switch (kind_) {
        case Brightness:
            // Brightness 0 is no change at all.
            op.a = value;
            op.changes = value != 0;
            break;
        case Contrast:
            op.a = value;
            op.changes = value != 0;
            break;
        case Hue:
            // The value range maps once onto the hue byte: -max -> 0, +max -> 255.
            op.a = maximum_ > 0 ? static_cast<int>((static_cast<long long>(value) + maximum_) *
                                                   255 / (2LL * maximum_))
                                : 0;
            break;
        case Saturation:
            op.a = value;
            break;
        case Histogram:
            op.a = channel == Master ? 0 : 1;
            op.threshold = (static_cast<double>(value) + maximum_) * 0.001;
            break;
        default:
            op.valid = false;
    }
    return op;
}

bool ImageAdjustment::StretchTableFor(const Operation& op, std::uint8_t* table) const {
    return PlanStretch(stretchHistogram_[op.a], op.threshold, table);
}

bool ImageAdjustment::Run(const Operation& op, CxImage& picture, bool sample) const {
    switch (kind_) {
        case Brightness:
            return picture.AdjustLevels(op.a, 0);
        case Contrast:
            return picture.AdjustLevels(0, op.a);
        case Hue:
            return picture.SetHueSaturation(static_cast<std::uint8_t>(op.a), 100, 1.0f);
        case Saturation:
            return picture.Saturate(op.a, 1);
        case Histogram: {
            if (!sample) return picture.StretchLevels(op.a, op.threshold);
            // A sample's own histogram is not the picture's: the table comes from the whole.
            std::uint8_t table[256];
            if (!StretchTableFor(op, table)) return true;
            return ApplyStretchTable(picture, op.a, table);
        }
        default:
            return false;
    }
}

bool ImageAdjustment::Apply(int value, Channel channel) {
    const Operation op = OperationFor(value, channel);
    if (!op.valid) return false;
    applied_ = op;
    adjustedPreview_.Clear();
    adjustedPreview_.CopyFrom(OriginalPreview());
    if (op.changes) Run(op, adjustedPreview_, sampled_);
    if (kind_ == Histogram) CountAdjustedLevels(op);
    return true;
}

void ImageAdjustment::CountAdjustedLevels(const Operation& op) {
    for (auto& channel : levels_) channel.fill(0);
    largestLevel_ = 0;
    long* arrays[4] = {levels_[Red].data(), levels_[Green].data(), levels_[Blue].data(),
                       levels_[Master].data()};
    if (!census_.IsTaken()) {
        CxImage full;
        if (AdjustFull(full))
            largestLevel_ = full.CountLevels(arrays[0], arrays[1], arrays[2], arrays[3], 0);
        return;
    }
    std::uint8_t table[256];
    if (!op.changes || !StretchTableFor(op, table)) {
        largestLevel_ = census_.CountMapped([](RgbQuad c) { return c; }, arrays[0], arrays[1],
                                            arrays[2], arrays[3]);
    } else if (original_.IsGrayScale()) {
        largestLevel_ = census_.CountMapped(
            [&](RgbQuad c) {
                const std::uint8_t v = table[c.red];
                return RgbQuad{v, v, v, 0};
            },
            arrays[0], arrays[1], arrays[2], arrays[3]);
    } else if (op.a == 1) {
        largestLevel_ = census_.CountMapped(
            [&](RgbQuad c) {
                return RgbQuad{table[c.blue], table[c.green], table[c.red], 0};
            },
            arrays[0], arrays[1], arrays[2], arrays[3]);
    } else {
        largestLevel_ = census_.CountMapped(
            [&](RgbQuad c) {
                colour::Yuv yuv = colour::RgbToYuv(c);
                yuv.y = table[yuv.y];
                return colour::YuvToRgb(yuv);
            },
            arrays[0], arrays[1], arrays[2], arrays[3]);
    }
}

bool ImageAdjustment::AdjustFull(CxImage& out) const {
    out.Clear();
    if (!out.CopyFrom(original_)) return false;
    if (applied_.valid && applied_.changes) Run(applied_, out, false);
    return true;
}

bool ImageAdjustment::Save(const std::string& path, std::string& reason) const {
    if (!original_.IsValid()) {
        reason = "the picture could not be read (" + loadError_ + ")";
        return false;
    }
    CxImage full;
    if (!AdjustFull(full)) {
        reason = *full.LastError() ? full.LastError() : "not enough memory";
        return false;
    }
    full.SetQuality(80);
    full.SetLastError("");
    std::vector<std::uint8_t> encoded;
    if (!EncodeJpeg(full, encoded)) {
        reason = *full.LastError() ? full.LastError() : "the picture could not be encoded";
        return false;
    }
    reason = RewritePictureFile(path, encoded.data(), encoded.size());
    return reason.empty();
}

}  // namespace qelvo
