#pragma once

#include "capture/FrameRecord.h"
#include "imaging/CxImage.h"

#include <QColor>
#include <QImage>

#include <cstdint>
#include <memory>
#include <vector>

namespace qelvo::test {

// A frame of one colour, as a grabber hands it over (bottom-up B,G,R rows padded to 4).
inline std::shared_ptr<const FrameRecord> solidFrame(int width, int height, QColor colour) {
    const std::size_t stride = frameRowBytes(width);
    std::vector<std::uint8_t> pixels(stride * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = pixels.data() + stride * y + 3 * x;
            p[0] = std::uint8_t(colour.blue());
            p[1] = std::uint8_t(colour.green());
            p[2] = std::uint8_t(colour.red());
        }
    auto frame = std::make_shared<FrameRecord>();
    frame->assign(pixels.data(), pixels.size(), FrameHeader::forFrame(width, height), 0.0);
    return frame;
}

// Colour of picture pixel (x, y) counted from the top, as a viewer sees it.
inline QColor pixelFromTop(const CxImage& image, int x, int y) {
    const RgbQuad c = image.GetPixelColor(x, image.Height() - 1 - y);
    return QColor(c.red, c.green, c.blue);
}

inline bool near(QColor c, QColor expected, int tolerance = 40) {
    return std::abs(c.red() - expected.red()) <= tolerance &&
           std::abs(c.green() - expected.green()) <= tolerance &&
           std::abs(c.blue() - expected.blue()) <= tolerance;
}

}  // namespace qelvo::test
