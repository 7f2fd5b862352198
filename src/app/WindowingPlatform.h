#pragma once

#include <functional>
#include <string>

namespace qelvo {

// Where the windows go, decided before the toolkit starts.  The windows are placed at fixed
// positions, which Wayland does not allow, so a Wayland session runs them through XWayland.
struct WindowingDecision {
    bool canStart = true;
    std::string qpaPlatform;  // to set as QT_QPA_PLATFORM before start; empty: leave as is
    std::string message;      // one line for standard error; empty: nothing to say
};

// `env` reads an environment variable (empty when unset); `xDisplayRunning` tells whether a
// local X display such as ":0" answers.  The user's own QT_QPA_PLATFORM always wins.
WindowingDecision decideWindowing(const std::function<std::string(const char*)>& env,
                                  const std::function<bool(const std::string&)>& xDisplayRunning);

// Whether the X display named like $DISPLAY answers: a local one (":N", ":N.S", "unix:N")
// when its server accepts a connection on its socket in `socketDir`, a remote one is assumed
// to.
bool localXDisplayRunning(const std::string& display);
bool localXDisplayRunningIn(const std::string& display, const std::string& socketDir);

}  // namespace qelvo
