#pragma once

#include "media/MediaResult.h"

#include <cstdint>
#include <string>

namespace qelvo {

struct MediaFileInfo {
    double durationSeconds = 0;
    std::uint64_t videoFrames = 0;  // frames in the video stream, counted by demultiplexing
    int width = 0;
    int height = 0;
    std::string videoCodec;  // e.g. "video/mpeg" or "video/x-raw"
};

// Reads an AVI movie through to its end: length, frame count and picture size.  Fails when
// the file cannot be parsed or has no video stream.
MediaResult inspectMediaFile(const std::string& path, MediaFileInfo& info);

}  // namespace qelvo
