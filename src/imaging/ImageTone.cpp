// Tone and colour operations. 24-bit pictures are processed row by row with the same
// per-pixel arithmetic that colour reads and writes would give; palette pictures go through
// their palette or through colour reads and writes.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "imaging/ColorSpace.h"
#include "imaging/CxImage.h"
#include "imaging/LevelStretch.h"
#include "imaging/RowKernels.h"

namespace qelvo {

using colour::ClampByte;
using colour::GreyLevel;

namespace {

using Table = std::array<std::uint8_t, 256>;

// The (value - 128) * (amount + 100) * 0.01 + offset table of the contrast-like operations.
Table ContrastTable(int amount, long double offset) {
    Table t{};
    for (int k = 0; k < 256; ++k) {
        const long double v = static_cast<long double>(k - 128) *
                                  (static_cast<long double>(amount) + 100.0L) *
                                  static_cast<long double>(0.01f) +
                              offset;
        const long double clamped = std::clamp(v, -1.0L, 256.0L);
        t[k] = ClampByte(static_cast<int>(clamped));
    }
    return t;
}

template <typename Fn>
void ForEachPixel24(CxImage& img, Fn fn) {
    const int w = img.Width();
    for (int y = 0; y < img.Height(); ++y) {
        std::uint8_t* p = img.RowBits(y);
        for (int x = 0; x < w; ++x, p += 3) fn(p);
    }
}

inline RgbQuad Load(const std::uint8_t* p) {
    return RgbQuad{p[0], p[1], p[2], 0};
}
inline void Store(std::uint8_t* p, RgbQuad c) {
    p[0] = c.blue;
    p[1] = c.green;
    p[2] = c.red;
}

// Colour read, change, colour write for every pixel of a palette picture.
template <typename Fn>
void MapPixelColours(CxImage& img, Fn fn) {
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) img.SetPixelRgb(x, y, fn(img.GetPixelColor(x, y)));
}

template <typename Fn>
void MapPalette(CxImage& img, Fn fn) {
    for (int i = 0; i < img.ColorsUsed(); ++i) img.SetPaletteColor(i, fn(img.PaletteColor(i)));
}

// Replaces every index by the grey level of its entry and restores the identity grey ramp.
void RenormaliseGrey(CxImage& img) {
    Table grey{};
    for (int i = 0; i < 256; ++i)
        grey[i] = static_cast<std::uint8_t>(GreyLevel(img.PaletteColor(i)));
    for (int y = 0; y < img.Height(); ++y) {
        std::uint8_t* row = img.RowBits(y);
        for (int x = 0; x < img.Width(); ++x) row[x] = grey[row[x]];
    }
    img.SetGrayPalette();
}

// Every byte through the table, eight at a time.
void MapBytes(std::uint8_t* p, std::size_t n, const Table& t) {
    const std::uint8_t* table = t.data();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t v;
        std::memcpy(&v, p + i, 8);
        std::uint64_t r = 0;
        for (int k = 0; k < 8; ++k) r |= std::uint64_t{table[(v >> (8 * k)) & 0xFF]} << (8 * k);
        std::memcpy(p + i, &r, 8);
    }
    for (; i < n; ++i) p[i] = table[p[i]];
}

// Histograms of long runs of equal values are counted in two alternating copies, so that
// successive increments of one bin do not wait for each other.
struct SplitHistogram {
    std::array<std::uint32_t, 256> a{}, b{};
    std::uint32_t operator[](int i) const { return a[i] + b[i]; }
};

