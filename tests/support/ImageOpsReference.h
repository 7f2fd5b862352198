#pragma once

// Straightforward per-pixel implementations of the picture operations, written from their
// definitions with colour reads and writes only. The fast paths are held against these.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "imaging/ColorSpace.h"
#include "imaging/CxImage.h"

namespace qelvo::test {

inline void ExpectSamePixels(const CxImage& a, const CxImage& b, const char* what) {
    ASSERT_EQ(a.Width(), b.Width()) << what;
    ASSERT_EQ(a.Height(), b.Height()) << what;
    ASSERT_EQ(a.BitsPerPixel(), b.BitsPerPixel()) << what;
    for (int i = 0; i < a.ColorsUsed(); ++i)
        ASSERT_EQ(a.PaletteColor(i), b.PaletteColor(i)) << what << " palette " << i;
    for (int y = 0; y < a.Height(); ++y) {
        for (int x = 0; x < a.Width(); ++x) {
            if (a.BitsPerPixel() == 24)
                ASSERT_EQ(a.GetPixelColor(x, y), b.GetPixelColor(x, y))
                    << what << " " << x << "," << y;
            else
                ASSERT_EQ(a.GetPixelIndex(x, y), b.GetPixelIndex(x, y))
                    << what << " " << x << "," << y;
        }
    }
}

inline CxImage Copy(const CxImage& src) {
    CxImage c;
    c.CopyFrom(src);
    return c;
}

template <typename Fn>
void MapEveryPixel(CxImage& img, Fn fn) {
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) img.SetPixelRgb(x, y, fn(img.GetPixelColor(x, y)));
}

inline int RefLevel(int k, int contrast, int brightness) {
    const long double v =
        (long double)(k - 128) * (contrast + 100) * (long double)0.01f + brightness + 128 + 0.5;
    return std::clamp(static_cast<int>(std::trunc(v)), 0, 255);
}

inline void RefAdjustLevels24(CxImage& img, int brightness, int contrast) {
    MapEveryPixel(img, [&](RgbQuad c) {
        return RgbQuad{static_cast<std::uint8_t>(RefLevel(c.blue, contrast, brightness)),
                       static_cast<std::uint8_t>(RefLevel(c.green, contrast, brightness)),
                       static_cast<std::uint8_t>(RefLevel(c.red, contrast, brightness)), 0};
    });
}

inline void RefSetHueSaturation24(CxImage& img, int hue, int sat, float blend) {
    blend = std::clamp(blend, 0.0f, 1.0f);
    MapEveryPixel(img, [&](RgbQuad c) {
        if (blend > 0.999f) {
            const colour::Hsl own = colour::RgbToHsl(c);
            return colour::HslToRgb(
                colour::Hsl{static_cast<std::uint8_t>(hue), static_cast<std::uint8_t>(sat), own.l});
        }
        const RgbQuad t = colour::HslToRgb(
            colour::Hsl{static_cast<std::uint8_t>(hue), static_cast<std::uint8_t>(sat),
                        static_cast<std::uint8_t>(colour::GreyLevel(c))});
        const int u = static_cast<int>(blend * 256);
        auto mix = [&](int tv, int sv) {
            return static_cast<std::uint8_t>((u * tv + (256 - u) * sv) >> 8);
        };
        return RgbQuad{mix(t.blue, c.blue), mix(t.green, c.green), mix(t.red, c.red), 0};
    });
}

inline void RefSaturate(CxImage& img, int amount, int space) {
    MapEveryPixel(img, [&](RgbQuad c) {
        if (space == 1) {
            colour::Hsl h = colour::RgbToHsl(c);
            h.s = static_cast<std::uint8_t>(std::clamp(h.s + amount, 0, 255));
            return colour::HslToRgb(h);
        }
        colour::Yuv y = colour::RgbToYuv(c);
        y.u = static_cast<std::uint8_t>(RefLevel(y.u, amount, 0));
        y.v = static_cast<std::uint8_t>(RefLevel(y.v, amount, 0));
        return colour::YuvToRgb(y);
    });
}

// Histogram stretch for pictures without the identity grey palette, methods 0 and 1.
inline void RefStretchLevels(CxImage& img, int method, double threshold) {
    double hist[256] = {};
    for (int y = 0; y < img.Height(); ++y) {
        for (int x = 0; x < img.Width(); ++x) {
            const RgbQuad c = img.GetPixelColor(x, y);
            if (method == 1) {
                hist[c.red]++;
                hist[c.green]++;
                hist[c.blue]++;
            } else {
                hist[colour::GreyLevel(c)]++;
            }
        }
    }
    double hmax = 0;
    for (int i = 0; i <= 254; ++i) hmax = std::max(hmax, hist[i]);
    const double t = threshold * hmax;
    int lo = 0, hi = 255;
    while (lo < 255 && !(hist[lo] > t)) lo++;
    while (hi > 0 && !(hist[hi] > t)) hi--;
    if ((lo == 0 && hi == 255) || lo >= hi) return;
    auto map = [&](int v) {
        return static_cast<std::uint8_t>(std::clamp((255 * v - 255 * lo) / (hi - lo), 0, 255));
    };
    MapEveryPixel(img, [&](RgbQuad c) {
        if (method == 1) return RgbQuad{map(c.blue), map(c.green), map(c.red), 0};
        colour::Yuv y = colour::RgbToYuv(c);
        y.y = map(y.y);
        return colour::YuvToRgb(y);
    });
}

inline bool RefEqualize24(CxImage& img) {
    long long count[256] = {};
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x) count[colour::GreyLevel(img.GetPixelColor(x, y))]++;
    long long c[256];
    long long sum = 0;
    for (int i = 0; i < 256; ++i) c[i] = sum += count[i];
    if (c[0] == c[255]) return false;
    MapEveryPixel(img, [&](RgbQuad q) {
        colour::Yuv y = colour::RgbToYuv(q);
        y.y = static_cast<std::uint8_t>(std::trunc((c[y.y] - c[0]) * 255.0 / (c[255] - c[0])));
        return colour::YuvToRgb(y);
    });
    return true;
}

// Geometry: output pixel from a source coordinate function, with the out-of-range rule.
template <typename Fn>
CxImage RefRemap(const CxImage& src, int w, int h, Fn sourceOf) {
    CxImage out;
    out.Create(w, h, src.BitsPerPixel(), src.Format());
    for (int i = 0; i < src.ColorsUsed(); ++i) out.SetPaletteColor(i, src.PaletteColor(i));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const auto [sx, sy] = sourceOf(x, y);
            if (src.BitsPerPixel() == 24)
                out.SetPixelRgb(x, y, src.GetPixelColor(sx, sy));
            else
                out.SetPixelIndex(x, y, src.GetPixelIndex(sx, sy));
        }
    }
    return out;
}

}  // namespace qelvo::test
