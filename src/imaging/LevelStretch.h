#pragma once

#include <cstdint>

#include "imaging/CxImage.h"

namespace qelvo {

// The level table of the histogram stretch, split from its application so that a table
// computed from a whole picture's histogram can be applied to a smaller copy of it.

// From a 256-bin histogram and a threshold (a fraction of the highest bar among bins
// 0-254): lo and hi are the outermost bins above the threshold and `table` spreads lo..hi
// over 0..255. False when the stretch leaves the picture unchanged (lo = 0 and hi = 255, or
// lo >= hi); the table is then not filled.
bool PlanStretch(const double* histogram, double threshold, std::uint8_t* table);

// Applies a stretch table the way StretchLevels does: a greyscale picture maps its
// indices, method 1 maps the red, green and blue bytes, method 0 maps the Y of each pixel's
// YUV form. Only 24-bit and greyscale pictures; false (nothing changed) for others.
bool ApplyStretchTable(CxImage& picture, int method, const std::uint8_t* table);

}  // namespace qelvo
