#pragma once

#include <cstdint>
#include <string>

#include "imaging/CxImage.h"

namespace qelvo::bench {

// A camera-like picture with detail at every scale: textured surfaces of several colours
// (fractal noise), hard edges between them, fine lines and sensor grain. As a JPEG at
// quality 80 it takes about as many bytes per pixel as a sharp photograph, so decoding it
// costs what decoding a real snapshot costs.
CxImage DetailedPicture(int width, int height, std::uint32_t seed);

// Writes DetailedPicture as a JPEG at quality 80 to `path`; returns its size in bytes.
long WriteDetailedJpeg(const std::string& path, int width, int height, std::uint32_t seed);

}  // namespace qelvo::bench
