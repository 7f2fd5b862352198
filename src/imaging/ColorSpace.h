#pragma once

#include <cstdint>

#include "imaging/CxImage.h"

// Colour-space conversions of the picture operations, on bytes 0-255. The constants are
// single-precision values and the arithmetic is done in float, so that every operation
// (and every table built from these functions) gives the same bytes.
namespace qelvo::colour {

struct Hsl {
    std::uint8_t h = 0;
    std::uint8_t s = 0;
    std::uint8_t l = 0;
};

struct Yuv {
    std::uint8_t y = 0;
    std::uint8_t u = 0;
    std::uint8_t v = 0;
};

inline int GreyLevel(RgbQuad c) {
    return (c.blue * 117 + c.green * 601 + c.red * 306) >> 10;
}

inline std::uint8_t ClampByte(int v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// Lightness only, as RgbToHsl computes it.
inline std::uint8_t Lightness(int maxChannel, int minChannel) {
    return static_cast<std::uint8_t>(((maxChannel + minChannel) * 255 + 255) / 510);
}

inline Hsl RgbToHsl(RgbQuad c) {
    const int r = c.red, g = c.green, b = c.blue;
    const int mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const int mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
    Hsl out;
    const int l = ((mx + mn) * 255 + 255) / 510;
    out.l = static_cast<std::uint8_t>(l);
    if (mx == mn) {
        out.s = 0;
        out.h = 170;
        return out;
    }
    const int sum = mx + mn;
    const int s = l <= 127 ? ((mx - mn) * 255 + sum / 2) / sum
                           : ((mx - mn) * 255 + (510 - sum) / 2) / (510 - sum);
    const int d = mx - mn;
    const int rd = ((mx - r) * 42 + d / 2) / d;
    const int gd = ((mx - g) * 42 + d / 2) / d;
    const int bd = ((mx - b) * 42 + d / 2) / d;
    int h;
    if (r == mx)
        h = bd - gd;
    else if (g == mx)
        h = 85 + rd - bd;
    else
        h = 170 + gd - rd;
    out.s = static_cast<std::uint8_t>(s);
    out.h = static_cast<std::uint8_t>(h & 0xFF);
    return out;
}

namespace detail {
// Exact integer division by multiplication, for numerators below 2^20 and divisors 1..510:
// with m = floor(2^40 / d) + 1 the error stays below one unit of the quotient.
struct Reciprocals {
    std::uint64_t m[511];
    constexpr Reciprocals() : m{} {
        for (int d = 1; d < 511; ++d) m[d] = (std::uint64_t{1} << 40) / d + 1;
    }
};
inline constexpr Reciprocals kReciprocals{};
inline int Divide(int n, int d) {
    return static_cast<int>((static_cast<std::uint64_t>(n) * kReciprocals.m[d]) >> 40);
}

inline float HueValue(float m1, float m2, float x) {
    if (x > 360.0f)
        x -= 360.0f;
    else if (x < 0.0f)
        x += 360.0f;
    if (x < 60.0f) return m1 + (m2 - m1) * x * 0.016666668f;
    if (x < 180.0f) return m2;
    if (x < 240.0f) return m1 + (m2 - m1) * (240.0f - x) * 0.016666668f;
    return m1;
}

inline std::uint8_t ToByte(float v) {
    const int i = static_cast<int>(v * 255.0f);
    return ClampByte(i);
}
}  // namespace detail

// RgbToHsl without hardware divisions (same results for every colour).
inline Hsl RgbToHslQuick(RgbQuad c) {
    const int r = c.red, g = c.green, b = c.blue;
    const int mx = r > g ? (r > b ? r : b) : (g > b ? g : b);
    const int mn = r < g ? (r < b ? r : b) : (g < b ? g : b);
    Hsl out;
    const int sum = mx + mn;
    const int l = detail::Divide(sum * 255 + 255, 510);
    out.l = static_cast<std::uint8_t>(l);
    if (mx == mn) {
        out.s = 0;
        out.h = 170;
        return out;
    }
    const int d = mx - mn;
    const int s = l <= 127 ? detail::Divide(d * 255 + sum / 2, sum)
                           : detail::Divide(d * 255 + (510 - sum) / 2, 510 - sum);
    auto part = [&](int v) { return detail::Divide((mx - v) * 42 + d / 2, d); };
    int h;
    if (r == mx)
        h = part(b) - part(g);
    else if (g == mx)
        h = 85 + part(r) - part(b);
    else
        h = 170 + part(g) - part(r);
    out.s = static_cast<std::uint8_t>(s);
    out.h = static_cast<std::uint8_t>(h & 0xFF);
    return out;
}

inline RgbQuad HslToRgb(Hsl c) {
    const float h = static_cast<float>(c.h) * 1.4117647f;
    const float s = static_cast<float>(c.s) * 0.003921569f;
    const float l = static_cast<float>(c.l) * 0.003921569f;
    RgbQuad out;
    if (s == 0.0f) {
        out.red = out.green = out.blue = detail::ToByte(l);
        return out;
    }
    const float m2 = l <= 0.5f ? l * (1.0f + s) : l + s - l * s;
    const float m1 = 2.0f * l - m2;
    out.red = detail::ToByte(detail::HueValue(m1, m2, h + 120.0f));
    out.green = detail::ToByte(detail::HueValue(m1, m2, h));
    out.blue = detail::ToByte(detail::HueValue(m1, m2, h - 120.0f));
    return out;
}

inline Yuv RgbToYuv(RgbQuad c) {
    const int y = static_cast<int>(0.299f * c.red + 0.587f * c.green + 0.114f * c.blue);
    const int u = static_cast<int>(static_cast<float>(c.blue - y) * 0.565f + 128.0f);
    const int v = static_cast<int>(static_cast<float>(c.red - y) * 0.713f + 128.0f);
    return Yuv{ClampByte(y), ClampByte(u), ClampByte(v)};
}

inline RgbQuad YuvToRgb(Yuv c) {
    const float y = c.y;
    const float u = static_cast<float>(c.u - 128);
    const float v = static_cast<float>(c.v - 128);
    RgbQuad out;
    out.red = ClampByte(static_cast<int>(y + 1.403f * v));
    out.green = ClampByte(static_cast<int>(y - 0.344f * u - 0.714f * v));
    out.blue = ClampByte(static_cast<int>(y + 1.77f * u));
    return out;
}

}  // namespace qelvo::colour
