// Turning, flipping, mirroring, resizing and cropping.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "imaging/CxImage.h"
#include "imaging/RowKernels.h"

namespace qelvo {

namespace {

// A new picture of the given size with the bits, palette and attributes of `src`.
bool CreateLike(const CxImage& src, int width, int height, CxImage& out) {
    if (!out.Create(width, height, src.BitsPerPixel(), src.Format())) return false;
    for (int i = 0; i < src.ColorsUsed(); ++i) out.SetPaletteColor(i, src.PaletteColor(i));
    return true;
}

inline void Copy3(std::uint8_t* d, const std::uint8_t* s) {
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
}

// Copies a pixel as 4 bytes: the byte after it must be one that is written later (the next
// pixel of a row filled left to right). Reading the extra byte is safe within a block.
inline void Copy4(std::uint8_t* d, const std::uint8_t* s) {
    std::uint32_t v;
    std::memcpy(&v, s, 4);
    std::memcpy(d, &v, 4);
}

}  // namespace

// Puts a finished result into the destination, or into this picture.
bool CxImage::HandOver(CxImage& result, CxImage* destination) {
    CxImage& target = destination ? *destination : *this;
    target.AdoptBlockFrom(result);
    target.CopyAttributesFrom(*this);
    target.header_.xPelsPerMeter = header_.xPelsPerMeter;
    target.header_.yPelsPerMeter = header_.yPelsPerMeter;
    target.WriteHeaderToBlock();
    return true;
}

bool CxImage::RotateDegrees(float angle, CxImage* destination) {
    if (!IsValid() || !std::isfinite(angle)) return false;
    const double turn = std::fmod(static_cast<double>(angle), 360.0);
    if (turn != 0.0 && std::fmod(static_cast<double>(angle), 180.0) == 0.0)
        return RotateHalfTurn(destination);
    if (turn == 90.0 || turn == -270.0) return RotateQuarter(true, destination);
    if (turn == -90.0 || turn == 270.0) return RotateQuarter(false, destination);
    return RotateGeneral(angle, destination);
}

// Exact quarter turn: every source pixel lands in the h x w result. Clockwise (as
// displayed, rows bottom-up): output (m, n) = source (w - 1 - n, m); counter-clockwise:
// output (m, n) = source (n, h - 1 - m).
bool CxImage::RotateQuarter(bool clockwise, CxImage* destination) {
    const int w = header_.width, h = header_.height;
    CxImage out;
    out.CopyAttributesFrom(*this);
    if (!CreateLike(*this, h, w, out)) {
        SetLastError(out.LastError());
        return false;
    }
    auto source = [&](int m, int n) {
        return clockwise ? std::pair{w - 1 - n, m} : std::pair{n, h - 1 - m};
    };
    if (header_.bitCount == 24) {
        // Along an output row the source walks a column: one source row per output pixel.
        // Tiles keep both the rows read and the rows written in cache.
        constexpr int kTile = 64;
        const std::uint8_t* src = bits_;
        const std::ptrdiff_t stride = rowBytes_;
        for (int n0 = 0; n0 < w; n0 += kTile) {
            const int n1 = std::min(w, n0 + kTile);
            for (int m0 = 0; m0 < h; m0 += kTile) {
                const int m1 = std::min(h, m0 + kTile);
                // The last pixel of an output row is copied as 3 bytes; the others as 4,
                // their extra byte being overwritten by the next pixel (the next tile of the
                // same rows comes later).
                const int mLast = m1 == h ? m1 - 1 : m1;
                for (int n = n0; n < n1; ++n) {
                    std::uint8_t* d = out.RowBits(n) + 3 * m0;
                    const auto [sx, sy] = source(m0, n);
                    const std::uint8_t* s = src + stride * sy + 3 * sx;
                    const std::ptrdiff_t step = clockwise ? stride : -stride;
                    int m = m0;
                    for (; m < mLast; ++m, d += 3, s += step) Copy4(d, s);
                    if (m < m1) Copy3(d, s);
                }
            }
        }
    } else {
        for (int n = 0; n < w; ++n) {
            for (int m = 0; m < h; ++m) {
                const auto [sx, sy] = source(m, n);
                out.SetPixelIndex(m, n, GetPixelIndex(sx, sy));
            }
        }
    }
    return HandOver(out, destination);
}

bool CxImage::RotateGeneral(float angle, CxImage* destination) {
    const double a = std::acos(0.0) * -static_cast<double>(angle) * 0.011111111111111112;
    const double c = std::cos(a), s = std::sin(a);
    const int w = header_.width, h = header_.height;
    const float cx[4] = {0.0f, static_cast<float>(w), 0.0f, static_cast<float>(w)};
    const float cy[4] = {0.0f, 0.0f, static_cast<float>(h), static_cast<float>(h)};
    float minX = 0, maxX = 0, minY = 0, maxY = 0;
    for (int i = 0; i < 4; ++i) {
        const auto x = static_cast<float>(cx[i] * c - cy[i] * s);
        const auto y = static_cast<float>(cx[i] * s + cy[i] * c);
        if (i == 0 || x < minX) minX = x;
        if (i == 0 || x > maxX) maxX = x;
        if (i == 0 || y < minY) minY = y;
        if (i == 0 || y > maxY) maxY = y;
    }
    const int newW = static_cast<int>(std::floor(maxX + 0.5 - minX));
    const int newH = static_cast<int>(std::floor(maxY + 0.5 - minY));
    CxImage out;
    out.CopyAttributesFrom(*this);
    if (!CreateLike(*this, newW, newH, out)) {
        SetLastError(out.LastError());
        return false;
    }
    const int x0 = static_cast<int>(minX), x1 = static_cast<int>(maxX);
    const int y0 = static_cast<int>(minY), y1 = static_cast<int>(maxY);
    const bool colour = header_.bitCount == 24;
    for (int y = y0; y <= y1; ++y) {
        const int n = y - y0;
        if (n >= newH) break;
        for (int x = x0; x <= x1; ++x) {
            const int m = x - x0;
            if (m >= newW) break;
            const int sx = static_cast<int>(x * c + y * s + 0.5);
            const int sy = static_cast<int>(y * c - x * s + 0.5);
            if (colour) {
                const RgbQuad q = GetPixelColor(sx, sy);
                std::uint8_t* d = out.RowBits(n) + 3 * m;
                d[0] = q.blue;
                d[1] = q.green;
                d[2] = q.red;
            } else {
                out.SetPixelIndex(m, n, GetPixelIndex(sx, sy));
            }
        }
    }
    return HandOver(out, destination);
}

bool CxImage::RotateHalfTurn(CxImage* destination) {
    if (!IsValid()) return false;
    const int w = header_.width, h = header_.height;
    CxImage out;
    out.CopyAttributesFrom(*this);
    if (!CreateLike(*this, w, h, out)) {
        SetLastError(out.LastError());
        return false;
    }
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* s = RowBits(y);
        std::uint8_t* d = out.RowBits(h - 1 - y);
        if (header_.bitCount == 24) {
            for (int x = 0; x < w; ++x) Copy3(d + 3 * (w - 1 - x), s + 3 * x);
        } else if (header_.bitCount == 8) {
            for (int x = 0; x < w; ++x) d[w - 1 - x] = s[x];
        } else {
            for (int x = 0; x < w; ++x)
                out.SetPixelIndex(w - 1 - x, h - 1 - y, GetPixelIndex(x, y));
        }
    }
    return HandOver(out, destination);
}

