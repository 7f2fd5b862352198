#pragma once

#include <QObject>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdint>

namespace qelvo {

// Says when no live frame has been drawn for an interval.  The streaming thread feeds it on
// every drawn frame without ever waiting; the GUI thread hears `expired` once the interval
// passes without a feed.  It never polls: one single-shot timer runs while it watches, and
// at each expiry it either fires or sleeps again until the last feed is an interval old.
// After expiring it stops watching until the next feed, or until rearm().
class FrameWatchdog : public QObject {
    Q_OBJECT
public:
    explicit FrameWatchdog(std::chrono::milliseconds interval, QObject* parent = nullptr);

    // Any thread.  Wakes the GUI thread (one queued call) only when the watch had stopped.
    void feed();
    // GUI thread: watches from now on, as if a frame had just been drawn.
    void rearm();
    // GUI thread: stops watching until the next feed.
    void stop();
    bool isWatching() const { return timer_.isActive(); }
    // When it was last fed (or re-armed), in monotonicNs().
    std::int64_t lastFeedNs() const { return lastFeedNs_.load(); }

signals:
    void expired();

private:
    Q_INVOKABLE void wake();
    void onTimeout();
    void startFrom(std::int64_t feedNs);

    const std::int64_t intervalNs_;
    QTimer timer_;
    std::atomic<std::int64_t> lastFeedNs_{0};
    // True while no timer runs and the next feed must wake the GUI thread.
    std::atomic<bool> idle_{true};
};

// Monotonic time in nanoseconds, for deadlines shared between threads.
std::int64_t monotonicNs();

}  // namespace qelvo
