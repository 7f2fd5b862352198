#pragma once

#include "acquire/FrameAverager.h"
#include "capture/CaptureMailbox.h"
#include "capture/CaptureState.h"
#include "capture/FrameRecord.h"
#include "capture/SnapshotObjective.h"
#include "frames/GrabberCallback.h"

#include <QRect>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace qelvo {

class FrameWatchdog;
class LiveTarget;

// What the two grabber callbacks of one capture session share with each other and with the
// session, and with nobody else: a session's frames never reach another session.  Every word
// is atomic; the latest frame is guarded, since both callbacks may run on different
// streaming threads while the GUI thread takes copies.
class CaptureChannel {
public:
    explicit CaptureChannel(std::shared_ptr<CaptureMailbox> mailbox)
        : mailbox_(std::move(mailbox)) {}

    CaptureMailbox& mailbox() { return *mailbox_; }
    const std::shared_ptr<CaptureMailbox>& sharedMailbox() const { return mailbox_; }

    // Raised by the GUI thread for one written snapshot; the streaming thread takes it down
    // when it serves it.
    std::atomic<int> snapshotFlag{0};
    // While 1, every frame kept as the latest is also posted as a frame notice.
    std::atomic<int> frameNotices{0};
    // While 1, the live picture is drawn flat-field corrected (with the snapshot objective's
    // correction, where it fits the frames).
    std::atomic<int> liveFlatField{0};

    // Every whole live frame is also handed to this tap while one is set (a time-lapse taking
    // its frames from the window's camera), and to every extra tap added (a flat-field
    // reference being averaged); any thread.
    void setFrameTap(std::shared_ptr<GrabberCallback> tap) {
        std::lock_guard lock(tapMutex_);
        tap_ = std::move(tap);
    }
    void addFrameTap(std::shared_ptr<GrabberCallback> tap) {
        std::lock_guard lock(tapMutex_);
        if (tap) extraTaps_.push_back(std::move(tap));
    }
    void removeFrameTap(const std::shared_ptr<GrabberCallback>& tap) {
        std::lock_guard lock(tapMutex_);
        std::erase(extraTaps_, tap);
    }
    void feedTap(const GrabbedFrame& frame) {
        std::shared_ptr<GrabberCallback> tap;
        std::vector<std::shared_ptr<GrabberCallback>> extra;
        {
            std::lock_guard lock(tapMutex_);
            tap = tap_;
            if (!extraTaps_.empty()) extra = extraTaps_;
        }
        if (tap) tap->FrameCB(frame);
        for (const auto& t : extra) t->FrameCB(frame);
    }

    // Fed on every drawn live frame; null once the session let go of it.
    void setWatchdog(FrameWatchdog* watchdog) { watchdog_.store(watchdog); }
    void feedWatchdog();

    // Keeps `frame` as the latest frame (its block shared, not copied).
    bool keepLatest(const GrabbedFrame& frame, const FrameHeader& header);
    // A record of its own over the latest frame's read-only pixels (null when memory runs
    // out; a record without pixels before the first frame).
    std::shared_ptr<const FrameRecord> latest();
    std::int32_t latestBlockSize();

    // What written snapshots record (objective, pixel size, scale bar); set by the GUI
    // thread, read by the streaming thread as it hands a snapshot to the writer.
    void setSnapshotObjective(SharedSnapshotObjective objective);
    SharedSnapshotObjective snapshotObjective();

private:
    std::shared_ptr<CaptureMailbox> mailbox_;
    std::atomic<FrameWatchdog*> watchdog_{nullptr};
    std::mutex tapMutex_;
    std::shared_ptr<GrabberCallback> tap_;
    std::vector<std::shared_ptr<GrabberCallback>> extraTaps_;
    std::mutex latestMutex_;
    FrameRecord latest_;
    std::mutex objectiveMutex_;
    SharedSnapshotObjective objective_;
};

// Fields common to both callback kinds.  The GUI thread sets them (and moves the targets),
// the streaming thread reads them, each a single atomic word.  A frame is handled under the
// callback's own lock, so the GUI thread can wait out a frame in flight before a target it
// moved away from goes.
class CallbackBase : public GrabberCallback {
public:
    explicit CallbackBase(std::shared_ptr<CaptureChannel> channel) : channel_(std::move(channel)) {}
    ~CallbackBase() override;

    // The size the frames claim; 0 x 0 while unknown (such frames are dropped).
    void setFrameSize(int width, int height);
    int frameWidth() const { return unpackWidth(size_.load()); }
    int frameHeight() const { return unpackHeight(size_.load()); }
    // GUI thread.  The callback follows the target's lifetime: a target destroyed while
    // frames flow is let go of first.
    void setLiveTarget(LiveTarget* target);
    LiveTarget* liveTarget() const { return liveTarget_.load(); }
    void setLiveFreeze(int flag) { liveFreeze_.store(flag); }
    int liveFreeze() const { return liveFreeze_.load(); }

    // GUI thread: returns once a frame handled before this call is done, so nothing taken
    // from the fields before (a target moved away from) is still in use.
    void waitOutFrameInFlight();

