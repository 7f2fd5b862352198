#pragma once

#include <memory>

namespace qelvo {

// Broken-down local time, as file and folder names use it.
struct LocalTime {
    int year = 1970;
    int month = 1;  // 1-12
    int day = 1;    // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime localNow() const = 0;
};

// The process-wide clock (the system's local time unless a test replaced it).
const Clock& clock();
// Replaces the clock; nullptr restores the system clock.  Returns the previous one.
std::unique_ptr<Clock> setClock(std::unique_ptr<Clock> replacement);

// A clock that always answers the time it was set to (tests).
class FixedClock : public Clock {
public:
    explicit FixedClock(LocalTime t) : time_(t) {}
    LocalTime localNow() const override { return time_; }
    void set(LocalTime t) { time_ = t; }

private:
    LocalTime time_;
};

}  // namespace qelvo
