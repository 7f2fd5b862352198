#include "capture/CaptureMessages.h"
#include "capture/CaptureState.h"
#include "capture/CaptureTestWindow.h"
#include "capture/GrabberCallbacks.h"
#include "capture/SnapshotWriter.h"
#include "desktop/LiveTarget.h"
#include "system/Clock.h"
#include "system/SessionState.h"
#include "system/TempFolder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <new>

#include <filesystem>
#include <thread>
#include <vector>

namespace qelvo {
namespace {

using test::CaptureTestWindow;
using test::waitUntil;

// A synthetic frame: every byte derived from its position and a per-frame seed.
std::vector<std::uint8_t> frameBytes(int width, int height, std::uint8_t seed) {
    std::vector<std::uint8_t> v(frameRowBytes(width) * height);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::uint8_t>(seed + i);
    return v;
}

std::vector<std::string> jpegsIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Feeds frames from a thread of its own, as the streaming thread would.
void feed(GrabberCallback& cb, const std::vector<std::uint8_t>& frame, int count,
          double firstTime = 0.0) {
    std::thread streaming([&] {
        for (int i = 0; i < count; ++i)
            cb.BufferCB(firstTime + i / 30.0, frame.data(), frame.size());
    });
    streaming.join();
}

class CallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        prepareCaptureMessages();
        prepareSnapshotWriter();
        setStorageFolder(folder.path());
        previousClock = setClock(std::make_unique<FixedClock>(LocalTime{2026, 3, 4, 5, 6, 7}));
        captureWords().snapshotFlag.store(0);
        captureWords().frameReadyTarget.store(&window);
        captureWords().notificationWindow.store(&window);
        captureWords().frameNoticeSwitch.store(0);
    }
    void TearDown() override {
        waitForSnapshotWriters();
        setSnapshotWrittenObserver(nullptr);
        QCoreApplication::processEvents();
        forgetCaptureMessagesTo(&window);
        captureWords().frameReadyTarget.store(nullptr);
        captureWords().notificationWindow.store(nullptr);
        for (int i : {1, 2}) {
            for (bool hd : {false, true}) {
                snapshotKindCallback(hd, i).setLiveTarget(nullptr);
                multiViewKindCallback(hd, i).setLiveTarget(nullptr);
                multiViewKindCallback(hd, i).setInsetTarget(nullptr);
                multiViewKindCallback(hd, i).setOwner(nullptr);
                multiViewKindCallback(hd, i).setSnapshotRequest(0);
            }
        }
        setClock(std::move(previousClock));
    }

    test::TempFolder folder;
    CaptureTestWindow window;
    std::unique_ptr<Clock> previousClock;
};

TEST_F(CallbackTest, SnapshotKindDrawsEveryFrameAndServesOneRaisedFlag) {
    SnapshotKindCallback& cb = snapshotKindCallback(false, 1);
    cb.setFrameSize(64, 48);
    cb.setLiveTarget(window.panel(1037));
    cb.setLiveFreeze(0);
    const auto frame = frameBytes(64, 48, 3);

    feed(cb, frame, 3);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.panel(1037)->submittedFrames(), 3u);
    EXPECT_TRUE(window.messages.empty()) << "no snapshot without the flag";

    captureWords().snapshotFlag.store(1);
    feed(cb, frame, 2, 1.0);
    waitForSnapshotWriters();
    EXPECT_EQ(captureWords().snapshotFlag.load(), 0);
    ASSERT_TRUE(waitUntil([&] { return window.messages.size() == 1; }));
    EXPECT_EQ(window.messages[0].type, kFrameReadyMessage);
    ASSERT_TRUE(window.messages[0].frame);
    EXPECT_EQ(window.messages[0].frame->width(), 64);
    EXPECT_DOUBLE_EQ(window.messages[0].frame->sampleTime(), 1.0) << "the first frame after";
    EXPECT_EQ(jpegsIn(folder.path()), std::vector<std::string>{"20260304-050607.jpg"});
    // The writer tells the window when the picture is there.
    ASSERT_TRUE(waitUntil([&] { return window.written.size() == 1; }));
    EXPECT_EQ(window.written[0], folder / "20260304-050607.jpg");
}

