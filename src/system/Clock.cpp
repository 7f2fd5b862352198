#include "system/Clock.h"

#include <ctime>

namespace qelvo {
namespace {

class SystemClock : public Clock {
public:
    LocalTime localNow() const override {
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    }
};

std::unique_ptr<Clock>& current() {
    static std::unique_ptr<Clock> c = std::make_unique<SystemClock>();
    return c;
}

}  // namespace

const Clock& clock() {
    return *current();
}

std::unique_ptr<Clock> setClock(std::unique_ptr<Clock> replacement) {
    if (!replacement) replacement = std::make_unique<SystemClock>();
    std::swap(current(), replacement);
    return replacement;
}

}  // namespace qelvo
