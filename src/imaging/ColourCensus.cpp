#include "imaging/ColourCensus.h"

#include <algorithm>

namespace qelvo {

namespace {

// Colours packed as blue | green << 8 | red << 16.
std::uint32_t Pack(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16;
}

RgbQuad Unpack(std::uint32_t v) {
    return RgbQuad{static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                   static_cast<std::uint8_t>(v >> 16), 0};
}

// Above this many pixels one counter per possible colour (64 MB) is cheaper than sorting
// the pixels, and it needs no more memory however large the picture.
constexpr std::uint64_t kDirectCountPixels = std::uint64_t{1} << 21;

}  // namespace

bool ColourCensus::Take(const CxImage& picture) {
    entries_.clear();
    taken_ = false;
    if (!picture.IsValid()) return false;
    const int w = picture.Width(), h = picture.Height();
    if (picture.IsGrayScale()) {
        std::uint32_t counts[256] = {};
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* row = picture.RowBits(y);
            for (int x = 0; x < w; ++x) ++counts[row[x]];
        }
        for (int i = 0; i < 256; ++i)
            if (counts[i]) {
                const auto v = static_cast<std::uint8_t>(i);
                entries_.push_back({RgbQuad{v, v, v, 0}, counts[i]});
            }
        taken_ = true;
        return true;
    }
    if (picture.BitsPerPixel() != 24) return false;

    const std::uint64_t pixels = std::uint64_t(w) * std::uint64_t(h);
    if (pixels > kDirectCountPixels) {
        std::vector<std::uint32_t> counts(std::size_t{1} << 24);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* p = picture.RowBits(y);
            for (int x = 0; x < w; ++x, p += 3) ++counts[Pack(p)];
        }
        for (std::uint32_t v = 0; v < counts.size(); ++v)
            if (counts[v]) entries_.push_back({Unpack(v), counts[v]});
    } else {
        std::vector<std::uint32_t> packed;
        packed.reserve(pixels);
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* p = picture.RowBits(y);
            for (int x = 0; x < w; ++x, p += 3) packed.push_back(Pack(p));
        }
        std::sort(packed.begin(), packed.end());
        for (std::size_t i = 0; i < packed.size();) {
            std::size_t j = i;
            while (j < packed.size() && packed[j] == packed[i]) ++j;
            entries_.push_back({Unpack(packed[i]), static_cast<std::uint32_t>(j - i)});
            i = j;
        }
    }
    taken_ = true;
    return true;
}

long ColourCensus::CopyOut(const long* r, const long* g, const long* b, const long* k, long* red,
                           long* green, long* blue, long* grey) {
    long largest = 0;
    const long* from[4] = {r, g, b, k};
    long* to[4] = {red, green, blue, grey};
    for (int a = 0; a < 4; ++a) {
        if (!to[a]) continue;
        std::copy(from[a], from[a] + 256, to[a]);
        largest = std::max(largest, *std::max_element(from[a], from[a] + 256));
    }
    return largest;
}

}  // namespace qelvo
