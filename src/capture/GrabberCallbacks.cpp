#include "capture/GrabberCallbacks.h"

#include "capture/CaptureHost.h"
#include "capture/CaptureMessages.h"
#include "capture/SnapshotWriter.h"
#include "capture/WindowTimers.h"
#include "desktop/LiveTarget.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

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

}  // namespace

void CallbackBase::setFrameSize(int width, int height) {
    if (width <= 0 || height <= 0) width = height = 0;
    size_.store(static_cast<std::uint64_t>(static_cast<std::uint32_t>(width)) << 32 |
                static_cast<std::uint32_t>(height));
}

CallbackBase::FrameSize CallbackBase::frameSize() const {
    const std::uint64_t packed = size_.load();
    FrameSize size;
    size.width = unpackWidth(packed);
    size.height = unpackHeight(packed);
    size.bytes = frameRowBytes(size.width) * static_cast<std::size_t>(std::max(size.height, 0));
    return size;
}

void CallbackBase::BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t size) {
    std::lock_guard lock(frameMutex_);
    // This runs inside the media framework's C code, which no exception may cross: a frame
    // whose hand-over runs out of memory (a queue or message entry) is dropped.
    try {
        handleFrame(sampleTime, buffer, size);
    } catch (const std::bad_alloc&) {
    }
}

void CallbackBase::FrameCB(const GrabbedFrame& frame) {
    std::lock_guard lock(frameMutex_);
    try {
        handleGrabbed(frame);
    } catch (const std::bad_alloc&) {
    }
}

FrameResult CallbackBase::handleFrame(double sampleTime, const std::uint8_t* buffer,
                                      std::size_t size) {
    GrabbedFrame frame;
    frame.sampleTime = sampleTime;
    if (buffer) {
        // The bytes go away when this call returns: they are copied once, as they come, and
        // every hand-over after this shares that copy.
        std::shared_ptr<PixelBlock> block = copies_.acquire(size);
        if (!block) {
            // The frame still arrived: it is neither drawn nor kept, but a snapshot request
            // is served from the frame kept before and the no-frame watchdog stays quiet.
            handleGrabbed(frame);
            return FrameResult::OutOfMemory;
        }
        if (size > 0) std::memcpy(block->data(), buffer, size);
        const FrameSize claimed = frameSize();
        frame.pixels = std::move(block);
        frame.length = size;
        frame.width = claimed.width;
        frame.height = claimed.height;
    }
    return handleGrabbed(frame);
}

void CallbackBase::waitOutFrameInFlight() {
    std::lock_guard lock(frameMutex_);
}

void CallbackBase::forgetTarget(LiveTarget* target) {
    LiveTarget* expected = target;
    liveTarget_.compare_exchange_strong(expected, nullptr);
    waitOutFrameInFlight();
}