// Each pixel of a 24-bit row to YUV, Y through the table, and back: RgbToYuv, the table and
// YuvToRgb, in blocks of plain loops the compiler can vectorise (same float operations in
// the same order, so the same bytes).
void MapRowThroughY(std::uint8_t* row, int width, const Table& t) {
    constexpr int kBlock = 32;
    float fb[kBlock], fg[kBlock], fr[kBlock];
    int yy[kBlock], uu[kBlock], vv[kBlock];
    for (int x0 = 0; x0 < width; x0 += kBlock) {
        const int n = std::min(kBlock, width - x0);
        std::uint8_t* p = row + 3 * static_cast<std::size_t>(x0);
        for (int i = 0; i < n; ++i) {
            fb[i] = p[3 * i];
            fg[i] = p[3 * i + 1];
            fr[i] = p[3 * i + 2];
        }
        for (int i = 0; i < n; ++i) {
            const int y = static_cast<int>(0.299f * fr[i] + 0.587f * fg[i] + 0.114f * fb[i]);
            const int u = static_cast<int>((fb[i] - static_cast<float>(y)) * 0.565f + 128.0f);
            const int v = static_cast<int>((fr[i] - static_cast<float>(y)) * 0.713f + 128.0f);
            yy[i] = std::clamp(y, 0, 255);
            uu[i] = std::clamp(u, 0, 255) - 128;
            vv[i] = std::clamp(v, 0, 255) - 128;
        }
        for (int i = 0; i < n; ++i) yy[i] = t[yy[i]];
        for (int i = 0; i < n; ++i) {
            const float y = static_cast<float>(yy[i]);
            const float u = static_cast<float>(uu[i]);
            const float v = static_cast<float>(vv[i]);
            const int r = static_cast<int>(y + 1.403f * v);
            const int g = static_cast<int>(y - 0.344f * u - 0.714f * v);
            const int b = static_cast<int>(y + 1.77f * u);
            p[3 * i] = static_cast<std::uint8_t>(std::clamp(b, 0, 255));
            p[3 * i + 1] = static_cast<std::uint8_t>(std::clamp(g, 0, 255));
            p[3 * i + 2] = static_cast<std::uint8_t>(std::clamp(r, 0, 255));
        }
    }
}

RgbQuad ThroughYTable(RgbQuad c, const Table& t) {
    colour::Yuv yuv = colour::RgbToYuv(c);
    yuv.y = t[yuv.y];
    return colour::YuvToRgb(yuv);
}

}  // namespace

bool CxImage::AdjustLevels(int brightness, int contrast) {
    if (!IsValid()) return false;
    const Table t = ContrastTable(contrast, static_cast<long double>(brightness) + 128.5L);
    if (header_.bitCount == 24) {
        MapBytes(bits_, header_.sizeImage, t);
        return true;
    }
    const bool wasGrey = IsGrayScale();
    MapPalette(*this, [&](RgbQuad c) { return RgbQuad{t[c.blue], t[c.green], t[c.red], 0}; });
    if (wasGrey) RenormaliseGrey(*this);
    return true;
}

bool CxImage::SetHueSaturation(std::uint8_t hue, std::uint8_t saturation, float blend) {
    if (!IsValid()) return false;
    blend = std::isnan(blend) ? 0.0f : std::clamp(blend, 0.0f, 1.0f);
    // The target colour depends only on a lightness byte: one table of 256 colours.
    std::array<RgbQuad, 256> target{};
    for (int l = 0; l < 256; ++l)
        target[l] = colour::HslToRgb(colour::Hsl{hue, saturation, static_cast<std::uint8_t>(l)});
    const bool replace = blend > 0.999f;

    if (header_.bitCount < 24) {
        MapPalette(*this, [&](RgbQuad c) {
            if (replace) return target[colour::RgbToHsl(c).l];
            const RgbQuad t = target[GreyLevel(c)];
            auto mix = [&](std::uint8_t s, std::uint8_t d) {
                return static_cast<std::uint8_t>((1.0f - blend) * s + blend * d);
            };
            return RgbQuad{mix(c.blue, t.blue), mix(c.green, t.green), mix(c.red, t.red), 0};
        });
        return true;
    }
    if (replace) {
        ForEachPixel24(*this, [&](std::uint8_t* p) {
            const int mx = std::max({p[0], p[1], p[2]});
            const int mn = std::min({p[0], p[1], p[2]});
            Store(p, target[colour::Lightness(mx, mn)]);
        });
        return true;
    }
    const int u = static_cast<int>(blend * 256.0f);
    ForEachPixel24(*this, [&](std::uint8_t* p) {
        const RgbQuad t = target[GreyLevel(Load(p))];
        p[0] = static_cast<std::uint8_t>((u * t.blue + (256 - u) * p[0]) >> 8);
        p[1] = static_cast<std::uint8_t>((u * t.green + (256 - u) * p[1]) >> 8);
        p[2] = static_cast<std::uint8_t>((u * t.red + (256 - u) * p[2]) >> 8);
    });
    return true;
}

