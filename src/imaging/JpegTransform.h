#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qelvo {

// The four in-place geometry tools, as libjpeg-turbo names the same operations on
// compressed data.
enum class JpegTurn { QuarterClockwise, HalfTurn, FlipVertical, MirrorHorizontal };

enum class LosslessOutcome {
    Done,         // the file now holds the transformed compressed data
    NotPossible,  // not a JPEG, or the size leaves partial edge blocks: nothing written
    SaveFailed,   // the transform worked but the file could not be replaced
};

// Turns, flips or mirrors the JPEG file at `path` by rearranging its compressed blocks
// (libjpeg-turbo's transform with the perfect option), so no generation is lost and the
// file keeps its quality and markers.  Its EXIF block then says Orientation 1 and the new
// pixel size, so that viewers do not turn the picture again.  Sizes that would drop edge
// blocks, and pictures larger than the decoder accepts, are refused with NotPossible and
// the caller takes the decode / operate / encode path instead.  The file is rewritten as
// RewritePictureFile does; on SaveFailed `error` says why.
LosslessOutcome TransformJpegLosslessly(const std::string& path, JpegTurn turn, std::string& error);

// True when the JPEG data's first scan reaches an end-of-image marker: a file cut short
// decodes with grey fill, and must not be mistaken for the whole picture.
bool JpegDataComplete(const std::vector<std::uint8_t>& bytes);

// The reason every picture tool gives for data that JpegDataComplete refuses.
inline constexpr char kIncompleteJpegReason[] = "the file is not a complete JPEG picture";

// Reads a whole file; false (with errno set) when it cannot be read.  A file larger than
// the largest picture may hold is refused with EFBIG rather than read into memory: no JPEG
// of a size the decoder accepts comes near it.
bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes);

// Writes `size` bytes to `path` through a temporary file beside it and a rename, keeping
// the permissions of a file replaced.  Returns 0 or the errno of the step that failed; an
// existing file is untouched on failure.
int WriteFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace qelvo
