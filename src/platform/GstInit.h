#pragma once

#include <string>
#include <vector>

namespace qelvo {

// Initialises GStreamer once for the process (safe to call from any thread, any number of
// times).  Returns false when the library could not start.
bool ensureGstreamer();

// Names of the GStreamer elements the program needs that are not installed.  Empty when
// everything is present.
std::vector<std::string> missingGstreamerElements();

}  // namespace qelvo
