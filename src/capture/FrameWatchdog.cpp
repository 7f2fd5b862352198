#include "capture/FrameWatchdog.h"

#include <algorithm>

namespace qelvo {

std::int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

FrameWatchdog::FrameWatchdog(std::chrono::milliseconds interval, QObject* parent)
    : QObject(parent),
      intervalNs_(std::chrono::duration_cast<std::chrono::nanoseconds>(interval).count()) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &FrameWatchdog::onTimeout);
}

void FrameWatchdog::feed() {
    lastFeedNs_.store(monotonicNs());
    if (idle_.exchange(false)) QMetaObject::invokeMethod(this, "wake", Qt::QueuedConnection);
}

void FrameWatchdog::rearm() {
    const std::int64_t now = monotonicNs();
    lastFeedNs_.store(now);
    idle_.store(false);
    startFrom(now);
}

void FrameWatchdog::stop() {
    timer_.stop();
    idle_.store(true);
}

void FrameWatchdog::wake() {
    if (!timer_.isActive()) startFrom(lastFeedNs_.load());
}

void FrameWatchdog::startFrom(std::int64_t feedNs) {
    const std::int64_t left = std::max<std::int64_t>(0, feedNs + intervalNs_ - monotonicNs());
    // Rounded up, so the timer never fires before the interval is over.
    timer_.start(static_cast<int>((left + 999999) / 1000000));
}

void FrameWatchdog::onTimeout() {
    const std::int64_t fed = lastFeedNs_.load();
    if (monotonicNs() - fed < intervalNs_) {
        startFrom(fed);  // fed meanwhile: sleep until that feed is an interval old
        return;
    }
    idle_.store(true);
    // A feed that came between the look above and going idle found the watch still busy and
    // woke nobody: take it up here.
    if (lastFeedNs_.load() != fed && idle_.exchange(false)) startFrom(lastFeedNs_.load());
    emit expired();
}

}  // namespace qelvo