bool CxImage::FlipVertical() {
    if (!IsValid()) return false;
    std::vector<std::uint8_t> tmp(rowBytes_);
    const int h = header_.height;
    for (int i = 0; i < h / 2; ++i) {
        std::uint8_t* a = RowBits(i);
        std::uint8_t* b = RowBits(h - 1 - i);
        std::memcpy(tmp.data(), a, rowBytes_);
        std::memcpy(a, b, rowBytes_);
        std::memcpy(b, tmp.data(), rowBytes_);
    }
    return true;
}

bool CxImage::MirrorHorizontal() {
    if (!IsValid()) return false;
    const int w = header_.width, h = header_.height;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = RowBits(y);
        if (header_.bitCount == 24) {
            for (int x = 0; x < w / 2; ++x) {
                std::uint8_t* a = row + 3 * x;
                std::uint8_t* b = row + 3 * (w - 1 - x);
                std::swap(a[0], b[0]);
                std::swap(a[1], b[1]);
                std::swap(a[2], b[2]);
            }
        } else if (header_.bitCount == 8) {
            std::reverse(row, row + w);
        } else {
            for (int x = 0; x < w / 2; ++x) {
                const std::uint8_t a = GetPixelIndex(x, y);
                SetPixelIndex(x, y, GetPixelIndex(w - 1 - x, y));
                SetPixelIndex(w - 1 - x, y, a);
            }
        }
    }
    return true;
}

