#pragma once

#include "capture/CaptureState.h"
#include "capture/FrameRecord.h"
#include "platform/GrabberCallback.h"

#include <QRect>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qelvo {

class CaptureHost;
class LiveTarget;

// Fields common to both callback kinds.  Every field is a single atomic word: the GUI
// thread sets them at graph build (and moves the targets), the streaming thread reads them.
class CallbackBase : public GrabberCallback {
public:
    void setFrameSize(int width, int height);
    int frameWidth() const { return width_.load(); }
    int frameHeight() const { return height_.load(); }
    void setOwner(CaptureHost* owner) { owner_.store(owner); }
    CaptureHost* owner() const { return owner_.load(); }
    void setLiveTarget(LiveTarget* target) { liveTarget_.store(target); }
    LiveTarget* liveTarget() const { return liveTarget_.load(); }
    void setLiveFreeze(int flag) { liveFreeze_.store(flag); }
    int liveFreeze() const { return liveFreeze_.load(); }

    // Returns once every frame that was being drawn into a target read before this call has
    // been handed over: after moving a target away, the old one may then be freed.  The wait
    // lasts at most one frame copy.  GUI thread.
    void waitForDrawsInFlight() const;

    void BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t size) override {
        handleFrame(sampleTime, buffer, size);
    }
    virtual FrameResult handleFrame(double sampleTime, const std::uint8_t* buffer,
                                    std::size_t size) = 0;

protected:
    // Hands the frame to a live target; a buffer shorter than the frame size says is not
    // drawn.  True when drawn.
    bool draw(LiveTarget* target, const std::uint8_t* buffer, std::size_t size) const;

    std::atomic<int> width_{0};
    std::atomic<int> height_{0};
    std::atomic<CaptureHost*> owner_{nullptr};
    std::atomic<LiveTarget*> liveTarget_{nullptr};
    std::atomic<int> liveFreeze_{0};
    // Frames between reading a target and finishing the draw into it (DrawInFlight).
    std::atomic<int> drawsInFlight_{0};
};

// The image management window's callbacks: draw the live picture and, when the snapshot
// flag is raised (or for every frame while the live freeze flag is 1: the still stream),
// tell the window and write the frame as a JPEG picture on a worker thread.
class SnapshotKindCallback : public CallbackBase {
public:
    // Recorded with the live target (position 0, 0 and its size); drawing always uses the
    // target's current size.
    void setTargetRect(const QRect& rect);
    QRect targetRect() const;

    FrameResult handleFrame(double sampleTime, const std::uint8_t* buffer,
                            std::size_t size) override;

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
    LiveTarget* insetTarget() const { return insetTarget_.load(); }
    // 0 none; 2 serve one snapshot then back to 0; 1 every frame is a snapshot, nothing drawn.
    void setSnapshotRequest(int request) { snapshotRequest_.store(request); }
    int snapshotRequest() const { return snapshotRequest_.load(); }
    // Raises the request to 2 when none is pending (the multi-view window's SNAP).
    bool raiseSnapshotRequest();

    FrameResult handleFrame(double sampleTime, const std::uint8_t* buffer,
                            std::size_t size) override;

private:
    void serveSnapshot();
    void rearm(int timerId);

    std::atomic<LiveTarget*> insetTarget_{nullptr};
    std::atomic<int> snapshotRequest_{0};
};

// Copy of the multi-view kind's latest-frame record (null when memory runs out).
std::shared_ptr<const FrameRecord> latestFrameCopy();
// Block size of the latest-frame record (tests).
std::int32_t latestFrameBlockSize();

// The callback pairs, one per window variant; they live for the whole run.
SnapshotKindCallback& snapshotKindCallback(bool hd, int index);  // index 1 or 2
MultiViewKindCallback& multiViewKindCallback(bool hd, int index);

}  // namespace qelvo
