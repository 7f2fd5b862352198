#pragma once

#include <string>

namespace qelvo {

// Makes sure the storage root exists (creating it one level deep, never its parents) and
// makes the storage folder the root, or `fallback` when the root cannot be had.  Returns the
// folder chosen.
std::string checkStorageFolder(const std::string& root, const std::string& fallback);

}  // namespace qelvo
