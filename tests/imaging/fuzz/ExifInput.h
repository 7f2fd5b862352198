#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qelvo::fuzz {

// An "Exif\0\0" APP1 payload as cameras write it: IFD0 with Make, Orientation and the Exif
// IFD pointer; the Exif IFD with DateTimeOriginal and the pixel dimensions.  A negative
// orientation or a zero dimension leaves that tag out.
struct ExifRecipe {
    bool bigEndian = false;
    int orientation = 6;
    std::uint32_t pixelWidth = 640;
    std::uint32_t pixelHeight = 480;
    bool longDimensions = false;  // LONG rather than SHORT dimension tags
};
std::vector<std::uint8_t> exifBlock(const ExifRecipe& recipe);

// Reads and resets the layout of `input` taken as an EXIF block, then as the EXIF block of
// a JPEG file, and walks `input` taken as a whole JPEG file.  Returns "" when all is sound:
// a block is edited only when it reads, then reads back with Orientation 1 and the new
// size and differs only in those tags; a refused block is unchanged; the segment found in
// a file lies inside it and the quality estimate is in range.
std::string checkExifInput(std::string_view input);

// Writes EXIF blocks and JPEG files holding them into `folder`; returns how many.
int writeExifSeeds(const std::string& folder);

}  // namespace qelvo::fuzz
