#include "capture/GrabberCallbacks.h"

#include "capture/CaptureHost.h"
#include "capture/CaptureMessages.h"
#include "capture/SnapshotWriter.h"
#include "capture/WindowTimers.h"
#include "platform/LiveTarget.h"

#include <mutex>
#include <new>
#include <thread>

namespace qelvo {
namespace {

// The multi-view kind's latest-frame record.  Both callbacks of a graph may run on
// different streaming threads and the GUI thread takes copies, so the record is guarded.
struct LatestFrame {
    std::mutex mutex;
    FrameRecord record;
};

LatestFrame& latest() {
    static LatestFrame frame;
    return frame;
}

// Counts a draw from before its target is read until it is done, so the GUI thread can tell
// when no frame is still going into a target it has just replaced (waitForDrawsInFlight).
// Both sides use sequentially consistent operations: a draw either read the target before
// it was replaced and is counted, or reads the new one.
class DrawInFlight {
public:
    explicit DrawInFlight(std::atomic<int>& count) : count_(count) { count_.fetch_add(1); }
    ~DrawInFlight() { count_.fetch_sub(1); }
    DrawInFlight(const DrawInFlight&) = delete;
    DrawInFlight& operator=(const DrawInFlight&) = delete;

private:
    std::atomic<int>& count_;
};

}  // namespace

void CallbackBase::waitForDrawsInFlight() const {
    while (drawsInFlight_.load() != 0) std::this_thread::yield();
}

void CallbackBase::setFrameSize(int width, int height) {
    width_.store(width);
    height_.store(height);
}

bool CallbackBase::draw(LiveTarget* target, const std::uint8_t* buffer, std::size_t size) const {
    const int width = width_.load(std::memory_order_relaxed);
    const int height = height_.load(std::memory_order_relaxed);
    if (!target || !buffer || width <= 0 || height <= 0) return false;
    const std::size_t stride = frameRowBytes(width);
    if (size < stride * static_cast<std::size_t>(height)) return false;
    target->submitFrame(buffer, width, height, static_cast<int>(stride));
    return true;
}

void SnapshotKindCallback::setTargetRect(const QRect& rect) {
    targetX_.store(rect.x());
    targetY_.store(rect.y());
    targetW_.store(rect.width());
    targetH_.store(rect.height());
}

QRect SnapshotKindCallback::targetRect() const {
    return QRect(targetX_.load(), targetY_.load(), targetW_.load(), targetH_.load());
}

FrameResult SnapshotKindCallback::handleFrame(double sampleTime, const std::uint8_t* buffer,
                                              std::size_t size) {
    const FrameHeader header = FrameHeader::forFrame(width_.load(), height_.load());
    if (liveFreeze_.load() == 0) {
        {
            DrawInFlight drawing(drawsInFlight_);
            draw(liveTarget_.load(), buffer, size);
        }
        int raised = 1;
        if (!captureWords().snapshotFlag.compare_exchange_strong(raised, 0)) return FrameResult::Ok;
    }
    if (!buffer) return FrameResult::InvalidPointer;

    // One owned copy per snapshot, shared read-only by the message and the writer, so
    // neither ever sees a frame that a later snapshot is writing into.
    auto frame = std::shared_ptr<FrameRecord>(new (std::nothrow) FrameRecord);
    if (!frame || !frame->assign(buffer, size, header, sampleTime)) return FrameResult::OutOfMemory;
    std::shared_ptr<const FrameRecord> shared = std::move(frame);
    postFrameMessage(captureWords().frameReadyTarget.load(), kFrameReadyMessage, shared);
    startSnapshotWriter(std::move(shared));
    return FrameResult::Ok;
}

bool MultiViewKindCallback::raiseSnapshotRequest() {
    int none = 0;
    return snapshotRequest_.compare_exchange_strong(none, 2);
}

void MultiViewKindCallback::serveSnapshot() {
    postFrameMessage(captureWords().notificationWindow.load(), kSnapshotFrameMessage,
                     latestFrameCopy());
    rearm(kAlarmClearTimer);
}

void MultiViewKindCallback::rearm(int timerId) {
    if (CaptureHost* host = owner_.load())
        host->hostTimers().armFromAnyThread(timerId, kWatchdogPeriodMs);
}

FrameResult MultiViewKindCallback::handleFrame(double sampleTime, const std::uint8_t* buffer,
                                               std::size_t size) {
    int request = snapshotRequest_.load();
    if (request == 2) {
        // Only one of the two callbacks may serve a single request.
        if (snapshotRequest_.compare_exchange_strong(request, 0)) serveSnapshot();
    } else if (request == 1) {
        serveSnapshot();
        return FrameResult::Ok;
    }

    const FrameHeader header = FrameHeader::forFrame(width_.load(), height_.load());
    {
        DrawInFlight drawing(drawsInFlight_);
        if (liveFreeze_.load() == 0) {
            draw(liveTarget_.load(), buffer, size);
            rearm(kNoFrameTimer);
        }
        if (LiveTarget* inset = insetTarget_.load()) {
            draw(inset, buffer, size);
            rearm(kNoFrameTimer);
        }
    }
    if (!buffer) return FrameResult::InvalidPointer;

    {
        LatestFrame& frame = latest();
        std::lock_guard lock(frame.mutex);
        if (!frame.record.assign(buffer, size, header, sampleTime)) return FrameResult::OutOfMemory;
    }
    if (captureWords().frameNoticeSwitch.load() != 0)
        postFrameMessage(captureWords().notificationWindow.load(), kFrameReadyMessage,
                         latestFrameCopy());
    return FrameResult::Ok;
}

std::shared_ptr<const FrameRecord> latestFrameCopy() {
    LatestFrame& frame = latest();
    std::lock_guard lock(frame.mutex);
    return frame.record.clone();
}

std::int32_t latestFrameBlockSize() {
    LatestFrame& frame = latest();
    std::lock_guard lock(frame.mutex);
    return frame.record.blockSize();
}

SnapshotKindCallback& snapshotKindCallback(bool hd, int index) {
    static SnapshotKindCallback callbacks[2][2];
    return callbacks[hd ? 1 : 0][index == 2 ? 1 : 0];
}

MultiViewKindCallback& multiViewKindCallback(bool hd, int index) {
    static MultiViewKindCallback callbacks[2][2];
    return callbacks[hd ? 1 : 0][index == 2 ? 1 : 0];
}

}  // namespace qelvo