    // A frame as bytes that are valid only during the call: copied once, then handled as a
    // grabbed frame.
    void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t size) override;
    // A frame the grabber has already copied: handled without copying it again.
    void FrameCB(const GrabbedFrame& frame) override;
    // The grabber reports the negotiated size as the stream settles it.
    void FormatCB(int width, int height) override { setFrameSize(width, height); }

    // What BufferCB does, without the lock and the exception guard.
    FrameResult handleFrame(double sampleTime, const std::uint8_t* buffer, std::size_t size);
    // The frame's block is shared read-only with the targets and the records it is handed to.
    virtual FrameResult handleGrabbed(const GrabbedFrame& frame) = 0;

protected:
    struct FrameSize {
        int width = 0;
        int height = 0;
        std::size_t bytes = 0;  // rows padded to 4 bytes; 0 while the size is unknown
        FrameHeader header() const { return FrameHeader::forFrame(width, height); }
    };
    FrameSize frameSize() const;
    static bool isWholeFrame(const FrameSize& size, const GrabbedFrame& frame) {
        return frame.pixels && size.bytes > 0 && frame.length == size.bytes &&
               frame.width == size.width && frame.height == size.height;
    }
    static void draw(LiveTarget* target, const GrabbedFrame& frame);
    // The live frame as drawn: flat-field corrected into a block of its own when that is on.
    GrabbedFrame liveFrame(const GrabbedFrame& frame, const FrameSize& size);
    // Lets go of `target` wherever this callback refers to it (it is being destroyed).
    virtual void forgetTarget(LiveTarget* target);
    // GUI thread: follows `now` instead of `before` for its destruction.
    void follow(LiveTarget* before, LiveTarget* now);
    virtual bool refersTo(const LiveTarget* target) const { return liveTarget_.load() == target; }

    static int unpackWidth(std::uint64_t packed) { return static_cast<int>(packed >> 32); }
    static int unpackHeight(std::uint64_t packed) { return static_cast<int>(packed & 0xFFFFFFFFu); }

    std::shared_ptr<CaptureChannel> channel_;
    std::atomic<std::uint64_t> size_{0};
    std::atomic<LiveTarget*> liveTarget_{nullptr};
    std::atomic<int> liveFreeze_{0};
    std::mutex frameMutex_;  // held while a frame is handled
    FramePool copies_;       // blocks for frames handed in as passing bytes
};

// Writes snapshots: draws the live picture and, when the snapshot flag is raised (or for
// every frame while the live freeze flag is 1: the still stream), hands the frame to the
// snapshot writer and tells the session.  A frame that is not whole leaves the flag raised
// for the next one.
//
// A snapshot of N averaged frames (the objective's `average`) takes the frame that answers
// the flag and the N - 1 after it: each is only added to the average's sums here, and the
// writer makes the picture from them.
class SnapshotWritingCallback : public CallbackBase {
public:
    using CallbackBase::CallbackBase;

    FrameResult handleGrabbed(const GrabbedFrame& frame) override;

private:
    FrameResult handOver(const GrabbedFrame& grabbed, const FrameSize& size, bool live,
                         SharedSnapshotObjective objective,
                         std::shared_ptr<const acquire::FrameAverager> average);

    // Streaming thread only (under the frame lock): the average being gathered.
    std::shared_ptr<acquire::FrameAverager> averaging_;
    SharedSnapshotObjective averagingObjective_;
};

// Hands snapshots over as frames: draws into a live target (and an inset), feeds the
// no-frame watchdog, keeps the latest frame and serves snapshot requests by posting it.  A
// single request follows the snapshot settings as written snapshots do: with an average of N
// it is the mean of the N whole frames from the one that answers it, and with a flat-field
// correction of the frames' size it is corrected.
class FrameHandingCallback : public CallbackBase {
public:
    using CallbackBase::CallbackBase;
    ~FrameHandingCallback() override;

    // GUI thread.
    void setInsetTarget(LiveTarget* target);
    LiveTarget* insetTarget() const { return insetTarget_.load(); }
    // 0 none; 2 serve one snapshot then back to 0; 1 every frame is a snapshot, nothing drawn.
    void setSnapshotRequest(int request) { snapshotRequest_.store(request); }
    int snapshotRequest() const { return snapshotRequest_.load(); }
    // Raises the request to 2 when none is pending.
    bool raiseSnapshotRequest();

    FrameResult handleGrabbed(const GrabbedFrame& frame) override;

protected:
    void forgetTarget(LiveTarget* target) override;
    bool refersTo(const LiveTarget* target) const override {
        return CallbackBase::refersTo(target) || insetTarget_.load() == target;
    }

private:
    void serveSnapshot();
    // Adds a whole frame to the snapshot being made; posts it once complete.
    void gather(const GrabbedFrame& frame, const FrameSize& size);

    std::atomic<LiveTarget*> insetTarget_{nullptr};
    // Streaming thread only (under the frame lock): the snapshot being made, if any.
    SharedSnapshotObjective gathering_;
    std::unique_ptr<acquire::FrameAverager> gathered_;
    std::atomic<int> snapshotRequest_{0};
};

}  // namespace qelvo
