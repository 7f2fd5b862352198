#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qelvo {

class CxImage;

// Rewriting a stored picture in place, as the picture tools and the adjustment dialog do.
// The new contents go through a temporary file and a rename, into the file a symbolic link
// names (the link itself stays a link), and a picture that is read-only is left alone.

// The reason given for a picture that is not writable.
inline constexpr char kReadOnlyReason[] = "the file is read-only";

// Replaces the contents of the picture at `path` with `size` bytes.  Returns "" on success,
// otherwise why not; the picture is then untouched.
std::string RewritePictureFile(const std::string& path, const std::uint8_t* data, std::size_t size);

// `picture` encoded as JPEG at its quality, in memory; false (LastError set) on failure.
bool EncodeJpeg(CxImage& picture, std::vector<std::uint8_t>& bytes);

}  // namespace qelvo
