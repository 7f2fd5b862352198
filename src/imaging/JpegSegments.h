#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace qelvo {

// The marker segments of a JPEG file before its first scan, read from the bytes alone:
// every length is checked against the data, so a damaged or hostile file ends the walk
// early and never leads a read outside it.
struct JpegSegment {
    std::uint8_t marker = 0;  // the byte after 0xFF, e.g. 0xE1 for APP1
    std::size_t start = 0;    // offset of the 0xFF that opens the segment
    std::size_t payload = 0;  // offset of the bytes after the length field
    std::size_t payloadSize = 0;
};

// Calls `visit` for each whole segment after the start-of-image marker up to and including
// the first start-of-scan; `visit` returns false to stop. False when the data is not a JPEG
// or a segment runs past the end.
bool WalkJpegSegments(const std::vector<std::uint8_t>& jpeg,
                      const std::function<bool(const JpegSegment&)>& visit);

// The first APP1 segment whose payload starts "Exif\0\0"; false when there is none.
bool FindExifSegment(const std::vector<std::uint8_t>& jpeg, JpegSegment& segment);

// Inserts an APP1 segment holding `payload` after the start-of-image marker and a JFIF
// APP0 segment right behind it, which must stay first.  False (nothing changed) when the
// data is not a JPEG or the payload does not fit a segment.
bool InsertApp1Segment(std::vector<std::uint8_t>& jpeg, const std::vector<std::uint8_t>& payload);

}  // namespace qelvo
