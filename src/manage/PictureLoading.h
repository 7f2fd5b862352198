#pragma once

#include "picturefiles/PictureFile.h"

#include <cstdint>
#include <string>
#include <vector>

class CxImage;

namespace qelvo {

// Whether the strip lists a file of that name: JPEG (.jpg, .jpeg), PNG (.png) and TIFF
// (.tif, .tiff) pictures, any letter case.
bool isListedPictureName(const std::string& name);
// Whether the file's bytes are a JPEG (the format the picture tools change in place).
bool isJpegBytes(const std::vector<std::uint8_t>& bytes);

// A picture of any of those formats as 8-bit B,G,R in `out` (16-bit samples reduced to 8,
// grey spread to three channels).  JPEG goes through the picture type's own decoder; PNG and
// TIFF through the picture files' readers, which refuse damaged or cut-short files.  False
// with `error` set when the file cannot be read.
bool loadPictureBytes(const std::vector<std::uint8_t>& bytes, CxImage& out, std::string* error);
bool loadPicture(const std::string& path, CxImage& out, std::string* error);
// Picture data (any depth) as an 8-bit B,G,R picture.
bool pictureDataToImage(const PictureData& data, CxImage& out);

}  // namespace qelvo
