#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/CxImage.h"

namespace qelvo::test {

// A picture of random bytes (palette pictures get a random palette unless `greyPalette`).
CxImage RandomPicture(int width, int height, int bits, std::uint32_t seed,
                      bool greyPalette = false);
// A smooth, photo-like 24-bit picture (gradients, shapes and a little noise).
CxImage PhotoPicture(int width, int height, std::uint32_t seed);

std::vector<std::uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// JPEG files made with libjpeg directly, independent of the code under test.
struct JpegRecipe {
    int width = 64;
    int height = 48;
    int components = 3;  // 1 grey, 3 colour, 4 CMYK
    int quality = 90;
    bool progressive = false;
    int restartRows = 0;
    bool jfif = true;
    int densityUnit = 1;
    int xDensity = 72;
    int yDensity = 72;
    std::vector<std::uint8_t> exif;  // APP1 payload including "Exif\0\0"
    std::uint32_t seed = 1;
};
std::vector<std::uint8_t> MakeJpeg(const JpegRecipe& params);

// The picture written with libjpeg directly, with the settings the program's encoder uses:
// top row first as RGB (or one grey component), libjpeg defaults, the quality, 2x2 sampling
// of the first component, JFIF density unit 1 with the picture's resolution.
std::vector<std::uint8_t> EncodeWithLibjpeg(const CxImage& picture, int quality);

struct DecodedJpeg {
    int width = 0;
    int height = 0;
    int components = 0;
    bool jfif = false;
    int densityUnit = -1;
    int xDensity = 0;
    int yDensity = 0;
    int maxHSamp = 0;
    std::vector<std::uint8_t> pixels;  // top-down, components per pixel, no padding
};
DecodedJpeg DecodeJpeg(const std::vector<std::uint8_t>& file);

// An "Exif\0\0" APP1 payload with XResolution, YResolution and (unless unit < 0)
// ResolutionUnit in IFD0.
std::vector<std::uint8_t> ExifPayload(std::uint32_t xNum, std::uint32_t xDen, std::uint32_t yNum,
                                      std::uint32_t yDen, int unit, bool bigEndian);

}  // namespace qelvo::test
