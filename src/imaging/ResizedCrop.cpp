#include "imaging/ResizedCrop.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

namespace qelvo {

bool ResizedCrop(const CxImage& source, int scaledWidth, int scaledHeight, int left, int top,
                 int right, int bottom, CxImage& out) {
    if (!source.IsValid() || scaledWidth <= 0 || scaledHeight <= 0) return false;
    const int w = source.Width(), h = source.Height();
    // CropTo's rules on the resized picture.
    int x0 = std::clamp(left, 0, scaledWidth), x1 = std::clamp(right, 0, scaledWidth);
    int ya = scaledHeight - std::clamp(top, 0, scaledHeight);
    int yb = scaledHeight - std::clamp(bottom, 0, scaledHeight);
    if (x0 == x1 || ya == yb) return false;
    if (x0 > x1) std::swap(x0, x1);
    if (ya > yb) std::swap(ya, yb);

    CxImage crop;
    if (!crop.Create(x1 - x0, yb - ya, source.BitsPerPixel(), source.Format())) {
        out.SetLastError(crop.LastError());
        return false;
    }
    for (int i = 0; i < source.ColorsUsed(); ++i) crop.SetPaletteColor(i, source.PaletteColor(i));
    crop.SetXDpi(source.XDpi());
    crop.SetYDpi(source.YDpi());

    // Resize's nearest mapping: an equal size maps every pixel to itself, otherwise
    // trunc(x * xs) with single-precision factors.
    const bool same = scaledWidth == w && scaledHeight == h;
    const float xs = static_cast<float>(w) / static_cast<float>(scaledWidth);
    const float ys = static_cast<float>(h) / static_cast<float>(scaledHeight);
    auto sourceColumn = [&](int x) {
        return same ? x : static_cast<int>(static_cast<float>(x) * xs);
    };
    auto sourceRow = [&](int y) { return same ? y : static_cast<int>(static_cast<float>(y) * ys); };

    if (source.BitsPerPixel() != 24) {
        for (int y = ya; y < yb; ++y) {
            const int sy = sourceRow(y);
            for (int x = x0; x < x1; ++x) {
                const int sx = sourceColumn(x);
                if (same)
                    crop.SetPixelIndex(x - x0, y - ya, source.GetPixelIndex(sx, sy));
                else
                    crop.SetPixelRgb(x - x0, y - ya, source.GetPixelColor(sx, sy));
            }
        }
        out = std::move(crop);
        return true;
    }

    // Byte offsets per output column; a column that float rounding puts outside the picture
    // takes the out-of-range colour, as a colour read would.
    const RgbQuad outside = source.GetPixelColor(-1, -1);
    const std::uint8_t fallback[3] = {outside.blue, outside.green, outside.red};
    std::vector<long> column(static_cast<std::size_t>(x1 - x0));
    for (int x = x0; x < x1; ++x) {
        const int sx = sourceColumn(x);
        column[x - x0] = sx >= 0 && sx < w ? 3L * sx : -1;
    }
    const std::size_t used = 3 * static_cast<std::size_t>(x1 - x0);
    int previous = -1;
    for (int y = ya; y < yb; ++y) {
        const int sy = sourceRow(y);
        std::uint8_t* d = crop.RowBits(y - ya);
        if (y > ya && sy == previous) {
            std::memcpy(d, crop.RowBits(y - ya - 1), used);
            continue;
        }
        previous = sy;
        const std::uint8_t* s = sy >= 0 && sy < h ? source.RowBits(sy) : nullptr;
        for (const long offset : column) {
            const std::uint8_t* p = s && offset >= 0 ? s + offset : fallback;
            d[0] = p[0];
            d[1] = p[1];
            d[2] = p[2];
            d += 3;
        }
    }
    out = std::move(crop);
    return true;
}

}  // namespace qelvo
