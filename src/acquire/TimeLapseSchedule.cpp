#include "acquire/TimeLapseSchedule.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>

namespace qelvo::acquire {

namespace {

class SystemLapseClock : public LapseClock {
public:
    std::chrono::steady_clock::time_point now() const override {
        return std::chrono::steady_clock::now();
    }
    std::chrono::system_clock::time_point wallNow() const override {
        return std::chrono::system_clock::now();
    }
    // In short steps, so a stop is seen within 20 ms.
    bool sleepUntil(std::chrono::steady_clock::time_point when,
                    const std::atomic<bool>& stop) const override {
        for (;;) {
            if (stop.load()) return false;
            const auto now = std::chrono::steady_clock::now();
            if (now >= when) return true;
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                when - now, std::chrono::milliseconds(20)));
        }
    }
};

}  // namespace

const LapseClock& systemLapseClock() {
    static const SystemLapseClock clock;
    return clock;
}

TimeLapseSchedule::TimeLapseSchedule(TimePoint start, Duration interval, int count,
                                     Duration tolerance)
    : start_(start),
      interval_(std::max(interval, Duration::zero())),
      total_(std::max(count, 1)),
      tolerance_(std::max(tolerance, Duration::zero())) {}

int TimeLapseSchedule::countForDuration(Duration interval, Duration duration) {
    if (interval <= Duration::zero()) return 1;
    const auto whole = duration / interval;  // pictures at 0 .. whole-1 lie inside
    const bool exact = duration % interval == Duration::zero();
    const long long n = whole + (exact ? 0 : 1);
    return static_cast<int>(std::clamp<long long>(n, 1, 1'000'000'000));
}

int TimeLapseSchedule::next(TimePoint now) {
    while (next_ < total_ && now > dueTime(next_) + tolerance_) {
        ++next_;
        ++skipped_;
    }
    return next_ < total_ ? next_ : -1;
}

void TimeLapseSchedule::done(int index) {
    next_ = std::max(next_, index + 1);
}

void TimeLapseSchedule::skip(int index) {
    if (index < next_ || index >= total_) return;
    ++skipped_;
    next_ = index + 1;
}

std::string lapsePictureName(std::chrono::system_clock::time_point time) {
    const auto since = time.time_since_epoch();
    const auto seconds = std::chrono::floor<std::chrono::seconds>(since);
    const int millis = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since - seconds).count());
    const std::time_t t = static_cast<std::time_t>(seconds.count());
    std::tm local{};
    localtime_r(&t, &local);
    char name[40];
    std::snprintf(name, sizeof name, "%04d%02d%02d-%02d%02d%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  millis);
    return name;
}

}  // namespace qelvo::acquire