TEST_F(CallbackTest, AGrabbedFrameIsSharedNotCopiedAndStaysUnchangedWhileHeld) {
    SnapshotKindCallback& cb = snapshotKindCallback(false, 1);
    cb.setFrameSize(64, 48);
    cb.setLiveTarget(window.panel(1037));
    cb.setLiveFreeze(0);
    const std::size_t row = frameRowBytes(64);
    // The grabber's copy: top-down rows of the stream into a pooled bottom-up block.
    FramePool grabberBlocks;
    auto grab = [&](const std::vector<std::uint8_t>& topDown, double time) {
        return copyFrameBottomUp(grabberBlocks, topDown.data() + row * 47,
                                 -static_cast<std::ptrdiff_t>(row), 64, 48, time);
    };
    captureWords().snapshotFlag.store(1);
    std::vector<std::uint8_t> saved;
    {
        const GrabbedFrame first = grab(frameBytes(64, 48, 3), 1.0);
        ASSERT_TRUE(first.pixels);
        saved.assign(first.data(), first.data() + first.length);
        cb.FrameCB(first);
        EXPECT_EQ(window.panel(1037)->newestFrameBytes(), first.data());
        ASSERT_TRUE(waitUntil([&] { return window.messages.size() == 1; }));
        ASSERT_TRUE(window.messages[0].frame);
        EXPECT_EQ(window.messages[0].frame->pixels(), first.data()) << "the snapshot shares it";
    }
    // Later frames of the same grabber never land in the block the snapshot holds.
    const auto later = frameBytes(64, 48, 90);
    for (int i = 0; i < 8; ++i) {
        const GrabbedFrame next = grab(later, 2.0 + i);
        EXPECT_NE(next.data(), window.messages[0].frame->pixels());
        cb.FrameCB(next);
    }
    EXPECT_EQ(0, std::memcmp(window.messages[0].frame->pixels(), saved.data(), saved.size()));
    EXPECT_EQ(window.messages[0].frame->length(), saved.size());
    EXPECT_DOUBLE_EQ(window.messages[0].frame->sampleTime(), 1.0);

    // The multi-view kind keeps the frame as its latest frame the same way.
    MultiViewKindCallback& mv = multiViewKindCallback(false, 1);
    mv.setFrameSize(64, 48);
    mv.setLiveTarget(window.panel(1015));
    mv.setLiveFreeze(0);
    const GrabbedFrame shown = grab(later, 20.0);
    mv.FrameCB(shown);
    EXPECT_EQ(latestFrameRecord()->pixels(), shown.data());
    EXPECT_EQ(window.panel(1015)->newestFrameBytes(), shown.data());
    // A frame whose size is not the negotiated one is neither shown nor kept.
    mv.setFrameSize(48, 64);
    mv.FrameCB(grab(later, 21.0));
    EXPECT_EQ(latestFrameRecord()->pixels(), shown.data());
}

