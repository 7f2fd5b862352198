#pragma once

#include <cstdint>
#include <vector>

namespace qelvo {

// A small decoded picture: top row first, three bytes per pixel (red, green, blue), rows
// packed without padding.
struct ThumbnailPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
};

// Decodes the JPEG file at `path` at the coarsest of libjpeg's scales 1/1, 1/2, 1/4 and
// 1/8 whose result still covers `minWidth` x `minHeight`, so a thumbnail never needs more
// than a nearest-sample reduction afterwards.  False for a file that is missing, empty,
// truncated before its first scan line, not a JPEG, or too large to hold.
bool decodeJpegThumbnail(const char* path, int minWidth, int minHeight, ThumbnailPixels& out);

}  // namespace qelvo