void CallbackBase::draw(LiveTarget* target, const GrabbedFrame& frame) {
    if (target) target->submitSharedFrame(frame);
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

FrameResult SnapshotKindCallback::handleGrabbed(const GrabbedFrame& grabbed) {
    const FrameSize frameSize = this->frameSize();
    // A frame that is not what the size claims is dropped whole: not drawn, not saved, and
    // a raised snapshot flag waits for the next whole frame.
    if (!isWholeFrame(frameSize, grabbed))
        return grabbed.pixels ? FrameResult::Ok : FrameResult::InvalidPointer;
    std::atomic<int>& snapshotFlag = captureWords().snapshotFlag;
    const bool live = liveFreeze_.load() == 0;
    if (live) {
        draw(liveTarget_.load(), grabbed);
        int raised = 1;
        if (!snapshotFlag.compare_exchange_strong(raised, 0)) return FrameResult::Ok;
    }

    // One record per snapshot over the frame's read-only block, shared by the writer and the
    // message: nobody writes into that block while they hold it, so neither ever sees a
    // later frame.  The writer has the frame before the window hears of it.  A snapshot
    // that cannot be handed over now (no memory, the writer's queue full) is taken from the
    // next frame instead.
    auto frame = std::shared_ptr<FrameRecord>(new (std::nothrow) FrameRecord);
    if (!frame ||
        !frame->adopt(grabbed.pixels, grabbed.length, frameSize.header(), grabbed.sampleTime)) {
        if (live) snapshotFlag.store(1);
        return FrameResult::OutOfMemory;
    }
    std::shared_ptr<const FrameRecord> shared = std::move(frame);
    QObject* window = captureWords().frameReadyTarget.load();
    if (!queueSnapshot(shared, window)) {
        if (live) snapshotFlag.store(1);
        return FrameResult::Ok;
    }
    postFrameMessage(window, kFrameReadyMessage, std::move(shared));
    return FrameResult::Ok;
}

bool MultiViewKindCallback::raiseSnapshotRequest() {
    int none = 0;
    return snapshotRequest_.compare_exchange_strong(none, 2);
}

void MultiViewKindCallback::serveSnapshot() {
    postFrameMessage(captureWords().notificationWindow.load(), kSnapshotFrameMessage,
                     latestFrameRecord());
    rearm(kAlarmClearTimer);
}

void MultiViewKindCallback::rearm(int timerId) {
    if (CaptureHost* host = owner_.load())
        host->hostTimers().armFromAnyThread(timerId, kWatchdogPeriodMs);
}

void MultiViewKindCallback::forgetTarget(LiveTarget* target) {
    LiveTarget* expected = target;
    insetTarget_.compare_exchange_strong(expected, nullptr);
    CallbackBase::forgetTarget(target);
}

FrameResult MultiViewKindCallback::handleGrabbed(const GrabbedFrame& grabbed) {
    int request = snapshotRequest_.load();
    if (request == 2) {
        // Only one of the two callbacks may serve a single request.
        if (snapshotRequest_.compare_exchange_strong(request, 0)) serveSnapshot();
    } else if (request == 1) {
        serveSnapshot();
        return FrameResult::Ok;
    }

    const FrameSize frameSize = this->frameSize();
    const bool whole = isWholeFrame(frameSize, grabbed);
    if (liveFreeze_.load() == 0) {
        if (whole) draw(liveTarget_.load(), grabbed);
        rearm(kNoFrameTimer);
    }
    if (LiveTarget* inset = insetTarget_.load()) {
        if (whole) draw(inset, grabbed);
        rearm(kNoFrameTimer);
    }
    if (!grabbed.pixels) return FrameResult::InvalidPointer;
    if (!whole) return FrameResult::Ok;

    {
        // The record takes the frame's block as it is; the frame it held before goes back
        // to its pool once its last reader lets go.
        LatestFrame& frame = latest();
        std::lock_guard lock(frame.mutex);
        if (!frame.record.adopt(grabbed.pixels, grabbed.length, frameSize.header(),
                                grabbed.sampleTime))
            return FrameResult::OutOfMemory;
    }
    if (captureWords().frameNoticeSwitch.load() != 0)
        postFrameMessage(captureWords().notificationWindow.load(), kFrameReadyMessage,
                         latestFrameRecord());
    return FrameResult::Ok;
}

std::shared_ptr<const FrameRecord> latestFrameRecord() {
    LatestFrame& frame = latest();
    std::lock_guard lock(frame.mutex);
    return frame.record.sharedCopy();
}

std::int32_t latestFrameBlockSize() {
    LatestFrame& frame = latest();
    std::lock_guard lock(frame.mutex);
    return frame.record.blockSize();
}

namespace {

struct Callbacks {
    SnapshotKindCallback snapshot[2][2];
    MultiViewKindCallback multiView[2][2];

    void forget(LiveTarget* target) {
        for (auto& variant : snapshot)
            for (auto& cb : variant) cb.forgetTarget(target);
        for (auto& variant : multiView)
            for (auto& cb : variant) cb.forgetTarget(target);
    }
};

Callbacks& callbacks();

void forgetRetiringTarget(LiveTarget* target) {
    callbacks().forget(target);
}

Callbacks& callbacks() {
    static Callbacks* all = [] {
        // They live for the whole run; a target destroyed while one still refers to it is
        // let go of first.
        auto* c = new Callbacks;
        LiveTarget::setRetiringHook(&forgetRetiringTarget);
        return c;
    }();
    return *all;
}

}  // namespace

SnapshotKindCallback& snapshotKindCallback(bool hd, int index) {
    return callbacks().snapshot[hd ? 1 : 0][index == 2 ? 1 : 0];
}

MultiViewKindCallback& multiViewKindCallback(bool hd, int index) {
    return callbacks().multiView[hd ? 1 : 0][index == 2 ? 1 : 0];
}

}  // namespace qelvo
