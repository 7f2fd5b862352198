#pragma once

#include "acquire/TimeLapseRun.h"
#include "cli/Cli.h"

#include <functional>
#include <string>

namespace qelvo::cli {

// "WxH" with both at least 1; nothing otherwise.
std::optional<std::pair<int, int>> parseResolution(const std::string& text);
// A whole number in [low, high]; nothing otherwise.
std::optional<long> parseWhole(const std::string& text, long low, long high);
// A number of seconds, positive and finite; nothing otherwise.
std::optional<double> parseSeconds(const std::string& text);

// Opens the camera `device` (at width x height when given) and runs `work` on a thread of
// its own with the camera's frames while this thread serves the camera's events.  The camera
// is closed afterwards.  kFailed with one line when the camera cannot be opened; otherwise
// what `work` returns.
int withCamera(Io& io, const std::string& command, const std::string& device, int width, int height,
               const std::function<int(acquire::LapseFrameSource&)>& work);

}  // namespace qelvo::cli
