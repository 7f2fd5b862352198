#include "imaging/LevelStretch.h"

#include <algorithm>

#include "imaging/ColorSpace.h"

namespace qelvo {

bool PlanStretch(const double* histogram, double threshold, std::uint8_t* table) {
    double hmax = 0;
    for (int i = 0; i < 255; ++i) hmax = std::max(hmax, histogram[i]);
    const double limit = threshold * hmax;
    int lo = 0;
    while (lo < 255 && histogram[lo] <= limit) ++lo;
    int hi = 255;
    while (hi > 0 && histogram[hi] <= limit) --hi;
    if ((lo == 0 && hi == 255) || lo >= hi) return false;
    for (int x = 0; x < 256; ++x) table[x] = colour::ClampByte((255 * x - 255 * lo) / (hi - lo));
    return true;
}

bool ApplyStretchTable(CxImage& picture, int method, const std::uint8_t* table) {
    if (!picture.IsValid()) return false;
    const int w = picture.Width(), h = picture.Height();
    if (picture.IsGrayScale()) {
        for (int y = 0; y < h; ++y) {
            std::uint8_t* row = picture.RowBits(y);
            for (int x = 0; x < w; ++x) row[x] = table[row[x]];
        }
        return true;
    }
    if (picture.BitsPerPixel() != 24 || (method != 0 && method != 1)) return false;
    for (int y = 0; y < h; ++y) {
        std::uint8_t* p = picture.RowBits(y);
        if (method == 1) {
            for (int i = 0; i < 3 * w; ++i) p[i] = table[p[i]];
            continue;
        }
        for (int x = 0; x < w; ++x, p += 3) {
            colour::Yuv yuv = colour::RgbToYuv(RgbQuad{p[0], p[1], p[2], 0});
            yuv.y = table[yuv.y];
            const RgbQuad c = colour::YuvToRgb(yuv);
            p[0] = c.blue;
            p[1] = c.green;
            p[2] = c.red;
        }
    }
    return true;
}

}  // namespace qelvo
