#pragma once

#include "capture/CaptureState.h"
#include "capture/FrameRecord.h"
#include "frames/GrabberCallback.h"

#include <QRect>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

namespace qelvo {

class CaptureHost;
class LiveTarget;

// Fields common to both callback kinds.  Every field is a single atomic word: the GUI
// thread sets them at graph build (and moves the targets), the streaming thread reads them.
// A frame is handled under the callback's own lock, so the GUI thread can wait out a frame
// in flight before a target it moved away from goes.
class CallbackBase : public GrabberCallback {
public:
    // The size the frames claim; 0 x 0 while unknown (such frames are dropped).
    void setFrameSize(int width, int height);
    int frameWidth() const { return unpackWidth(size_.load()); }
    int frameHeight() const { return unpackHeight(size_.load()); }
    void setOwner(CaptureHost* owner) { owner_.store(owner); }
    CaptureHost* owner() const { return owner_.load(); }
    void setLiveTarget(LiveTarget* target) { liveTarget_.store(target); }
    LiveTarget* liveTarget() const { return liveTarget_.load(); }
    void setLiveFreeze(int flag) { liveFreeze_.store(flag); }
    int liveFreeze() const { return liveFreeze_.load(); }

    // GUI thread: returns once a frame handled before this call is done, so nothing taken
    // from the fields before (a target moved away from) is still in use.
    void waitOutFrameInFlight();
    // Lets go of `target` wherever this callback refers to it, then waits out a frame in
    // flight.  Used when a live target is destroyed.
    virtual void forgetTarget(LiveTarget* target);

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
    // Width and height read together, as one word.
    FrameSize frameSize() const;
    // Only a frame holding exactly the frame the size claims is drawn or kept.
    static bool isWholeFrame(const FrameSize& size, const GrabbedFrame& frame) {
        return frame.pixels && size.bytes > 0 && frame.length == size.bytes &&
               frame.width == size.width && frame.height == size.height;
    }
    // Hands a whole frame to a live target (none: nothing).
    static void draw(LiveTarget* target, const GrabbedFrame& frame);

    static int unpackWidth(std::uint64_t packed) { return static_cast<int>(packed >> 32); }
    static int unpackHeight(std::uint64_t packed) { return static_cast<int>(packed & 0xFFFFFFFFu); }

    std::atomic<std::uint64_t> size_{0};
    std::atomic<CaptureHost*> owner_{nullptr};
    std::atomic<LiveTarget*> liveTarget_{nullptr};
    std::atomic<int> liveFreeze_{0};
    std::mutex frameMutex_;  // held while a frame is handled
    FramePool copies_;       // blocks for frames handed in as passing bytes
};

// The image management window's callbacks: draw the live picture and, when the snapshot
// flag is raised (or for every frame while the live freeze flag is 1: the still stream),
// hand the frame to the snapshot writer and tell the window.  A frame that is not whole
// leaves the flag raised for the next one.
class SnapshotKindCallback : public CallbackBase {
public:
    // Recorded with the live target (position 0, 0 and its size); drawing always uses the
    // target's current size.
    void setTargetRect(const QRect& rect);
    QRect targetRect() const;

    FrameResult handleGrabbed(const GrabbedFrame& frame) override;

private:
    std::atomic<int> targetX_{0}, targetY_{0}, targetW_{0}, targetH_{0};
};

// The multi-view window's callbacks: draw into a pane (and an inset), keep the no-frame
// watchdog alive, keep the latest frame and serve snapshot requests by posting it.
class MultiViewKindCallback : public CallbackBase {
public:
    static constexpr int kNoFrameTimer = 80000;
    static constexpr int kAlarmClearTimer = 80001;
    static constexpr int kWatchdogPeriodMs = 500;

    void setInsetTarget(LiveTarget* target) { insetTarget_.store(target); }
    void forgetTarget(LiveTarget* target) override;
    LiveTarget* insetTarget() const { return insetTarget_.load(); }
    // 0 none; 2 serve one snapshot then back to 0; 1 every frame is a snapshot, nothing drawn.
    void setSnapshotRequest(int request) { snapshotRequest_.store(request); }
    int snapshotRequest() const { return snapshotRequest_.load(); }
    // Raises the request to 2 when none is pending (the multi-view window's SNAP).
    bool raiseSnapshotRequest();

    FrameResult handleGrabbed(const GrabbedFrame& frame) override;

private:
    void serveSnapshot();
    void rearm(int timerId);

    std::atomic<LiveTarget*> insetTarget_{nullptr};
    std::atomic<int> snapshotRequest_{0};
};

// The multi-view kind's latest frame, as a record of its own over the same read-only pixels
// (null when memory runs out; a record without pixels before the first frame).
std::shared_ptr<const FrameRecord> latestFrameRecord();
// Block size of the latest-frame record (tests).
std::int32_t latestFrameBlockSize();

// The callback pairs, one per window variant; they live for the whole run.
SnapshotKindCallback& snapshotKindCallback(bool hd, int index);  // index 1 or 2
MultiViewKindCallback& multiViewKindCallback(bool hd, int index);

}  // namespace qelvo