TEST_F(CallbackTest, SharedFramesAreNeverRewrittenWhileThePainterOrASnapshotHoldsThem) {
    SnapshotKindCallback& cb = snapshotKindCallback(false, 1);
    cb.setFrameSize(64, 48);
    LiveTarget* panel = window.panel(1037);
    cb.setLiveTarget(panel);
    cb.setLiveFreeze(0);
    window.show();
    // Every frame is one grey level, its number; few pooled blocks, so reuse comes at once.
    FramePool grabberBlocks(2);
    const std::size_t row = frameRowBytes(64);
    std::atomic<bool> done{false};
    std::thread streaming([&] {
        std::vector<std::uint8_t> source(row * 48);
        for (int i = 0; i < 200; ++i) {
            std::fill(source.begin(), source.end(), static_cast<std::uint8_t>(i));
            if (i % 40 == 0) captureWords().snapshotFlag.store(1);
            cb.FrameCB(copyFrameBottomUp(grabberBlocks, source.data(),
                                         static_cast<std::ptrdiff_t>(row), 64, 48, i));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // pacing only
        }
        done = true;
    });
    int mixed = 0;
    while (!done) {
        const QImage shown = panel->grab().toImage();
        if (shown.pixel(0, 0) != shown.pixel(shown.width() - 1, shown.height() - 1) ||
            shown.pixel(0, 0) != shown.pixel(shown.width() / 2, shown.height() / 2))
            ++mixed;
        QCoreApplication::processEvents();
    }
    streaming.join();
    waitForSnapshotWriters();
    EXPECT_EQ(mixed, 0) << "a painted frame changed while it was painted";
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) >= 1; }));
    for (const auto& message : window.messages) {
        if (!message.frame) continue;
        const auto grey = static_cast<std::uint8_t>(message.frame->sampleTime());
        const std::uint8_t* p = message.frame->pixels();
        EXPECT_EQ(std::count(p, p + message.frame->length(), grey),
                  static_cast<std::ptrdiff_t>(message.frame->length()))
            << "snapshot of frame " << message.frame->sampleTime();
    }
}

TEST_F(CallbackTest, StillStreamSavesEveryFrameWithoutRequestAndNeverOverwrites) {
    SnapshotKindCallback& still = snapshotKindCallback(false, 2);
    still.setFrameSize(32, 24);
    still.setLiveTarget(window.panel(1040));
    still.setLiveFreeze(1);
    feed(still, frameBytes(32, 24, 1), 3);
    waitForSnapshotWriters();
    EXPECT_EQ(jpegsIn(folder.path()),
              (std::vector<std::string>{"20260304-050607-1.jpg", "20260304-050607-2.jpg",
                                        "20260304-050607.jpg"}));
    EXPECT_EQ(window.panel(1040)->submittedFrames(), 0u) << "a frozen callback draws nothing";
    EXPECT_EQ(captureWords().snapshotFlag.load(), 0);
}

TEST_F(CallbackTest, FramesNotOfTheirClaimedSizeAreDroppedAndASnapWaitsForAWholeOne) {
    SnapshotKindCallback& cb = snapshotKindCallback(false, 1);
    cb.setFrameSize(64, 48);
    cb.setLiveTarget(window.panel(1037));
    cb.setLiveFreeze(0);
    captureWords().snapshotFlag.store(1);
    EXPECT_EQ(cb.handleFrame(0, nullptr, 0), FrameResult::InvalidPointer);
    const auto shortFrame = frameBytes(64, 10, 0);
    const auto longFrame = frameBytes(64, 60, 0);
    EXPECT_EQ(cb.handleFrame(1, shortFrame.data(), shortFrame.size()), FrameResult::Ok);
    EXPECT_EQ(cb.handleFrame(2, longFrame.data(), longFrame.size()), FrameResult::Ok);
    EXPECT_EQ(window.panel(1037)->submittedFrames(), 0u);
    EXPECT_EQ(captureWords().snapshotFlag.load(), 1) << "the snapshot waits for a whole frame";

    const auto whole = frameBytes(64, 48, 7);
    EXPECT_EQ(cb.handleFrame(3, whole.data(), whole.size()), FrameResult::Ok);
    EXPECT_EQ(captureWords().snapshotFlag.load(), 0);
    ASSERT_TRUE(waitUntil([&] { return window.messages.size() == 1; }));
    EXPECT_DOUBLE_EQ(window.messages[0].frame->sampleTime(), 3.0);
    waitForSnapshotWriters();
    EXPECT_EQ(jpegsIn(folder.path()).size(), 1u);

    // While the size is unknown (0 x 0) nothing is drawn or saved.
    cb.setFrameSize(0, 0);
    captureWords().snapshotFlag.store(1);
    EXPECT_EQ(cb.handleFrame(4, whole.data(), whole.size()), FrameResult::Ok);
    EXPECT_EQ(window.panel(1037)->submittedFrames(), 1u);
    EXPECT_EQ(captureWords().snapshotFlag.load(), 1);
    captureWords().snapshotFlag.store(0);

    MultiViewKindCallback& mv = multiViewKindCallback(false, 1);
    mv.setFrameSize(64, 48);
    mv.setLiveTarget(window.panel(1015));
    mv.setLiveFreeze(0);
    EXPECT_EQ(mv.handleFrame(0, nullptr, 0), FrameResult::InvalidPointer);
    EXPECT_EQ(mv.handleFrame(0, shortFrame.data(), shortFrame.size()), FrameResult::Ok);
    EXPECT_EQ(window.panel(1015)->submittedFrames(), 0u);
}

