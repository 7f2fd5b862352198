#pragma once

#include <atomic>
#include <chrono>
#include <string>

namespace qelvo::acquire {

// Where a time-lapse gets its time: a steady clock for the schedule and the wall clock for
// the pictures' names.  Tests hand in a fake one.
class LapseClock {
public:
    virtual ~LapseClock() = default;
    virtual std::chrono::steady_clock::time_point now() const = 0;
    virtual std::chrono::system_clock::time_point wallNow() const = 0;
    // Waits until `when` (steady clock) or until `stop` is set; false when stopped.
    virtual bool sleepUntil(std::chrono::steady_clock::time_point when,
                            const std::atomic<bool>& stop) const = 0;
};

// The system's clocks.
const LapseClock& systemLapseClock();

// When the pictures of a time-lapse are due: picture k at start + k x interval, computed from
// the start every time, so small delays never add up (no drift).  A picture that cannot be
// taken in time (the camera or the disk was slow for longer than the tolerance) is skipped
// and counted rather than taken late, so the pictures that follow stay on their times and
// are never bunched together.
class TimeLapseSchedule {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    // `count` pictures (at least 1).  `tolerance`: how late a picture may still be taken (one
    // frame interval of the camera is the natural choice).
    TimeLapseSchedule(TimePoint start, Duration interval, int count, Duration tolerance);
    // As many pictures as fall inside `duration` from the start (k x interval < duration, at
    // least one).
    static int countForDuration(Duration interval, Duration duration);

    int total() const { return total_; }
    Duration interval() const { return interval_; }
    TimePoint dueTime(int index) const { return start_ + interval_ * index; }

    // The next picture to take, asked at `now`: every picture still waiting whose time has
    // passed by more than the tolerance is skipped (and counted); then the first one still
    // waiting is returned with its due time (which may lie ahead: wait until it comes).  -1
    // when the schedule is through.
    int next(TimePoint now);
    // That picture is done (taken or failed): the schedule moves past it.
    void done(int index);
    // That picture came too late after all (its frame arrived past the tolerance): it is
    // skipped and counted, and the schedule moves past it.
    void skip(int index);
    // Whether a frame from `frameTime` is in time for picture `index`.
    bool inTime(int index, TimePoint frameTime) const {
        return frameTime <= dueTime(index) + tolerance_;
    }

    int skipped() const { return skipped_; }
    int nextIndex() const { return next_; }
    bool finished() const { return next_ >= total_; }

private:
    TimePoint start_;
    Duration interval_;
    int total_;
    Duration tolerance_;
    int next_ = 0;
    int skipped_ = 0;
};

// A time-lapse picture's file name without the extension, from the wall-clock time it was
// taken at, in local time to the millisecond: "YYYYMMDD-HHMMSS.mmm".
std::string lapsePictureName(std::chrono::system_clock::time_point time);

}  // namespace qelvo::acquire
