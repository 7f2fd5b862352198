#pragma once

#include "acquire/TimeLapseRun.h"
#include "frames/GrabberCallback.h"
#include "media/DeviceCatalogue.h"
#include "media/MediaComponent.h"
#include "media/MediaGraph.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace qelvo {

// Frames of a running grabber for whoever waits for them on another thread (a snapshot
// average, a time-lapse): the newest frame, numbered, kept without copying it.  The grabber
// calls it on the streaming thread; a lost device is passed in with fail().
class GrabbedFrameSource : public GrabberCallback, public acquire::LapseFrameSource {
public:
    void BufferCB(double, const std::uint8_t*, std::size_t) override {}
    void FrameCB(const GrabbedFrame& frame) override;

    std::optional<acquire::SourcedFrame> nextFrame(std::uint64_t afterSequence,
                                                   std::chrono::milliseconds timeout,
                                                   std::string* error) override;
    std::uint64_t latestSequence() const override;
    std::chrono::nanoseconds frameInterval() const override;

    // The camera is gone (or failed): every wait from now on ends with `why`.
    void fail(const std::string& why);

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    acquire::SourcedFrame latest_;
    std::deque<std::chrono::steady_clock::time_point> arrivals_;
    std::string failure_;
};

// A camera opened without a window, by its friendly name as the launcher lists it (virtual
// devices of $QELVO_VIRTUAL_DEVICES included), streaming into a GrabbedFrameSource.  Open and
// close it on the thread that runs the Qt event loop (the graph's errors arrive there); take
// its frames on any other.
class HeadlessCamera {
public:
    HeadlessCamera();
    ~HeadlessCamera();
    HeadlessCamera(const HeadlessCamera&) = delete;
    HeadlessCamera& operator=(const HeadlessCamera&) = delete;

    // Finds and starts the device, at width x height when both are given (refused when the
    // device does not offer that size).  False with `error` saying why.
    bool open(const std::string& friendlyName, int width, int height, std::string* error,
              DeviceCatalogue* catalogue = nullptr);
    void close();
    GrabbedFrameSource& frames() { return *frames_; }

private:
    std::shared_ptr<GrabbedFrameSource> frames_;
    std::unique_ptr<MediaGraph> graph_;
    MediaComponent source_;
    MediaComponent grabber_;
    MediaComponent sink_;
};

}  // namespace qelvo
