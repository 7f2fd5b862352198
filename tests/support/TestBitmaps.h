#pragma once

// Pictures made up for tests and benchmarks of the windows and capture: frames as a grabber
// hands them over, JPEG files of one colour, and colour checks that allow for JPEG's losses.
// Frames are 24-bit B,G,R pixels in rows stored bottom-up (the first row in memory is the
// picture's bottom row), each row padded to its stride.
#include "capture/FrameRecord.h"
#include "imaging/CxImage.h"

#include <QColor>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qelvo::test {

// What a pixel shows, by its column and its stored row (0 is the bottom row).
using FrameColours = std::function<QColor(int x, int row)>;

// The pixels of a width x height frame whose rows are `stride` bytes apart; the bytes after
// each row's pixels hold `padding`.  Rows are filled bottom row first, left to right.
inline std::vector<std::uint8_t> bottomUpPixels(int width, int height, std::size_t stride,
                                                const FrameColours& colourAt,
                                                std::uint8_t padding = 0) {
    std::vector<std::uint8_t> pixels(stride * height, padding);
    for (int row = 0; row < height; ++row)
        for (int x = 0; x < width; ++x) {
            const QColor colour = colourAt(x, row);
            std::uint8_t* p = pixels.data() + stride * row + 3 * x;
            p[0] = std::uint8_t(colour.blue());
            p[1] = std::uint8_t(colour.green());
            p[2] = std::uint8_t(colour.red());
        }
    return pixels;
}

// The same with rows padded to four bytes, as every frame is.
inline std::vector<std::uint8_t> bottomUpPixels(int width, int height,
                                                const FrameColours& colourAt) {
    return bottomUpPixels(width, height, frameRowBytes(width), colourAt);
}

// A frame record of those pixels, with the header a grabber gives a frame of that size.
inline std::shared_ptr<const FrameRecord> frameRecord(int width, int height,
                                                      const std::vector<std::uint8_t>& pixels) {
    auto frame = std::make_shared<FrameRecord>();
    frame->assign(pixels.data(), pixels.size(), FrameHeader::forFrame(width, height), 0.0);
    return frame;
}

// A frame of one colour.
inline std::shared_ptr<const FrameRecord> solidFrame(int width, int height, QColor colour) {
    return frameRecord(width, height,
                       bottomUpPixels(width, height, [colour](int, int) { return colour; }));
}

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

// Colour of picture pixel (x, y) counted from the top, as a viewer sees it.
inline QColor pixelFromTop(const CxImage& image, int x, int y) {
    const RgbQuad c = image.GetPixelColor(x, image.Height() - 1 - y);
    return QColor(c.red, c.green, c.blue);
}

// True when `c` is within `tolerance` of `expected` on every channel (JPEG is lossy).
inline bool near(QColor c, QColor expected, int tolerance = 40) {
    return std::abs(c.red() - expected.red()) <= tolerance &&
           std::abs(c.green() - expected.green()) <= tolerance &&
           std::abs(c.blue() - expected.blue()) <= tolerance;
}

}  // namespace qelvo::test