bool CxImage::Saturate(int amount, int colourSpace) {
    if (!IsValid()) return false;
    if (colourSpace == 1) {
        Table t{};
        for (int i = 0; i < 256; ++i)
            t[i] = ClampByte(
                static_cast<int>(std::clamp(i + static_cast<long long>(amount), -1LL, 256LL)));
        auto change = [&](RgbQuad c) {
            colour::Hsl hsl = colour::RgbToHslQuick(c);
            hsl.s = t[hsl.s];
            return colour::HslToRgb(hsl);
        };
        if (header_.bitCount == 24)
            ForEachPixel24(*this, [&](std::uint8_t* p) { Store(p, change(Load(p))); });
        else
            MapPixelColours(*this, change);
        return true;
    }
    if (colourSpace == 2) {
        const Table t = ContrastTable(amount, 128.5L);
        auto change = [&](RgbQuad c) {
            colour::Yuv yuv = colour::RgbToYuv(c);
            yuv.u = t[yuv.u];
            yuv.v = t[yuv.v];
            return colour::YuvToRgb(yuv);
        };
        if (header_.bitCount == 24)
            ForEachPixel24(*this, [&](std::uint8_t* p) { Store(p, change(Load(p))); });
        else
            MapPixelColours(*this, change);
        return true;
    }
    SetLastError("Saturate: wrong colorspace");
    return false;
}

bool CxImage::StretchLevels(int method, double threshold) {
    if (!IsValid()) return false;
    if (method < 0 || method > 2) return false;
    const int w = header_.width, h = header_.height;
    if (IsGrayScale()) {
        double hist[256] = {};
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* row = RowBits(y);
            for (int x = 0; x < w; ++x) hist[row[x]] += 1;
        }
        Table t{};
        if (!PlanStretch(hist, threshold, t.data())) return true;
        for (int y = 0; y < h; ++y) {
            std::uint8_t* row = RowBits(y);
            for (int x = 0; x < w; ++x) row[x] = t[row[x]];
        }
        return true;
    }
    const bool direct = header_.bitCount == 24;
    auto forEachColour = [&](auto fn) {
        if (direct)
            ForEachPixel24(*this, [&](std::uint8_t* p) { fn(Load(p)); });
        else
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) fn(GetPixelColor(x, y));
    };
    auto mapColours = [&](auto fn) {
        if (direct)
            ForEachPixel24(*this, [&](std::uint8_t* p) { Store(p, fn(Load(p))); });
        else
            MapPixelColours(*this, fn);
    };

    if (method == 2) {  // independent channels
        double hist[3][256] = {};
        forEachColour([&](RgbQuad c) {
            hist[0][c.blue] += 1;
            hist[1][c.green] += 1;
            hist[2][c.red] += 1;
        });
        Table t[3];
        for (int ch = 0; ch < 3; ++ch) {
            if (!PlanStretch(hist[ch], threshold, t[ch].data()))
                for (int i = 0; i < 256; ++i) t[ch][i] = static_cast<std::uint8_t>(i);
        }
        mapColours([&](RgbQuad c) { return RgbQuad{t[0][c.blue], t[1][c.green], t[2][c.red], 0}; });
        return true;
    }
    double hist[256] = {};
    if (method == 1 && direct) {
        SplitHistogram counts;
        for (int y = 0; y < h; ++y) {
            const std::uint8_t* p = RowBits(y);
            const std::size_t n = 3 * static_cast<std::size_t>(w);
            std::size_t i = 0;
            for (; i + 2 <= n; i += 2) {
                ++counts.a[p[i]];
                ++counts.b[p[i + 1]];
            }
            if (i < n) ++counts.a[p[i]];
        }
        for (int i = 0; i < 256; ++i) hist[i] = counts[i];
    } else if (method == 1) {
        forEachColour([&](RgbQuad c) {
            hist[c.red] += 1;
            hist[c.green] += 1;
            hist[c.blue] += 1;
        });
    } else {
        forEachColour([&](RgbQuad c) { hist[GreyLevel(c)] += 1; });
    }
    Table t{};
    if (!PlanStretch(hist, threshold, t.data())) return true;
    if (method == 1) {
        if (direct) {
            for (int y = 0; y < h; ++y) MapBytes(RowBits(y), 3 * static_cast<std::size_t>(w), t);
        } else {
            MapPixelColours(*this, [&](RgbQuad c) {
                return RgbQuad{t[c.blue], t[c.green], t[c.red], 0};
            });
        }
    } else if (direct) {
        for (int y = 0; y < h; ++y) MapRowThroughY(RowBits(y), w, t);
    } else {
        mapColours([&](RgbQuad c) { return ThroughYTable(c, t); });
    }
    return true;
}

