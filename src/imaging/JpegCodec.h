#pragma once

#include <cstdio>

namespace qelvo {

class CxImage;

// JPEG decoding into `image` (which is re-created) from the current position of `stream`.
// On failure the image's last-error text holds the reason and false is returned.
bool JpegDecode(std::FILE* stream, CxImage& image);
// JPEG encoding of `image` at its quality and resolution into `stream`.
bool JpegEncode(std::FILE* stream, CxImage& image);

}  // namespace qelvo