bool CxImage::Resize(int newWidth, int newHeight, int mode, CxImage* destination) {
    if (!IsValid() || newWidth <= 0 || newHeight <= 0) return false;
    if (newWidth == header_.width && newHeight == header_.height) {
        if (destination && destination != this) return destination->CopyFrom(*this);
        return true;
    }
    CxImage out;
    out.CopyAttributesFrom(*this);
    if (!CreateLike(*this, newWidth, newHeight, out)) {
        SetLastError(out.LastError());
        return false;
    }
    const bool ok = mode == 1 ? ResizeNearest(newWidth, newHeight, out)
                              : ResizeInterpolated(newWidth, newHeight, mode, out);
    if (!ok) return false;
    return HandOver(out, destination);
}

// Output (x, y) = input colour at (trunc(x * xs), trunc(y * ys)), single-precision factors.
bool CxImage::ResizeNearest(int newWidth, int newHeight, CxImage& out) const {
    const float xs = static_cast<float>(header_.width) / static_cast<float>(newWidth);
    const float ys = static_cast<float>(header_.height) / static_cast<float>(newHeight);
    if (header_.bitCount != 24) {
        for (int y = 0; y < newHeight; ++y) {
            const int sy = static_cast<int>(static_cast<float>(y) * ys);
            for (int x = 0; x < newWidth; ++x) {
                const int sx = static_cast<int>(static_cast<float>(x) * xs);
                out.SetPixelRgb(x, y, GetPixelColor(sx, sy));
            }
        }
        return true;
    }
    // Source offsets per column; -1 marks a column that falls outside (float rounding),
    // which takes the out-of-range colour like a colour read would.
    std::vector<long> column(static_cast<std::size_t>(newWidth));
    for (int x = 0; x < newWidth; ++x) {
        const int sx = static_cast<int>(static_cast<float>(x) * xs);
        column[x] = sx >= 0 && sx < header_.width ? 3L * sx : -1;
    }
    const RgbQuad outside = GetPixelColor(-1, -1);
    const std::uint8_t fallback[4] = {outside.blue, outside.green, outside.red, 0};
    const std::size_t used = 3 * static_cast<std::size_t>(newWidth);
    // Twice the width: every column maps to column x / 2 (checked, as float rounding decides),
    // so a row is its source row with each pixel written twice.
    bool doubling = newWidth == 2 * header_.width;
    for (int x = 0; doubling && x < newWidth; ++x) doubling = column[x] == 3L * (x / 2);
    int previous = -1;
    for (int y = 0; y < newHeight; ++y) {
        const int sy = static_cast<int>(static_cast<float>(y) * ys);
        std::uint8_t* d = out.RowBits(y);
        if (y > 0 && sy == previous) {  // enlarging: the same source row again
            std::memcpy(d, out.RowBits(y - 1), used);
            continue;
        }
        previous = sy;
        const std::uint8_t* s = RowBits(sy);
        if (s && doubling) {
            rowkernels::DoubleRow(s, header_.width, d);
            continue;
        }
        const long* col = column.data();
        for (int x = 0; x + 1 < newWidth; ++x, d += 3)
            Copy4(d, s && col[x] >= 0 ? s + col[x] : fallback);
        const int last = newWidth - 1;
        Copy3(d, s && col[last] >= 0 ? s + col[last] : fallback);
    }
    return true;
}

