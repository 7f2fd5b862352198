#include "capture/Pacing.h"

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

namespace qelvo {
namespace {

long initialPause() {
    if (const char* text = std::getenv("QELVO_PACING_MS")) {
        char* end = nullptr;
        const long value = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && value >= 0 && value <= 10000) return value;
    }
    return 250;
}

std::atomic<long>& pauseMs() {
    static std::atomic<long> value{initialPause()};
    return value;
}

}  // namespace

std::chrono::milliseconds pacingPause() {
    return std::chrono::milliseconds(pauseMs().load());
}

void setPacingPause(std::chrono::milliseconds pause) {
    pauseMs().store(pause.count() < 0 ? 0 : static_cast<long>(pause.count()));
}

void pacingSleep() {
    const auto pause = pacingPause();
    if (pause.count() > 0) std::this_thread::sleep_for(pause);
}

}  // namespace qelvo
