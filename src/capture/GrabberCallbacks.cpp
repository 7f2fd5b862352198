#include "capture/GrabberCallbacks.h"

#include "capture/FrameWatchdog.h"
#include "capture/SnapshotWriter.h"
#include "desktop/LiveTarget.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

namespace qelvo {

void CaptureChannel::feedWatchdog() {
    if (FrameWatchdog* watchdog = watchdog_.load()) watchdog->feed();
}

bool CaptureChannel::keepLatest(const GrabbedFrame& frame, const FrameHeader& header) {
    // The record takes the frame's block as it is; the frame it held before goes back to its
    // pool once its last reader lets go.
    std::lock_guard lock(latestMutex_);
    return latest_.adopt(frame.pixels, frame.length, header, frame.sampleTime);
}

std::shared_ptr<const FrameRecord> CaptureChannel::latest() {
    std::lock_guard lock(latestMutex_);
    return latest_.sharedCopy();
}

std::int32_t CaptureChannel::latestBlockSize() {
    std::lock_guard lock(latestMutex_);
    return latest_.blockSize();
}

void CaptureChannel::setSnapshotObjective(SharedSnapshotObjective objective) {
    std::lock_guard lock(objectiveMutex_);
    objective_ = std::move(objective);
}

SharedSnapshotObjective CaptureChannel::snapshotObjective() {
    std::lock_guard lock(objectiveMutex_);
    return objective_;
}

CallbackBase::~CallbackBase() {
    if (LiveTarget* target = liveTarget_.load()) target->removeRetiringObserver(this);
}

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

void CallbackBase::setLiveTarget(LiveTarget* target) {
    follow(liveTarget_.exchange(target), target);
}

void CallbackBase::follow(LiveTarget* before, LiveTarget* now) {
    if (before == now) return;
    // One observation per target: a target still referred to otherwise stays observed.
    if (before && !refersTo(before)) before->removeRetiringObserver(this);
    if (now) now->addRetiringObserver(this, [this](LiveTarget* t) { forgetTarget(t); });
}

void CallbackBase::forgetTarget(LiveTarget* target) {
    LiveTarget* expected = target;
    liveTarget_.compare_exchange_strong(expected, nullptr);
    waitOutFrameInFlight();
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

void CallbackBase::draw(LiveTarget* target, const GrabbedFrame& frame) {
    if (target) target->submitSharedFrame(frame);
}

GrabbedFrame CallbackBase::liveFrame(const GrabbedFrame& grabbed, const FrameSize& size) {
    if (channel_->liveFlatField.load() == 0) return grabbed;
    const SharedSnapshotObjective objective = channel_->snapshotObjective();
    if (!objective || !objective->flatField ||
        !objective->flatField->fits(size.width, size.height, nullptr))
        return grabbed;
    std::shared_ptr<PixelBlock> block = copies_.acquire(grabbed.length);
    if (!block) return grabbed;
    objective->flatField->correctGrabberFrame(grabbed.data(), block->data(), grabbed.length);
    GrabbedFrame corrected = grabbed;
    corrected.pixels = std::move(block);
    return corrected;
}

FrameResult SnapshotWritingCallback::handleGrabbed(const GrabbedFrame& grabbed) {
    const FrameSize frameSize = this->frameSize();
    // A frame that is not what the size claims is dropped whole: not drawn, not saved, and
    // a raised snapshot flag waits for the next whole frame.
    if (!isWholeFrame(frameSize, grabbed))
        return grabbed.pixels ? FrameResult::Ok : FrameResult::InvalidPointer;
    std::atomic<int>& snapshotFlag = channel_->snapshotFlag;
    const bool live = liveFreeze_.load() == 0;
    if (!live) return handOver(grabbed, frameSize, false, channel_->snapshotObjective(), nullptr);

    draw(liveTarget_.load(), liveFrame(grabbed, frameSize));
    channel_->feedWatchdog();
    channel_->feedTap(grabbed);
    if (averaging_) {
        // An average under way: a frame of another size starts the snapshot over.
        if (averaging_->width() != frameSize.width || averaging_->height() != frameSize.height) {
            averaging_.reset();
            averagingObjective_.reset();
            snapshotFlag.store(1);
            return FrameResult::Ok;
        }
        if (!averaging_->complete()) averaging_->add(grabbed.data(), grabbed.length);
        if (!averaging_->complete()) return FrameResult::Ok;
        // Complete: handed over now, or with the next frame while the writer is full.
        const FrameResult result =
            handOver(grabbed, frameSize, true, averagingObjective_, averaging_);
        return result;
    }
    int raised = 1;
    if (!snapshotFlag.compare_exchange_strong(raised, 0)) return FrameResult::Ok;
    SharedSnapshotObjective objective = channel_->snapshotObjective();
    if (objective && objective->average > 1) {
        averaging_ = std::make_shared<acquire::FrameAverager>(frameSize.width, frameSize.height,
                                                              objective->average);
        averaging_->add(grabbed.data(), grabbed.length);
        averagingObjective_ = std::move(objective);
        return FrameResult::Ok;
    }
    return handOver(grabbed, frameSize, true, std::move(objective), nullptr);
}

FrameResult SnapshotWritingCallback::handOver(
    const GrabbedFrame& grabbed, const FrameSize& frameSize, bool live,
    SharedSnapshotObjective objective, std::shared_ptr<const acquire::FrameAverager> average) {
    std::atomic<int>& snapshotFlag = channel_->snapshotFlag;
    // A snapshot that cannot be handed over now is taken again from the next frame: a plain
    // one raises the flag again, an average stays complete and goes with the next frame.
    const auto retry = [&] {
        if (live && !average) snapshotFlag.store(1);
    };
    // One record per snapshot over the frame's read-only block, shared by the writer and the
    // session: nobody writes into that block while they hold it, so neither ever sees a
    // later frame.  The writer has the frame before the session hears of it.
    auto frame = std::shared_ptr<FrameRecord>(new (std::nothrow) FrameRecord);
    if (!frame ||
        !frame->adopt(grabbed.pixels, grabbed.length, frameSize.header(), grabbed.sampleTime)) {
        retry();
        return FrameResult::OutOfMemory;
    }
    std::shared_ptr<const FrameRecord> shared = std::move(frame);
    if (!queueSnapshot(shared, channel_->sharedMailbox(), std::move(objective), average)) {
        retry();
        return FrameResult::Ok;
    }
    if (average) {
        averaging_.reset();
        averagingObjective_.reset();
    }
    channel_->mailbox().post({CaptureLetter::Kind::SnapshotFrame, std::move(shared), {}, true});
    return FrameResult::Ok;
}

FrameHandingCallback::~FrameHandingCallback() {
    if (LiveTarget* inset = insetTarget_.load()) inset->removeRetiringObserver(this);
}

void FrameHandingCallback::setInsetTarget(LiveTarget* target) {
    follow(insetTarget_.exchange(target), target);
}

void FrameHandingCallback::forgetTarget(LiveTarget* target) {
    LiveTarget* expected = target;
    insetTarget_.compare_exchange_strong(expected, nullptr);
    CallbackBase::forgetTarget(target);
}

bool FrameHandingCallback::raiseSnapshotRequest() {
    int none = 0;
    return snapshotRequest_.compare_exchange_strong(none, 2);
}

void FrameHandingCallback::serveSnapshot() {
    CaptureLetter letter{CaptureLetter::Kind::SnapshotFrame, channel_->latest(), {}, true};
    letter.timeNs = monotonicNs();
    channel_->mailbox().post(std::move(letter));
}

void FrameHandingCallback::gather(const GrabbedFrame& grabbed, const FrameSize& size) {
    const int frames = std::max(1, gathering_->average);
    // A frame of another size starts the snapshot over.
    if (gathered_ && (gathered_->width() != size.width || gathered_->height() != size.height))
        gathered_.reset();
    if (!gathered_)
        gathered_ = std::make_unique<acquire::FrameAverager>(size.width, size.height, frames);
    if (!gathered_->add(grabbed.data(), grabbed.length) || !gathered_->complete()) return;

    std::vector<std::uint8_t> bytes =
        frames > 1 ? gathered_->averageGrabberLayout()
                   : std::vector<std::uint8_t>(grabbed.data(), grabbed.data() + grabbed.length);
    if (const auto& flat = gathering_->flatField;
        flat && flat->fits(size.width, size.height, nullptr))
        flat->correctGrabberFrame(bytes.data(), bytes.data(), bytes.size());
    gathered_.reset();
    gathering_.reset();
    auto frame = std::make_shared<FrameRecord>();
    if (!frame->assign(bytes.data(), bytes.size(), size.header(), grabbed.sampleTime)) {
        // Out of memory: the frame kept before stands in, as for a plain snapshot.
        serveSnapshot();
        return;
    }
    CaptureLetter letter{CaptureLetter::Kind::SnapshotFrame, std::move(frame), {}, true};
    letter.timeNs = monotonicNs();
    channel_->mailbox().post(std::move(letter));
}

FrameResult FrameHandingCallback::handleGrabbed(const GrabbedFrame& grabbed) {
    int request = snapshotRequest_.load();
    if (request == 2) {
        // Only one of the two callbacks may serve a single request.
        if (snapshotRequest_.compare_exchange_strong(request, 0)) {
            SharedSnapshotObjective objective = channel_->snapshotObjective();
            if (objective && (objective->average > 1 || objective->flatField))
                gathering_ = std::move(objective);  // made from this frame on
            else
                serveSnapshot();
        }
    } else if (request == 1) {
        serveSnapshot();
        return FrameResult::Ok;
    }

    const FrameSize frameSize = this->frameSize();
    const bool whole = isWholeFrame(frameSize, grabbed);
    LiveTarget* live = liveFreeze_.load() == 0 ? liveTarget_.load() : nullptr;
    LiveTarget* inset = insetTarget_.load();
    const GrabbedFrame shown = whole && (live || inset) ? liveFrame(grabbed, frameSize) : grabbed;
    if (liveFreeze_.load() == 0) {
        if (whole) draw(live, shown);
        channel_->feedWatchdog();
    }
    if (inset) {
        if (whole) draw(inset, shown);
        channel_->feedWatchdog();
    }
    if (!grabbed.pixels) return FrameResult::InvalidPointer;
    if (!whole) return FrameResult::Ok;

    if (liveFreeze_.load() == 0) channel_->feedTap(grabbed);
    if (gathering_) gather(grabbed, frameSize);
    if (!channel_->keepLatest(grabbed, frameSize.header())) return FrameResult::OutOfMemory;
    if (channel_->frameNotices.load() != 0)
        channel_->mailbox().post({CaptureLetter::Kind::FrameNotice, channel_->latest(), {}, true});
    return FrameResult::Ok;
}

}  // namespace qelvo
