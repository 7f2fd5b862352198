#pragma once

#include "imaging/CxImage.h"
#include "support/TestFrames.h"

#include <QColor>
#include <QImage>

#include <cstdint>
#include <memory>
#include <vector>

namespace qelvo::test {

// Colour of picture pixel (x, y) counted from the top, as a viewer sees it.
inline QColor pixelFromTop(const CxImage& image, int x, int y) {
    const RgbQuad c = image.GetPixelColor(x, image.Height() - 1 - y);
    return QColor(c.red, c.green, c.blue);
}

}  // namespace qelvo::test
