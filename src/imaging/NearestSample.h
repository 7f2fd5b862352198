#pragma once

#include "imaging/CxImage.h"

namespace qelvo {

// The picture resampled to width x height by taking, for every output pixel, the source
// pixel under its centre (no averaging). Column x of the output shows source column
// (2x + 1) * W / (2 * width), and rows likewise counted from the top, so the sample is what
// a nearest-sample stretch of the whole picture into a width x height rectangle shows.
//
// 24-bit and 8-bit pictures keep their depth (and palette), so any per-pixel operation
// gives the same bytes whether it runs before or after sampling; 1- and 4-bit pictures
// give 24-bit colours. False (output emptied) for an empty source or a size below 1.
bool SampleNearest(const CxImage& source, int width, int height, CxImage& out);

}  // namespace qelvo