TEST_F(CallbackTest, TheWriterQueueIsBoundedAndOnlyQueuedSnapshotsAreAnnounced) {
    // Hold the writer inside its first picture.
    std::mutex gate;
    std::condition_variable opened;
    bool open = false;
    std::atomic<int> held{0};
    setSnapshotWrittenObserver([&](const std::string&) {
        held.fetch_add(1);
        std::unique_lock lock(gate);
        opened.wait(lock, [&] { return open; });
    });
    SnapshotKindCallback& still = snapshotKindCallback(false, 2);
    still.setFrameSize(16, 8);
    still.setLiveTarget(nullptr);
    still.setLiveFreeze(1);
    // Messages keep their order: once this marker is in, every message posted before it is.
    auto deliverAll = [&] {
        const int markers = window.countMessages(kSnapshotFrameMessage) + 1;
        postFrameMessage(&window, kSnapshotFrameMessage, nullptr);
        return waitUntil([&] { return window.countMessages(kSnapshotFrameMessage) == markers; });
    };
    const auto frame = frameBytes(16, 8, 5);
    feed(still, frame, 1);
    ASSERT_TRUE(waitUntil([&] { return held.load() == 1; }));
    // Pending frame-ready notices are merged, so each one is delivered before the next.
    ASSERT_TRUE(deliverAll());
    for (std::size_t i = 0; i < kSnapshotQueueLength + 2; ++i) {
        feed(still, frame, 1);
        ASSERT_TRUE(deliverAll());
    }

    // A live snapshot refused by the full queue keeps its flag raised.
    SnapshotKindCallback& live = snapshotKindCallback(false, 1);
    live.setFrameSize(16, 8);
    live.setLiveTarget(window.panel(1037));
    live.setLiveFreeze(0);
    captureWords().snapshotFlag.store(1);
    feed(live, frame, 1);
    EXPECT_EQ(captureWords().snapshotFlag.load(), 1);
    ASSERT_TRUE(deliverAll());
    EXPECT_EQ(window.countMessages(kFrameReadyMessage), static_cast<int>(kSnapshotQueueLength) + 1)
        << "a frame the writer did not take is not announced";

    {
        std::lock_guard lock(gate);
        open = true;
    }
    opened.notify_all();
    waitForSnapshotWriters();
    EXPECT_EQ(jpegsIn(folder.path()).size(), kSnapshotQueueLength + 1);
    feed(live, frame, 1);
    EXPECT_EQ(captureWords().snapshotFlag.load(), 0);
    waitForSnapshotWriters();
    EXPECT_EQ(jpegsIn(folder.path()).size(), kSnapshotQueueLength + 2);
}

TEST(Callbacks, AFrameThatRunsOutOfMemoryIsDroppedWithoutLeavingTheCallback) {
    // The callback runs inside the media framework's C code, which no exception may cross.
    struct OutOfMemory : CallbackBase {
        FrameResult handleGrabbed(const GrabbedFrame&) override { throw std::bad_alloc(); }
    } callback;
    const std::uint8_t byte = 0;
    EXPECT_NO_THROW(callback.BufferCB(0, &byte, 1));
    EXPECT_NO_THROW(callback.BufferCB(0, &byte, 1)) << "and the next frame is handled again";
    EXPECT_NO_THROW(callback.FrameCB(GrabbedFrame{}));
}