namespace {

// Keys' cubic convolution kernel (a = -0.5).
double Cubic(double t) {
    t = std::fabs(t);
    if (t <= 1.0) return (1.5 * t - 2.5) * t * t + 1.0;
    if (t < 2.0) return ((-0.5 * t + 2.5) * t - 4.0) * t + 2.0;
    return 0.0;
}

}  // namespace

// Bilinear (mode 0) and bicubic (mode 2, and any other mode) resampling over pixel
// centres, with edge pixels repeated.
bool CxImage::ResizeInterpolated(int newWidth, int newHeight, int mode, CxImage& out) const {
    const int w = header_.width, h = header_.height;
    const double xs = static_cast<double>(w) / newWidth;
    const double ys = static_cast<double>(h) / newHeight;
    const int radius = mode == 0 ? 1 : 2;
    auto weight = [&](double t) {
        return mode == 0 ? std::max(0.0, 1.0 - std::fabs(t)) : Cubic(t);
    };
    for (int y = 0; y < newHeight; ++y) {
        const double fy = (y + 0.5) * ys - 0.5;
        const int cy = static_cast<int>(std::floor(fy));
        for (int x = 0; x < newWidth; ++x) {
            const double fx = (x + 0.5) * xs - 0.5;
            const int cx = static_cast<int>(std::floor(fx));
            double acc[3] = {0, 0, 0};
            double total = 0;
            for (int j = cy - radius + 1; j <= cy + radius; ++j) {
                const double wy = weight(fy - j);
                if (wy == 0.0) continue;
                const int sy = std::clamp(j, 0, h - 1);
                for (int i = cx - radius + 1; i <= cx + radius; ++i) {
                    const double wgt = wy * weight(fx - i);
                    if (wgt == 0.0) continue;
                    const RgbQuad q = GetPixelColor(std::clamp(i, 0, w - 1), sy);
                    acc[0] += wgt * q.blue;
                    acc[1] += wgt * q.green;
                    acc[2] += wgt * q.red;
                    total += wgt;
                }
            }
            auto channel = [&](double v) {
                const double r = total != 0.0 ? v / total : 0.0;
                return static_cast<std::uint8_t>(std::clamp(std::lround(r), 0L, 255L));
            };
            out.SetPixelRgb(x, y, RgbQuad{channel(acc[0]), channel(acc[1]), channel(acc[2]), 0});
        }
    }
    return true;
}

bool CxImage::CropTo(int left, int top, int right, int bottom, CxImage* destination) {
    if (!IsValid()) return false;
    const int w = header_.width, h = header_.height;
    int x0 = std::clamp(left, 0, w), x1 = std::clamp(right, 0, w);
    int ya = h - std::clamp(top, 0, h), yb = h - std::clamp(bottom, 0, h);
    if (x0 == x1 || ya == yb) return false;
    if (x0 > x1) std::swap(x0, x1);
    if (ya > yb) std::swap(ya, yb);
    CxImage out;
    out.CopyAttributesFrom(*this);
    if (!CreateLike(*this, x1 - x0, yb - ya, out)) {
        SetLastError(out.LastError());
        return false;
    }
    const int bits = header_.bitCount;
    for (int y = ya; y < yb; ++y) {
        if (bits == 24 || bits == 8) {
            const std::size_t bpp = bits / 8;
            std::memcpy(out.RowBits(y - ya), RowBits(y) + bpp * x0, bpp * (x1 - x0));
        } else {
            for (int x = x0; x < x1; ++x) out.SetPixelIndex(x - x0, y - ya, GetPixelIndex(x, y));
        }
    }
    return HandOver(out, destination);
}

}  // namespace qelvo
