#pragma once

#include "imaging/CxImage.h"

namespace qelvo {

// The rectangle (left, top, right, bottom; top and bottom counted from the top edge) of the
// picture as `Resize` (scaledWidth, scaledHeight, mode 1) would make it, computed from the
// source directly: pixel for pixel what resizing the whole picture and then `CropTo` gives,
// with the same clamping and failures, but only the crop is ever allocated.  A zoomed view
// of a large picture therefore costs the size of the view, not of the zoomed picture.
bool ResizedCrop(const CxImage& source, int scaledWidth, int scaledHeight, int left, int top,
                 int right, int bottom, CxImage& out);

}  // namespace qelvo
