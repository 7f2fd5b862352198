#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qelvo {

// Pixels to draw into: 1 (grey) or 3 samples per pixel, 8 or 16 bits a sample (16-bit ones
// in the machine's byte order), rows `stride` bytes apart from the top row.
struct DrawTarget {
    std::uint8_t* top = nullptr;
    int width = 0;
    int height = 0;
    int channels = 3;
    std::ptrdiff_t stride = 0;
    int bitsPerSample = 8;
};

// Burns a scale bar into the bottom-right corner: a bar `lengthPixels` long with `label`
// ("50 µm", "1 mm", "100 px") centred above it, both sized to the picture.  The colour
// follows the picture: white with a dark edge over a dark corner, black with a light edge
// over a bright one, so the bar stays legible on any specimen.  The label is drawn with a
// small built-in font (digits, '.', ' ', and the letters of the length units); other
// characters are left as gaps.  False, and nothing drawn, when the bar does not fit.
bool DrawScaleBar(const DrawTarget& target, double lengthPixels, const std::string& label);

}  // namespace qelvo
