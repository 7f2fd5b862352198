#include "imaging/NearestSample.h"

#include <cstring>
#include <vector>

namespace qelvo {

bool SampleNearest(const CxImage& source, int width, int height, CxImage& out) {
    out.Clear();
    if (!source.IsValid() || width < 1 || height < 1) return false;
    const int bits = source.BitsPerPixel();
    const int outBits = bits == 8 ? 8 : 24;
    if (!out.Create(width, height, outBits, FormatUnknown)) return false;
    if (outBits == 8)
        for (int i = 0; i < source.ColorsUsed(); ++i)
            out.SetPaletteColor(i, source.PaletteColor(i));

    const std::int64_t W = source.Width(), H = source.Height();
    std::vector<int> column(static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x)
        column[x] = static_cast<int>((2 * std::int64_t{x} + 1) * W / (2 * std::int64_t{width}));
    for (int y = 0; y < height; ++y) {
        // y counts from the bottom in both pictures; the centre rule counts from the top.
        const std::int64_t fromTop = height - 1 - y;
        const int sourceRow =
            static_cast<int>(H - 1 - (2 * fromTop + 1) * H / (2 * std::int64_t{height}));
        const std::uint8_t* src = source.RowBits(sourceRow);
        std::uint8_t* dst = out.RowBits(y);
        if (bits == 24) {
            for (int x = 0; x < width; ++x) std::memcpy(dst + 3 * x, src + 3 * column[x], 3);
        } else if (bits == 8) {
            for (int x = 0; x < width; ++x) dst[x] = src[column[x]];
        } else {
            for (int x = 0; x < width; ++x) {
                const RgbQuad c = source.GetPixelColor(column[x], sourceRow);
                dst[3 * x] = c.blue;
                dst[3 * x + 1] = c.green;
                dst[3 * x + 2] = c.red;
            }
        }
    }
    return true;
}

}  // namespace qelvo
