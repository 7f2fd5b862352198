#include "app/WindowingPlatform.h"

#include <unistd.h>

namespace qelvo {

WindowingDecision decideWindowing(const std::function<std::string(const char*)>& env,
                                  const std::function<bool(const std::string&)>& xDisplayRunning) {
    if (!env("QT_QPA_PLATFORM").empty()) return {};  // the user chose (offscreen, xcb, ...)

    const std::string x = env("DISPLAY");
    const bool xAvailable = !x.empty() && xDisplayRunning(x);
    const bool wayland =
        !env("WAYLAND_DISPLAY").empty() || env("XDG_SESSION_TYPE") == std::string("wayland");
    if (wayland && xAvailable) return {true, "xcb", ""};
    if (xAvailable) return {};
    if (wayland)
        return {false, "",
                "qelvo-tarnel: this Wayland session has no XWayland, which the program's "
                "fixed window positions need; install XWayland, or set QT_QPA_PLATFORM=wayland "
                "to run with windows placed by the compositor"};
    return {false, "",
            "qelvo-tarnel: no display found (DISPLAY and WAYLAND_DISPLAY name no running display); "
            "start it in a desktop session, or under Xvfb: "
            "xvfb-run -s '-screen 0 1280x1024x24' qelvo-tarnel"};
}

bool localXDisplayRunning(const std::string& display) {
    std::string rest = display;
    if (rest.rfind("unix:", 0) == 0)
        rest = rest.substr(4);
    else if (rest.empty() || rest[0] != ':')
        return true;  // a remote display: let the toolkit try
    const std::string number = rest.substr(
        1, rest.find('.') == std::string::npos ? std::string::npos : rest.find('.') - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return true;
    return ::access(("/tmp/.X11-unix/X" + number).c_str(), F_OK) == 0;
}

}  // namespace qelvo
