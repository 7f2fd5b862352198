#pragma once

#include "imaging/CxImage.h"
#include "support/TempFolder.h"
#include "support/TestFrames.h"

#include <gtest/gtest.h>

#include <QColor>

#include <cstdint>
#include <string>
#include <vector>

namespace qelvo::test {

// Writes a JPEG picture of one colour at `path`.
inline bool writeJpeg(const std::string& path, int width, int height, QColor colour) {
    CxImage image;
    if (!image.Create(width, height, 24, FormatJpeg)) return false;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetPixelRgb(x, y,
                              RgbQuad{std::uint8_t(colour.blue()), std::uint8_t(colour.green()),
                                      std::uint8_t(colour.red()), 0});
    image.SetQuality(80);
    return image.SaveFile(path.c_str(), FormatJpeg);
}

}  // namespace qelvo::test