TEST_F(CallbackTest, AFrameWithoutMemoryForItsCopyStillServesARequestAndFeedsTheWatchdog) {
    MultiViewKindCallback& live = multiViewKindCallback(false, 1);
    live.setOwner(&window);
    live.setLiveTarget(window.panel(1015));
    live.setLiveFreeze(0);
    live.setFrameSize(16, 8);
    window.hostTimers().allowArmFromAnyThread(MultiViewKindCallback::kNoFrameTimer);
    window.hostTimers().allowArmFromAnyThread(MultiViewKindCallback::kAlarmClearTimer);
    ASSERT_TRUE(live.raiseSnapshotRequest());
    const std::uint8_t byte = 0;
    // A length no allocation can satisfy stands in for memory running out.
    std::thread streaming([&] { live.BufferCB(0, &byte, SIZE_MAX / 2); });
    streaming.join();
    EXPECT_EQ(live.snapshotRequest(), 0);
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kSnapshotFrameMessage) == 1; }));
    EXPECT_TRUE(window.hostTimers().isActive(MultiViewKindCallback::kNoFrameTimer));
    EXPECT_EQ(window.panel(1015)->submittedFrames(), 0u) << "nothing to draw";
}

TEST_F(CallbackTest, ATargetDestroyedWhileFramesFlowIsLetGoOfFirst) {
    SnapshotKindCallback& cb = snapshotKindCallback(false, 1);
    cb.setFrameSize(64, 48);
    cb.setLiveFreeze(0);
    auto* target = new LiveTarget(&window);
    target->resize(64, 48);
    cb.setLiveTarget(target);
    const auto frame = frameBytes(64, 48, 1);
    std::atomic<bool> stop{false};
    std::atomic<int> handled{0};
    std::thread streaming([&] {
        while (!stop.load()) {
            cb.BufferCB(0, frame.data(), frame.size());
            handled.fetch_add(1);
        }
    });
    ASSERT_TRUE(waitUntil([&] { return target->submittedFrames() >= 3; }));
    delete target;
    EXPECT_EQ(cb.liveTarget(), nullptr);
    const int before = handled.load();
    ASSERT_TRUE(waitUntil([&] { return handled.load() >= before + 3; }));  // frames go on
    stop.store(true);
    streaming.join();
}

TEST_F(CallbackTest, MultiViewServesRequestWithLatestFrameAndArmsAlarmClear) {
    MultiViewKindCallback& live = multiViewKindCallback(false, 1);
    MultiViewKindCallback& still = multiViewKindCallback(false, 2);
    window.hostTimers().allowArmFromAnyThread(MultiViewKindCallback::kNoFrameTimer);
    window.hostTimers().allowArmFromAnyThread(MultiViewKindCallback::kAlarmClearTimer);
    for (MultiViewKindCallback* cb : {&live, &still}) {
        cb->setFrameSize(16, 8);
        cb->setOwner(&window);
    }
    live.setLiveTarget(window.panel(1015));
    live.setLiveFreeze(0);
    live.setSnapshotRequest(0);
    still.setLiveTarget(window.panel(1018));
    still.setLiveFreeze(1);
    still.setSnapshotRequest(1);

    const auto first = frameBytes(16, 8, 10);
    const auto second = frameBytes(16, 8, 20);
    feed(live, first, 1, 5.0);
    EXPECT_TRUE(live.raiseSnapshotRequest());
    EXPECT_FALSE(live.raiseSnapshotRequest()) << "only raised from 0";
    feed(live, second, 1, 6.0);
    EXPECT_EQ(live.snapshotRequest(), 0);

    // A still frame carries the live callback's latest frame, and copies nothing itself.
    const auto stillFrame = frameBytes(16, 8, 99);
    feed(still, stillFrame, 1, 7.0);

    ASSERT_TRUE(waitUntil([&] { return window.messages.size() == 2; }));
    ASSERT_TRUE(window.messages[0].frame);
    EXPECT_EQ(window.messages[0].type, kSnapshotFrameMessage);
    EXPECT_EQ(0, std::memcmp(window.messages[0].frame->pixels(), first.data(), first.size()))
        << "request served with the frame copied before this one";
    ASSERT_TRUE(window.messages[1].frame);
    EXPECT_EQ(0, std::memcmp(window.messages[1].frame->pixels(), second.data(), second.size()));
    EXPECT_DOUBLE_EQ(window.messages[1].frame->sampleTime(), 6.0);
    EXPECT_EQ(window.panel(1018)->submittedFrames(), 0u);
    EXPECT_EQ(window.panel(1015)->submittedFrames(), 2u);

    ASSERT_TRUE(waitUntil([&] {
        return window.countExpiries(MultiViewKindCallback::kAlarmClearTimer) >= 1 &&
               window.countExpiries(MultiViewKindCallback::kNoFrameTimer) >= 1;
    }));
    // The window kills both when they fire, so each fires once.
    EXPECT_EQ(window.countExpiries(MultiViewKindCallback::kAlarmClearTimer), 1);
    EXPECT_EQ(window.countExpiries(MultiViewKindCallback::kNoFrameTimer), 1);
}

