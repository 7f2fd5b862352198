#include "cli/CameraWork.h"

#include "capture/CameraFrames.h"

#include <QCoreApplication>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace qelvo::cli {

std::optional<std::pair<int, int>> parseResolution(const std::string& text) {
    const auto x = text.find_first_of("xX");
    if (x == std::string::npos) return std::nullopt;
    const auto w = parseWhole(text.substr(0, x), 1, 65535);
    const auto h = parseWhole(text.substr(x + 1), 1, 65535);
    if (!w || !h) return std::nullopt;
    return std::make_pair(static_cast<int>(*w), static_cast<int>(*h));
}

std::optional<long> parseWhole(const std::string& text, long low, long high) {
    if (text.empty() || text.size() > 12) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value < low || value > high) return std::nullopt;
    return value;
}

std::optional<double> parseSeconds(const std::string& text) {
    if (text.empty() || text.size() > 32) return std::nullopt;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || c == '.')) return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(value) || value <= 0.0 ||
        value > 366.0 * 86400.0)
        return std::nullopt;
    return value;
}

int withCamera(Io& io, const std::string& command, const std::string& device, int width, int height,
               const std::function<int(acquire::LapseFrameSource&)>& work) {
    // The camera's graph reports through Qt's event loop; a tool has no window, so a plain
    // core application serves it.
    static int argc = 1;
    static char name[] = "qelvo";
    static char* argv[] = {name, nullptr};
    std::unique_ptr<QCoreApplication> app;
    if (!QCoreApplication::instance()) app = std::make_unique<QCoreApplication>(argc, argv);

    HeadlessCamera camera;
    std::string error;
    if (!camera.open(device, width, height, &error)) return failed(io, command, error);
    std::atomic<bool> done{false};
    int status = kFailed;
    std::thread worker([&] {
        status = work(camera.frames());
        done.store(true);
    });
    while (!done.load()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker.join();
    camera.close();
    return status;
}

}  // namespace qelvo::cli
