#include "app/WindowingPlatform.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>

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

namespace {

// Whether a server accepts connections on the local socket `path`; a leading '\0' names an
// abstract socket.
bool socketAnswers(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    // Not blocking: a server too busy to take a connection at once (its queue is full)
    // still runs, and a hung one must not stop the start here.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return true;  // cannot tell: let the toolkit try
    const socklen_t length =
        socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + (path[0] == '\0' ? 0 : 1));
    const bool answers =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 || errno == EAGAIN;
    ::close(fd);
    return answers;
}

}  // namespace

bool localXDisplayRunning(const std::string& display) {
    return localXDisplayRunningIn(display, "/tmp/.X11-unix");
}

bool localXDisplayRunningIn(const std::string& display, const std::string& socketDir) {
    std::string rest = display;
    if (rest.rfind("unix:", 0) == 0)
        rest = rest.substr(4);
    else if (rest.empty() || rest[0] != ':')
        return true;  // a remote display: let the toolkit try
    const std::string number = rest.substr(
        1, rest.find('.') == std::string::npos ? std::string::npos : rest.find('.') - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return true;
    // A socket file left by an X server that died does not count: the server must answer.
    // Linux X servers also listen on an abstract socket of the same name, which is all there
    // is where the program sees a private /tmp.
    const std::string path = socketDir + "/X" + number;
    return socketAnswers(path) || socketAnswers(std::string(1, '\0') + path);
}

}  // namespace qelvo
