#pragma once
// The three formats behind PictureFile.h, each over bytes in memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "picturefiles/PictureFile.h"

namespace qelvo::detail {

// Each reader fills `info` from the headers and, when `picture` is given, decodes the
// samples too; false with `error` set for anything it cannot use whole.
bool readPng(const std::uint8_t* data, std::size_t size, PictureFileInfo& info,
             PictureData* picture, std::string& error);
bool readTiff(const std::uint8_t* data, std::size_t size, PictureFileInfo& info,
              PictureData* picture, std::string& error);
bool readJpeg(const std::uint8_t* data, std::size_t size, PictureFileInfo& info,
              PictureData* picture, std::string& error);

// `picture` is already checked to be consistent.
bool writePng(const PictureData& picture, std::vector<std::uint8_t>& out, std::string& error);
bool writeTiff(const PictureData& picture, std::vector<std::uint8_t>& out, std::string& error);
bool writeJpeg(const PictureData& picture, int quality, std::vector<std::uint8_t>& out,
               std::string& error);

// A pixel size read from a file, or 0 when it is not a usable one.
double plausiblePixelSize(double micrometresPerPixel);
// The objective name as stored: one line, no NUL, at most 200 bytes (cut at a whole UTF-8
// character).
std::string storableObjective(const std::string& name);

// Largest decoded picture the readers accept, in bytes of samples.
inline constexpr std::uint64_t kMaxPictureBytes = std::uint64_t{1} << 30;

}  // namespace qelvo::detail
