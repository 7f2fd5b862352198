#pragma once
#include <string>

namespace qelvo::measure {

// The scale bar for a picture `widthPixels` wide: a length from the 1-2-5 steps whose bar
// covers 10-25% of the width (the step nearest 15% where several fit), labelled for people
// ("50 µm", "1 mm").  Uncalibrated (micrometresPerPixel <= 0) the bar is in pixels ("100 px").
struct ScaleBar {
    double lengthPixels = 0.0;
    double length = 0.0;  // in micrometres, or pixels when uncalibrated
    std::string label;
};
ScaleBar chooseScaleBar(double widthPixels, double micrometresPerPixel, bool ascii = false);

}  // namespace qelvo::measure
