#pragma once

#include <cstdio>

namespace qelvo {

class CxImage;

// WAP wireless bitmap, type 0 (one bit per pixel, 1 = white).
bool WbmpDecode(std::FILE* stream, CxImage& image);
bool WbmpEncode(std::FILE* stream, CxImage& image);

}  // namespace qelvo
