#include "media/FormatChoice.h"

#include <cstdint>
#include <cstdio>

namespace qelvo {
namespace {

// Compares two frame rates given as fractions; an offer without a rate is the slowest.
int compareRates(const OfferedFormat& a, const OfferedFormat& b) {
    const bool aKnown = a.rateNumerator > 0 && a.rateDenominator > 0;
    const bool bKnown = b.rateNumerator > 0 && b.rateDenominator > 0;
    if (!aKnown || !bKnown) return int{aKnown} - int{bKnown};
    const std::int64_t left = std::int64_t{a.rateNumerator} * b.rateDenominator;
    const std::int64_t right = std::int64_t{b.rateNumerator} * a.rateDenominator;
    return (left > right) - (left < right);
}

std::string rateText(const OfferedFormat& f) {
    if (f.rateDenominator <= 0 || f.rateNumerator <= 0) return "an unstated rate";
    if (f.rateNumerator % f.rateDenominator == 0)
        return std::to_string(f.rateNumerator / f.rateDenominator) + " fps";
    char text[32];
    std::snprintf(text, sizeof text, "%.2f fps",
                  static_cast<double>(f.rateNumerator) / f.rateDenominator);
    return text;
}

}  // namespace

std::string OfferedFormat::describe() const {
    std::string text = std::to_string(width) + "x" + std::to_string(height) + " ";
    switch (kind) {
        case Kind::Jpeg:
            text += "Motion JPEG";
            break;
        case Kind::Raw:
            text += pixelFormat.empty() ? "raw" : "raw " + pixelFormat;
            break;
        case Kind::Other:
            text += mediaType;
            break;
    }
    return text + " at " + rateText(*this);
}

FormatChoice::FormatChoice(std::vector<OfferedFormat> offered, bool jpegDecoder)
    : offered_(std::move(offered)), jpegDecoder_(jpegDecoder) {}

bool FormatChoice::decodable(const OfferedFormat& f) const {
    if (f.width <= 0 || f.height <= 0) return false;
    return f.kind == OfferedFormat::Kind::Raw ||
           (f.kind == OfferedFormat::Kind::Jpeg && jpegDecoder_);
}

bool FormatChoice::better(const OfferedFormat& a, const OfferedFormat& b) {
    const int rate = compareRates(a, b);
    if (rate != 0) return rate > 0;
    // Same rate: pixels that need no decoding cost less and lose nothing.
    return a.kind == OfferedFormat::Kind::Raw && b.kind != OfferedFormat::Kind::Raw;
}

std::optional<OfferedFormat> FormatChoice::atSize(int width, int height) const {
    std::optional<OfferedFormat> best;
    for (const OfferedFormat& f : offered_) {
        if (f.width != width || f.height != height || !decodable(f)) continue;
        if (!best || better(f, *best)) best = f;  // earlier offers win ties: the device's order
    }
    return best;
}

std::optional<OfferedFormat> FormatChoice::choose(int wantedWidth, int wantedHeight,
                                                  int defaultWidth, int defaultHeight) const {
    if (wantedWidth > 0 && wantedHeight > 0)
        if (auto f = atSize(wantedWidth, wantedHeight)) return f;
    if ((defaultWidth <= 0 || defaultHeight <= 0) && !offered_.empty()) {
        defaultWidth = offered_.front().width;
        defaultHeight = offered_.front().height;
    }
    if (auto f = atSize(defaultWidth, defaultHeight)) return f;
    std::optional<OfferedFormat> largest;
    for (const OfferedFormat& f : offered_) {
        if (!decodable(f)) continue;
        const long long area = 1LL * f.width * f.height;
        const long long bestArea = largest ? 1LL * largest->width * largest->height : -1;
        if (area > bestArea || (area == bestArea && better(f, *largest))) largest = f;
    }
    return largest;
}

std::string FormatChoice::offeredTypes() const {
    std::vector<std::string> seen;
    for (const OfferedFormat& f : offered_) {
        std::string type = f.mediaType;
        if (!f.pixelFormat.empty()) type += " (" + f.pixelFormat + ")";
        bool known = false;
        for (const std::string& s : seen) known = known || s == type;
        if (!known) seen.push_back(type);
    }
    std::string text;
    for (const std::string& s : seen) text += (text.empty() ? "" : ", ") + s;
    return text.empty() ? "nothing" : text;
}

}  // namespace qelvo
