#pragma once

#include "acquire/TimeLapseSchedule.h"
#include "frames/FramePool.h"
#include "picturefiles/PictureFile.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qelvo::acquire {

// One frame from a camera, numbered in the order frames arrive, with the moment it arrived.
struct SourcedFrame {
    GrabbedFrame frame;
    std::uint64_t sequence = 0;
    std::chrono::steady_clock::time_point arrived;
};

// Where a time-lapse gets its frames (a running camera; a fake one in tests).  Thread-safe.
class LapseFrameSource {
public:
    virtual ~LapseFrameSource() = default;
    // The first frame numbered after `afterSequence`, waiting up to `timeout` for it.
    // Nothing when none came in time or the camera is gone; `error` says which.
    virtual std::optional<SourcedFrame> nextFrame(std::uint64_t afterSequence,
                                                  std::chrono::milliseconds timeout,
                                                  std::string* error) = 0;
    // The number of the newest frame (0 before the first).
    virtual std::uint64_t latestSequence() const = 0;
    // The camera's frame interval, as far as known (0: unknown).
    virtual std::chrono::nanoseconds frameInterval() const = 0;
};

struct TimeLapseSettings {
    std::string folder;  // where the pictures go (made when missing)
    std::chrono::nanoseconds interval{std::chrono::seconds(1)};
    int count = 1;
    int average = 1;  // frames averaged into each picture
    PictureFormat format = PictureFormat::Jpeg;
    PictureCalibration calibration;  // recorded in every picture
};

struct TimeLapseProgress {
    int taken = 0;
    int total = 0;
    int skipped = 0;
    std::string lastPath;                // the picture just written, or ""
    std::chrono::nanoseconds lateBy{0};  // its (first) frame came this long after its due time
    std::chrono::nanoseconds nextIn{0};  // until the next picture is due
};

struct TimeLapseOutcome {
    int taken = 0;
    int skipped = 0;
    bool stopped = false;  // requestStop() ended it early
    std::string problem;   // "" or why the run ended early (camera gone, disk full)
    std::vector<std::string> files;
};

// A time-lapse: picture k taken from the first frame at or after start + k x interval,
// averaged over `average` consecutive frames, written whole (temporary file and rename)
// under its local date and time to the millisecond.  Shared by the qelvo tool and the image
// management window, which run it on a thread of their own.  A stop (any thread) lets the
// picture in progress finish and ends the run; a camera that goes away or a picture that
// cannot be written ends it with the reason, keeping every picture written so far.
class TimeLapseRun {
public:
    TimeLapseRun(TimeLapseSettings settings, LapseFrameSource& source,
                 const LapseClock& clock = systemLapseClock());

    // Called after every picture (and skip) on the running thread.
    void onProgress(std::function<void(const TimeLapseProgress&)> progress) {
        progress_ = std::move(progress);
    }
    // Runs to the end; blocks the calling thread.
    TimeLapseOutcome run();
    // Any thread (a signal handler too: it only sets a flag).
    void requestStop() { stop_.store(true); }
    bool stopRequested() const { return stop_.load(); }

    // How long a camera may stay silent before it counts as gone.
    static constexpr std::chrono::milliseconds kFrameTimeout{3000};

private:
    std::optional<PictureData> takePicture(std::uint64_t afterSequence,
                                           std::chrono::steady_clock::time_point* arrived,
                                           std::string* error);
    std::string freeName(std::chrono::system_clock::time_point when) const;

    TimeLapseSettings settings_;
    LapseFrameSource& source_;
    const LapseClock& clock_;
    std::function<void(const TimeLapseProgress&)> progress_;
    std::atomic<bool> stop_{false};
};

// The file extension of a picture format, with its dot.
const char* pictureExtension(PictureFormat format);

// The average for a file of `format`: 16 bits a sample for PNG and TIFF when more than one
// frame was averaged, 8 otherwise.
class FrameAverager;
std::optional<PictureData> pictureFor(const FrameAverager& averager, PictureFormat format);

}  // namespace qelvo::acquire
