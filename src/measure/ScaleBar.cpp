#include "measure/ScaleBar.h"

#include <cmath>

#include "measure/Length.h"

namespace qelvo::measure {

ScaleBar chooseScaleBar(double widthPixels, double micrometresPerPixel, bool ascii) {
    ScaleBar bar;
    if (!(widthPixels > 0.0) || !std::isfinite(widthPixels)) return bar;
    const bool calibrated = micrometresPerPixel > 0.0 && std::isfinite(micrometresPerPixel);
    const double perPixel = calibrated ? micrometresPerPixel : 1.0;
    const double width = widthPixels * perPixel;  // the picture's width in bar units
    // The 1-2-5 steps around 15% of the width; consecutive steps are at most 2.5 apart, so
    // one always lies within 10-25%.
    const int decade = static_cast<int>(std::floor(std::log10(0.15 * width)));
    double best = 0.0;
    double bestDistance = INFINITY;
    for (int d = decade - 1; d <= decade + 1; ++d) {
        for (double mantissa : {1.0, 2.0, 5.0}) {
            const double length = mantissa * std::pow(10.0, d);
            if (!calibrated && length < 1.0) continue;  // no bar shorter than a pixel
            const double share = length / width;
            // Candidates inside 10-25% win over any outside it.
            const bool inside = share >= 0.1 - 1e-9 && share <= 0.25 + 1e-9;
            const double distance = std::fabs(share - 0.15) + (inside ? 0.0 : 1.0);
            if (distance < bestDistance - 1e-9) {  // a tie goes to the shorter bar
                bestDistance = distance;
                best = length;
            }
        }
    }
    if (best <= 0.0) return bar;
    bar.length = best;
    bar.lengthPixels = best / perPixel;
    bar.label = calibrated ? formatLength(best, 4, ascii)
                           : std::to_string(static_cast<long long>(std::llround(best))) + " px";
    return bar;
}

}  // namespace qelvo::measure
