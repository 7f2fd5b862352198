#pragma once

#include <string>
#include <string_view>

#include "picturefiles/PictureFile.h"

namespace qelvo::fuzz {

// Reads `input` as a picture file of `format` (the reader goes by the bytes; the format
// picks what a sound result is written back as).  Returns "" when all is sound: the header
// read agrees with the full read, the samples match the size, and what was read writes back
// and reads again the same (the very samples for PNG and TIFF), calibration included.
std::string checkPictureInput(PictureFormat format, std::string_view input);

// Writes picture files of `format` into `folder`: the program's own in every kind it writes,
// and files of other layouts made with the format's library; returns how many.
int writePictureSeeds(PictureFormat format, const std::string& folder);

}  // namespace qelvo::fuzz
