#pragma once

#include "app/CommandLine.h"

#include <string>

namespace qelvo {

class LauncherWindow;

// Applies the command line to a new launcher: preselects --device and, when that device is
// listed (or none was named), opens the asked-for working window as soon as the launcher
// runs.  Returns one line for standard error when the named device is not attached (the
// launcher then opens with its normal list), else an empty text.
std::string applyStartOptions(LauncherWindow& launcher, const StartOptions& options);

}  // namespace qelvo