bool CxImage::EqualizeLevels() {
    if (!IsValid()) return false;
    const int w = header_.width, h = header_.height;
    long long count[256] = {};
    if (header_.bitCount == 24) {
        ForEachPixel24(*this, [&](std::uint8_t* p) { ++count[GreyLevel(Load(p))]; });
    } else {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ++count[GreyLevel(GetPixelColor(x, y))];
    }
    long long cum[256];
    long long sum = 0;
    for (int i = 0; i < 256; ++i) cum[i] = sum += count[i];
    if (cum[0] == cum[255]) return false;
    Table t{};
    for (int i = 0; i < 256; ++i)
        t[i] = ClampByte(static_cast<int>(static_cast<double>(cum[i] - cum[0]) * 255.0 /
                                          static_cast<double>(cum[255] - cum[0])));
    if (header_.bitCount == 24) {
        for (int y = 0; y < h; ++y) MapRowThroughY(RowBits(y), w, t);
        return true;
    }
    // A greyscale picture stays an identity-ramp greyscale picture (with its indices
    // remapped), so it can still be written as a greyscale JPEG.
    const bool wasGrey = IsGrayScale();
    MapPalette(*this, [&](RgbQuad c) { return ThroughYTable(c, t); });
    if (wasGrey) RenormaliseGrey(*this);
    return true;
}

long CxImage::CountLevels(long* red, long* green, long* blue, long* grey, int colourSpace) const {
    if (!IsValid()) return 0;
    for (long* a : {red, green, blue, grey})
        if (a) std::fill(a, a + 256, 0L);
    if (colourSpace != 0) return 0;
    // Counted in local tables (the caller's arrays may alias each other), then copied out.
    std::array<long, 256> r{}, g{}, b{}, k{};
    if (header_.bitCount == 24) {
        rowkernels::LevelCounts counts;
        for (int y = 0; y < header_.height; ++y) counts.AddRow(RowBits(y), header_.width);
        using C = rowkernels::LevelCounts;
        for (int i = 0; i < 256; ++i) {
            r[i] = static_cast<long>(counts.Count(C::Red, i));
            g[i] = static_cast<long>(counts.Count(C::Green, i));
            b[i] = static_cast<long>(counts.Count(C::Blue, i));
            k[i] = static_cast<long>(counts.Count(C::Grey, i));
        }
    } else {
        for (int y = 0; y < header_.height; ++y) {
            for (int x = 0; x < header_.width; ++x) {
                const RgbQuad c = GetPixelColor(x, y);
                ++b[c.blue];
                ++g[c.green];
                ++r[c.red];
                ++k[GreyLevel(c)];
            }
        }
    }
    if (red) std::copy(r.begin(), r.end(), red);
    if (green) std::copy(g.begin(), g.end(), green);
    if (blue) std::copy(b.begin(), b.end(), blue);
    if (grey) std::copy(k.begin(), k.end(), grey);
    long largest = 0;
    for (long* a : {red, green, blue, grey})
        if (a) largest = std::max(largest, *std::max_element(a, a + 256));
    return largest;
}

}  // namespace qelvo
