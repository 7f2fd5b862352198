#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace qelvo::measure {

// 8-bit grey samples, rows `stride` bytes apart.
struct GreyView {
    const std::uint8_t* data = nullptr;
    int width = 0;
    int height = 0;
    std::ptrdiff_t stride = 0;
};

// The regular ruling found in a picture of a stage micrometer or graticule.
struct Ruling {
    bool found = false;
    std::string reason;         // why none was found, for people ("no regular ruling found")
    double pitchPixels = 0.0;   // distance between neighbouring lines
    double angleDegrees = 0.0;  // direction of the lines' normal, 0 = lines run vertically
    double phasePixels = 0.0;   // offset of a line from the picture centre along the normal
    // Where the ruling lies in the picture (the part of the frame it covers).
    int left = 0, top = 0, right = 0, bottom = 0;
    bool crossGrid = false;  // a second family of lines at right angles was found too
    double strength = 0.0;   // 0..1, how clearly the pitch stands out
};

// Finds the line pitch of a ruling in any orientation, over part of the picture or all of
// it, blurred or noisy, dark lines on bright or bright on dark, single ruling or cross grid.
Ruling findRuling(const GreyView& picture);

}  // namespace qelvo::measure
