#pragma once

#include <cstdint>
#include <vector>

namespace qelvo {

// The quality a JPEG file was most likely saved at, 1 to 100: the quality whose IJG-scaled
// standard luminance table comes nearest to the file's first quantisation table (exact for
// files written with libjpeg's quality setting, the nearest fit for others).  0 when the
// file has no such table before its first scan.
int EstimateJpegQuality(const std::vector<std::uint8_t>& jpeg);

}  // namespace qelvo
