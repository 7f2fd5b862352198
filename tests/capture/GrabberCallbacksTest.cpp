#include "capture/CaptureMessages.h"
#include "capture/CaptureState.h"
#include "capture/CaptureTestWindow.h"
#include "capture/GrabberCallbacks.h"
#include "capture/SnapshotWriter.h"
#include "platform/Clock.h"
#include "platform/SessionState.h"
#include "platform/TempFolder.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

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
        setStorageFolder(folder.path());
        previousClock = setClock(std::make_unique<FixedClock>(LocalTime{2026, 3, 4, 5, 6, 7}));
        captureWords().snapshotFlag.store(0);
        captureWords().frameReadyTarget.store(&window);
        captureWords().notificationWindow.store(&window);
        captureWords().frameNoticeSwitch.store(0);
    }
    void TearDown() override {
        waitForSnapshotWriters();
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

TEST_F(CallbackTest, MissingOrShortBuffersAreRefusedSafely) {
    SnapshotKindCallback& cb = snapshotKindCallback(false, 1);
    cb.setFrameSize(64, 48);
    cb.setLiveTarget(window.panel(1037));
    cb.setLiveFreeze(0);
    captureWords().snapshotFlag.store(1);
    EXPECT_EQ(cb.handleFrame(0, nullptr, 0), FrameResult::InvalidPointer);

    // A buffer shorter than the negotiated size is neither drawn nor written as a picture.
    captureWords().snapshotFlag.store(1);
    const auto shortFrame = frameBytes(64, 10, 0);
    EXPECT_EQ(cb.handleFrame(0, shortFrame.data(), shortFrame.size()), FrameResult::Ok);
    waitForSnapshotWriters();
    EXPECT_EQ(window.panel(1037)->submittedFrames(), 0u);
    EXPECT_TRUE(jpegsIn(folder.path()).empty());

    MultiViewKindCallback& mv = multiViewKindCallback(false, 1);
    mv.setFrameSize(64, 48);
    EXPECT_EQ(mv.handleFrame(0, nullptr, 0), FrameResult::InvalidPointer);
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

TEST_F(CallbackTest, LatestFrameRecordKeepsItsLargestBlockAndFrameNoticesCarryCopies) {
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
    feed(live, small, 3);
    EXPECT_EQ(latestFrameBlockSize(), block);
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) == 3; }));
    for (const auto& m : window.messages) {
        ASSERT_TRUE(m.frame);
        EXPECT_EQ(m.frame->length(), small.size());
        EXPECT_EQ(m.frame->width(), 16);
    }
}

}  // namespace
}  // namespace qelvo
