#pragma once

#include <string>
#include <vector>

namespace qelvo {

// Initialises GStreamer once for the process (safe to call from any thread, any number of
// times).  Returns false when the library could not start.
bool ensureGstreamer();

// One GStreamer element the program creates.  An optional one only takes something away
// (the virtual devices' burnt-in clock) when it is missing.
struct GstreamerElement {
    const char* name;
    bool optional;
};
// Every element the program creates, from src/media/gstreamer-elements.txt.
const std::vector<GstreamerElement>& gstreamerElements();

// Names of the needed (not optional) elements that are not installed.  Empty when
// everything is present; {"gstreamer"} when GStreamer itself does not start.
std::vector<std::string> missingGstreamerElements();

// Whether an element factory of that name is installed right now.
bool gstreamerElementInstalled(const char* name);

}  // namespace qelvo