TEST_F(CallbackTest, FrozenPaneLeavesWatchdogAloneUnlessAnInsetShowsFrames) {
    MultiViewKindCallback& live = multiViewKindCallback(true, 1);
    window.hostTimers().allowArmFromAnyThread(MultiViewKindCallback::kNoFrameTimer);
    live.setFrameSize(16, 8);
    live.setOwner(&window);
    live.setLiveTarget(window.panel(1015));
    live.setLiveFreeze(1);
    live.setSnapshotRequest(0);
    const auto frame = frameBytes(16, 8, 1);
    feed(live, frame, 2);
    EXPECT_FALSE(window.hostTimers().isActive(MultiViewKindCallback::kNoFrameTimer));
    EXPECT_EQ(window.panel(1015)->submittedFrames(), 0u);

    live.setInsetTarget(window.panel(1016));
    feed(live, frame, 2);
    EXPECT_TRUE(window.hostTimers().isActive(MultiViewKindCallback::kNoFrameTimer));
    EXPECT_EQ(window.panel(1016)->submittedFrames(), 2u);
}

TEST_F(CallbackTest, LatestFrameRecordKeepsItsLargestBlockAndOnlyTheNewestNoticeWaits) {
    MultiViewKindCallback& live = multiViewKindCallback(false, 1);
    live.setOwner(&window);
    live.setLiveFreeze(1);
    live.setSnapshotRequest(0);
    live.setFrameSize(64, 48);
    const auto big = frameBytes(64, 48, 1);
    feed(live, big, 1);
    const std::int32_t block = latestFrameBlockSize();
    EXPECT_GE(block, static_cast<std::int32_t>(big.size()));
    live.setFrameSize(16, 8);
    captureWords().frameNoticeSwitch.store(1);
    const auto small = frameBytes(16, 8, 2);
    feed(live, small, 3, 4.0);
    EXPECT_EQ(latestFrameBlockSize(), block);
    // The window has not run meanwhile: of the three notices only the newest waits for it,
    // and of six snapshots served the last four.
    EXPECT_EQ(pendingCaptureMessages(), 1u);
    for (int i = 0; i < 6; ++i) postFrameMessage(&window, kSnapshotFrameMessage, nullptr);
    EXPECT_EQ(pendingCaptureMessages(), 5u);
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kSnapshotFrameMessage) == 4; }));
    QCoreApplication::processEvents();
    ASSERT_EQ(window.countMessages(kFrameReadyMessage), 1);
    EXPECT_EQ(window.messages.size(), 5u);
    ASSERT_TRUE(window.messages[0].frame);
    EXPECT_EQ(window.messages[0].frame->length(), small.size());
    EXPECT_EQ(window.messages[0].frame->width(), 16);
    EXPECT_DOUBLE_EQ(window.messages[0].frame->sampleTime(), 4.0 + 2 / 30.0);
}

}  // namespace
}  // namespace qelvo
