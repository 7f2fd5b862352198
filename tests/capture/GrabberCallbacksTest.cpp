#include "capture/CaptureMailbox.h"
#include "capture/FrameWatchdog.h"
#include "capture/GrabberCallbacks.h"
#include "capture/SnapshotWriter.h"
#include "desktop/LiveTarget.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"
#include "system/Clock.h"
#include "system/SessionState.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDialog>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "acquire/FlatField.h"
#include "picturefiles/PictureFile.h"

namespace qelvo {

// Owns one session's mailbox and channel, as a session does, and collects the letters they
// carry on the GUI thread.
class LetterBox : public QObject {
    Q_OBJECT
public:
    LetterBox()
        : mailbox(std::make_shared<CaptureMailbox>(this)),
          channel(std::make_shared<CaptureChannel>(mailbox)) {}
    ~LetterBox() override { mailbox->close(); }

    Q_INVOKABLE void drainMailbox() {
        for (CaptureLetter& letter : mailbox->take()) letters.push_back(std::move(letter));
    }
    int count(CaptureLetter::Kind kind) const {
        return static_cast<int>(std::count_if(letters.begin(), letters.end(),
                                              [kind](const auto& l) { return l.kind == kind; }));
    }
    std::vector<const CaptureLetter*> of(CaptureLetter::Kind kind) const {
        std::vector<const CaptureLetter*> found;
        for (const CaptureLetter& letter : letters)
            if (letter.kind == kind) found.push_back(&letter);
        return found;
    }

    std::shared_ptr<CaptureMailbox> mailbox;
    std::shared_ptr<CaptureChannel> channel;
    std::vector<CaptureLetter> letters;
};

namespace {

using Kind = CaptureLetter::Kind;
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

// A window with a view panel, a clip and four panes, and the channel of one session.
class CallbackTest : public ::testing::Test {
protected:
    void SetUp() override {
        prepareSnapshotWriter();
        setStorageFolder(folder.path());
        previousClock = setClock(std::make_unique<FixedClock>(LocalTime{2026, 3, 4, 5, 6, 7}));
        window.resize(1024, 768);
        view = target({10, 10, 640, 480});
        clip = target({660, 10, 120, 90});
        for (int i = 0; i < 4; ++i) panes[i] = target({10 + 170 * i, 500, 160, 120});
    }
    void TearDown() override {
        waitForSnapshotWriters();
        setSnapshotWrittenObserver(nullptr);
        QCoreApplication::processEvents();
        setClock(std::move(previousClock));
    }
    LiveTarget* target(const QRect& rect) {
        auto* t = new LiveTarget(&window);
        t->setGeometry(rect);
        return t;
    }
    template <typename Callback>
    std::shared_ptr<Callback> make() {
        return std::make_shared<Callback>(box.channel);
    }

    test::TempFolder folder;
    std::unique_ptr<Clock> previousClock;
    LetterBox box;
    QDialog window;
    LiveTarget* view = nullptr;
    LiveTarget* clip = nullptr;
    std::array<LiveTarget*, 4> panes{};
};

TEST_F(CallbackTest, WritingDrawsEveryFrameAndServesOneRaisedFlag) {
    auto cb = make<SnapshotWritingCallback>();
    cb->setFrameSize(64, 48);
    cb->setLiveTarget(view);
    const auto frame = frameBytes(64, 48, 3);

    feed(*cb, frame, 3);
    QCoreApplication::processEvents();
    EXPECT_EQ(view->submittedFrames(), 3u);
    EXPECT_TRUE(box.letters.empty()) << "no snapshot without the flag";

    box.channel->snapshotFlag.store(1);
    feed(*cb, frame, 2, 1.0);
    waitForSnapshotWriters();
    EXPECT_EQ(box.channel->snapshotFlag.load(), 0);
    ASSERT_TRUE(waitUntil([&] { return box.count(Kind::SnapshotWritten) == 1; }));
    const auto taken = box.of(Kind::SnapshotFrame);
    ASSERT_EQ(taken.size(), 1u);
    ASSERT_TRUE(taken[0]->frame);
    EXPECT_EQ(taken[0]->frame->width(), 64);
    EXPECT_DOUBLE_EQ(taken[0]->frame->sampleTime(), 1.0) << "the first frame after";
    EXPECT_EQ(jpegsIn(folder.path()), std::vector<std::string>{"20260304-050607.jpg"});
    // The writer tells the session when the picture is there.
    const auto written = box.of(Kind::SnapshotWritten);
    EXPECT_EQ(written[0]->text, folder / "20260304-050607.jpg");
    EXPECT_TRUE(written[0]->ok);
}

TEST_F(CallbackTest, AnAveragedSnapshotTakesTheNextFramesAndTheLivePictureCanBeCorrected) {
    auto cb = make<SnapshotWritingCallback>();
    cb->setFrameSize(64, 48);
    cb->setLiveTarget(view);
    // Flat: left half half as bright as the right, so the correction lifts the left by 1.5
    // and lowers the right to 0.75.
    PictureData flat;
    flat.width = 64;
    flat.height = 48;
    flat.samples.resize(64 * 48 * 3);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c) flat.samples[(y * 64 + x) * 3 + c] = x < 32 ? 100 : 200;
    std::string error;
    auto objective = std::make_shared<SnapshotObjective>();
    objective->average = 4;
    objective->format = PictureFormat::Png;
    objective->flatField = std::make_shared<const acquire::FlatField>(
        *acquire::FlatField::make(flat, nullptr, &error));
    box.channel->setSnapshotObjective(objective);

    // Live: corrected only while asked.
    const std::vector<std::uint8_t> grey(frameRowBytes(64) * 48, 100);
    window.show();
    box.channel->liveFlatField.store(1);
    feed(*cb, grey, 1);
    ASSERT_TRUE(waitUntil([&] { return view->paintedFrames() >= 1; }));
    QImage shown = view->shownFrame();
    ASSERT_FALSE(shown.isNull());
    EXPECT_NEAR(qRed(shown.pixel(shown.width() / 8, shown.height() / 2)), 150, 2);
    EXPECT_NEAR(qRed(shown.pixel(shown.width() * 7 / 8, shown.height() / 2)), 75, 2);
    box.channel->liveFlatField.store(0);
    feed(*cb, grey, 1, 0.5);
    ASSERT_TRUE(waitUntil([&] { return view->paintedFrames() >= 2; }));
    shown = view->shownFrame();
    EXPECT_NEAR(qRed(shown.pixel(shown.width() / 8, shown.height() / 2)), 100, 2);

    // SNAP: the frame that answers the flag and the three after it, averaged, corrected.
    box.channel->snapshotFlag.store(1);
    std::thread streaming([&] {
        for (int i = 0; i < 6; ++i) {
            const std::vector<std::uint8_t> f(frameRowBytes(64) * 48,
                                              static_cast<std::uint8_t>(100 + i));
            cb->BufferCB(1.0 + i / 30.0, f.data(), f.size());
        }
    });
    streaming.join();
    waitForSnapshotWriters();
    ASSERT_TRUE(waitUntil([&] { return box.count(Kind::SnapshotWritten) == 1; }));
    const auto taken = box.of(Kind::SnapshotFrame);
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_DOUBLE_EQ(taken[0]->frame->sampleTime(), 1.0 + 3 / 30.0) << "the average's last frame";
    const auto written = box.of(Kind::SnapshotWritten);
    ASSERT_TRUE(written[0]->ok);
    EXPECT_EQ(written[0]->text, folder / "20260304-050607.png");
    auto picture = readPictureFile(written[0]->text, &error);
    ASSERT_TRUE(picture) << error;
    ASSERT_EQ(picture->bitsPerSample, 16);
    std::uint16_t left, right;
    std::memcpy(&left, picture->samples.data(), 2);
    std::memcpy(&right, picture->samples.data() + 63 * 3 * 2, 2);
    EXPECT_NEAR(left, 101.5 * 257 * 1.5, 2);  // mean of 100..103, times 1.5
    EXPECT_NEAR(right, 101.5 * 257 * 0.75, 2);
}

TEST_F(CallbackTest, AGrabbedFrameIsSharedNotCopiedAndStaysUnchangedWhileHeld) {
    auto cb = make<SnapshotWritingCallback>();
    cb->setFrameSize(64, 48);
    cb->setLiveTarget(view);
    const std::size_t row = frameRowBytes(64);
    // The grabber's copy: top-down rows of the stream into a pooled bottom-up block.
    FramePool grabberBlocks;
    auto grab = [&](const std::vector<std::uint8_t>& topDown, double time) {
        return copyFrameBottomUp(grabberBlocks, topDown.data() + row * 47,
                                 -static_cast<std::ptrdiff_t>(row), 64, 48, time);
    };
    box.channel->snapshotFlag.store(1);
    std::vector<std::uint8_t> saved;
    std::shared_ptr<const FrameRecord> snapshot;
    {
        const GrabbedFrame first = grab(frameBytes(64, 48, 3), 1.0);
        ASSERT_TRUE(first.pixels);
        saved.assign(first.data(), first.data() + first.length);
        cb->FrameCB(first);
        EXPECT_EQ(view->newestFrameBytes(), first.data());
        ASSERT_TRUE(waitUntil([&] { return box.count(Kind::SnapshotFrame) == 1; }));
        snapshot = box.of(Kind::SnapshotFrame)[0]->frame;
        ASSERT_TRUE(snapshot);
        EXPECT_EQ(snapshot->pixels(), first.data()) << "the snapshot shares it";
    }
    // Later frames of the same grabber never land in the block the snapshot holds.
    const auto later = frameBytes(64, 48, 90);
    for (int i = 0; i < 8; ++i) {
        const GrabbedFrame next = grab(later, 2.0 + i);
        EXPECT_NE(next.data(), snapshot->pixels());
        cb->FrameCB(next);
    }
    EXPECT_EQ(0, std::memcmp(snapshot->pixels(), saved.data(), saved.size()));
    EXPECT_EQ(snapshot->length(), saved.size());
    EXPECT_DOUBLE_EQ(snapshot->sampleTime(), 1.0);

    // Handing snapshots over keeps the frame as the channel's latest frame the same way.
    auto mv = make<FrameHandingCallback>();
    mv->setFrameSize(64, 48);
    mv->setLiveTarget(panes[0]);
    const GrabbedFrame shown = grab(later, 20.0);
    mv->FrameCB(shown);
    EXPECT_EQ(box.channel->latest()->pixels(), shown.data());
    EXPECT_EQ(panes[0]->newestFrameBytes(), shown.data());
    // A frame whose size is not the negotiated one is neither shown nor kept.
    mv->setFrameSize(48, 64);
    mv->FrameCB(grab(later, 21.0));
    EXPECT_EQ(box.channel->latest()->pixels(), shown.data());
}

TEST_F(CallbackTest, SharedFramesAreNeverRewrittenWhileThePainterOrASnapshotHoldsThem) {
    auto cb = make<SnapshotWritingCallback>();
    cb->setFrameSize(64, 48);
    cb->setLiveTarget(view);
    window.show();
    // Every frame is one grey level, its number; few pooled blocks, so reuse comes at once.
    FramePool grabberBlocks(2);
    const std::size_t row = frameRowBytes(64);
    std::atomic<bool> done{false};
    std::thread streaming([&] {
        std::vector<std::uint8_t> source(row * 48);
        for (int i = 0; i < 200; ++i) {
            std::fill(source.begin(), source.end(), static_cast<std::uint8_t>(i));
            if (i % 40 == 0) box.channel->snapshotFlag.store(1);
            cb->FrameCB(copyFrameBottomUp(grabberBlocks, source.data(),
                                          static_cast<std::ptrdiff_t>(row), 64, 48, i));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // pacing only
        }
        done = true;
    });
    int mixed = 0;
    while (!done) {
        const QImage shown = view->grab().toImage();
        if (shown.pixel(0, 0) != shown.pixel(shown.width() - 1, shown.height() - 1) ||
            shown.pixel(0, 0) != shown.pixel(shown.width() / 2, shown.height() / 2))
            ++mixed;
        QCoreApplication::processEvents();
    }
    streaming.join();
    waitForSnapshotWriters();
    EXPECT_EQ(mixed, 0) << "a painted frame changed while it was painted";
    ASSERT_TRUE(waitUntil([&] { return box.count(Kind::SnapshotFrame) >= 1; }));
    for (const CaptureLetter* letter : box.of(Kind::SnapshotFrame)) {
        ASSERT_TRUE(letter->frame);
        const auto grey = static_cast<std::uint8_t>(letter->frame->sampleTime());
        const std::uint8_t* p = letter->frame->pixels();
        EXPECT_EQ(std::count(p, p + letter->frame->length(), grey),
                  static_cast<std::ptrdiff_t>(letter->frame->length()))
            << "snapshot of frame " << letter->frame->sampleTime();
    }
}

TEST_F(CallbackTest, StillStreamSavesEveryFrameWithoutRequestAndNeverOverwrites) {
    auto still = make<SnapshotWritingCallback>();
    still->setFrameSize(32, 24);
    still->setLiveTarget(clip);
    still->setLiveFreeze(1);
    feed(*still, frameBytes(32, 24, 1), 3);
    waitForSnapshotWriters();
    EXPECT_EQ(jpegsIn(folder.path()),
              (std::vector<std::string>{"20260304-050607-1.jpg", "20260304-050607-2.jpg",
                                        "20260304-050607.jpg"}));
    EXPECT_EQ(clip->submittedFrames(), 0u) << "a frozen callback draws nothing";
    EXPECT_EQ(box.channel->snapshotFlag.load(), 0);
    // Each is announced; written reports waiting together are one relisting's worth.
    ASSERT_TRUE(waitUntil([&] { return box.count(Kind::SnapshotWritten) >= 1; }));
    EXPECT_EQ(box.count(Kind::SnapshotFrame), 3);
}

TEST_F(CallbackTest, FramesNotOfTheirClaimedSizeAreDroppedAndASnapWaitsForAWholeOne) {
    auto cb = make<SnapshotWritingCallback>();
    cb->setFrameSize(64, 48);
    cb->setLiveTarget(view);
    box.channel->snapshotFlag.store(1);
    EXPECT_EQ(cb->handleFrame(0, nullptr, 0), FrameResult::InvalidPointer);
    const auto shortFrame = frameBytes(64, 10, 0);
    const auto longFrame = frameBytes(64, 60, 0);
    EXPECT_EQ(cb->handleFrame(1, shortFrame.data(), shortFrame.size()), FrameResult::Ok);
    EXPECT_EQ(cb->handleFrame(2, longFrame.data(), longFrame.size()), FrameResult::Ok);
    EXPECT_EQ(view->submittedFrames(), 0u);
    EXPECT_EQ(box.channel->snapshotFlag.load(), 1) << "the snapshot waits for a whole frame";

    const auto whole = frameBytes(64, 48, 7);
    EXPECT_EQ(cb->handleFrame(3, whole.data(), whole.size()), FrameResult::Ok);
    EXPECT_EQ(box.channel->snapshotFlag.load(), 0);
    ASSERT_TRUE(waitUntil([&] { return box.count(Kind::SnapshotFrame) == 1; }));
    EXPECT_DOUBLE_EQ(box.of(Kind::SnapshotFrame)[0]->frame->sampleTime(), 3.0);
    waitForSnapshotWriters();
    EXPECT_EQ(jpegsIn(folder.path()).size(), 1u);

    // While the size is unknown (0 x 0) nothing is drawn or saved.
    cb->setFrameSize(0, 0);
    box.channel->snapshotFlag.store(1);
    EXPECT_EQ(cb->handleFrame(4, whole.data(), whole.size()), FrameResult::Ok);
    EXPECT_EQ(view->submittedFrames(), 1u);
    EXPECT_EQ(box.channel->snapshotFlag.load(), 1);
    box.channel->snapshotFlag.store(0);

    auto mv = make<FrameHandingCallback>();
    mv->setFrameSize(64, 48);
    mv->setLiveTarget(panes[0]);
    EXPECT_EQ(mv->handleFrame(0, nullptr, 0), FrameResult::InvalidPointer);
    EXPECT_EQ(mv->handleFrame(0, shortFrame.data(), shortFrame.size()), FrameResult::Ok);
    EXPECT_EQ(panes[0]->submittedFrames(), 0u);
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
    auto still = make<SnapshotWritingCallback>();
    still->setFrameSize(16, 8);
    still->setLiveFreeze(1);
    const auto frame = frameBytes(16, 8, 5);
    feed(*still, frame, 1);
    ASSERT_TRUE(waitUntil([&] { return held.load() == 1; }));
    // Each snapshot is announced as it is queued; the letters are collected as they come, so
    // the mailbox's own bound never drops one here.
    for (std::size_t i = 0; i < kSnapshotQueueLength + 2; ++i) {
        feed(*still, frame, 1);
        box.drainMailbox();
    }

    // A live snapshot refused by the full queue keeps its flag raised.
    auto live = make<SnapshotWritingCallback>();
    live->setFrameSize(16, 8);
    live->setLiveTarget(view);
    box.channel->snapshotFlag.store(1);
    feed(*live, frame, 1);
    EXPECT_EQ(box.channel->snapshotFlag.load(), 1);
    box.drainMailbox();
    EXPECT_EQ(box.count(Kind::SnapshotFrame), static_cast<int>(kSnapshotQueueLength) + 1)
        << "a frame the writer did not take is not announced";

    {
        std::lock_guard lock(gate);
        open = true;
    }
    opened.notify_all();
    waitForSnapshotWriters();
    EXPECT_EQ(jpegsIn(folder.path()).size(), kSnapshotQueueLength + 1);
    feed(*live, frame, 1);
    EXPECT_EQ(box.channel->snapshotFlag.load(), 0);
    waitForSnapshotWriters();
    EXPECT_EQ(jpegsIn(folder.path()).size(), kSnapshotQueueLength + 2);
}

TEST_F(CallbackTest, AFrameThatRunsOutOfMemoryIsDroppedWithoutLeavingTheCallback) {
    // The callback runs inside the media framework's C code, which no exception may cross.
    struct OutOfMemory : CallbackBase {
        using CallbackBase::CallbackBase;
        FrameResult handleGrabbed(const GrabbedFrame&) override { throw std::bad_alloc(); }
    } callback(box.channel);
    const std::uint8_t byte = 0;
    EXPECT_NO_THROW(callback.BufferCB(0, &byte, 1));
    EXPECT_NO_THROW(callback.BufferCB(0, &byte, 1)) << "and the next frame is handled again";
    EXPECT_NO_THROW(callback.FrameCB(GrabbedFrame{}));
}

TEST_F(CallbackTest, AFrameWithoutMemoryForItsCopyStillServesARequestAndFeedsTheWatchdog) {
    FrameWatchdog watchdog(std::chrono::seconds(60));
    box.channel->setWatchdog(&watchdog);
    auto live = make<FrameHandingCallback>();
    live->setLiveTarget(panes[0]);
    live->setFrameSize(16, 8);
    ASSERT_TRUE(live->raiseSnapshotRequest());
    const std::uint8_t byte = 0;
    // A length no allocation can satisfy stands in for memory running out.
    std::thread streaming([&] { live->BufferCB(0, &byte, SIZE_MAX / 2); });
    streaming.join();
    EXPECT_EQ(live->snapshotRequest(), 0);
    ASSERT_TRUE(waitUntil([&] { return box.count(Kind::SnapshotFrame) == 1; }));
    EXPECT_TRUE(waitUntil([&] { return watchdog.isWatching(); })) << "the frame fed the watch";
    EXPECT_EQ(panes[0]->submittedFrames(), 0u) << "nothing to draw";
    box.channel->setWatchdog(nullptr);
}

TEST_F(CallbackTest, ATargetDestroyedWhileFramesFlowIsLetGoOfFirst) {
    auto cb = make<SnapshotWritingCallback>();
    cb->setFrameSize(64, 48);
    auto* target = new LiveTarget(&window);
    target->resize(64, 48);
    cb->setLiveTarget(target);
    const auto frame = frameBytes(64, 48, 1);
    std::atomic<bool> stop{false};
    std::atomic<int> handled{0};
    std::thread streaming([&] {
        while (!stop.load()) {
            cb->BufferCB(0, frame.data(), frame.size());
            handled.fetch_add(1);
        }
    });
    ASSERT_TRUE(waitUntil([&] { return target->submittedFrames() >= 3; }));
    delete target;
    EXPECT_EQ(cb->liveTarget(), nullptr);
    const int before = handled.load();
    ASSERT_TRUE(waitUntil([&] { return handled.load() >= before + 3; }));  // frames go on
    stop.store(true);
    streaming.join();

    // An inset and a live target that are the same panel are both let go of.
    auto mv = make<FrameHandingCallback>();
    auto* shared = new LiveTarget(&window);
    mv->setLiveTarget(shared);
    mv->setInsetTarget(shared);
    mv->setLiveTarget(panes[0]);  // still the inset: still followed
    delete shared;
    EXPECT_EQ(mv->insetTarget(), nullptr);
    EXPECT_EQ(mv->liveTarget(), panes[0]);
}

TEST_F(CallbackTest, HandingOverServesARequestWithTheLatestFrameAndFeedsTheWatch) {
    FrameWatchdog watchdog(std::chrono::milliseconds(50));
    int expiries = 0;
    QObject::connect(&watchdog, &FrameWatchdog::expired, [&] { ++expiries; });
    box.channel->setWatchdog(&watchdog);
    auto live = make<FrameHandingCallback>();
    auto still = make<FrameHandingCallback>();
    for (auto* cb : {live.get(), still.get()}) cb->setFrameSize(16, 8);
    live->setLiveTarget(panes[0]);
    still->setLiveTarget(panes[3]);
    still->setLiveFreeze(1);
    still->setSnapshotRequest(1);

    const auto first = frameBytes(16, 8, 10);
    const auto second = frameBytes(16, 8, 20);
    feed(*live, first, 1, 5.0);
    EXPECT_TRUE(live->raiseSnapshotRequest());
    EXPECT_FALSE(live->raiseSnapshotRequest()) << "only raised from 0";
    feed(*live, second, 1, 6.0);
    EXPECT_EQ(live->snapshotRequest(), 0);

    // A still frame carries the live callback's latest frame, and copies nothing itself.
    const auto stillFrame = frameBytes(16, 8, 99);
    feed(*still, stillFrame, 1, 7.0);

    ASSERT_TRUE(waitUntil([&] { return box.letters.size() == 2; }));
    const auto taken = box.of(Kind::SnapshotFrame);
    ASSERT_EQ(taken.size(), 2u);
    ASSERT_TRUE(taken[0]->frame);
    EXPECT_EQ(0, std::memcmp(taken[0]->frame->pixels(), first.data(), first.size()))
        << "request served with the frame copied before this one";
    ASSERT_TRUE(taken[1]->frame);
    EXPECT_EQ(0, std::memcmp(taken[1]->frame->pixels(), second.data(), second.size()));
    EXPECT_DOUBLE_EQ(taken[1]->frame->sampleTime(), 6.0);
    EXPECT_EQ(panes[3]->submittedFrames(), 0u);
    EXPECT_EQ(panes[0]->submittedFrames(), 2u);

    // The frames woke the watch; once they stop it expires, once.
    ASSERT_TRUE(waitUntil([&] { return expiries >= 1; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    QCoreApplication::processEvents();
    EXPECT_EQ(expiries, 1);
    box.channel->setWatchdog(nullptr);
}

TEST_F(CallbackTest, AHandedOverSnapshotIsAveragedAndCorrectedAsAWrittenOneIs) {
    auto live = make<FrameHandingCallback>();
    live->setFrameSize(16, 8);
    live->setLiveTarget(panes[0]);
    PictureData flat;
    flat.width = 16;
    flat.height = 8;
    flat.samples.resize(16 * 8 * 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x)
            for (int c = 0; c < 3; ++c) flat.samples[(y * 16 + x) * 3 + c] = x < 8 ? 100 : 200;
    std::string error;
    auto objective = std::make_shared<SnapshotObjective>();
    objective->average = 3;
    objective->flatField = std::make_shared<const acquire::FlatField>(
        *acquire::FlatField::make(flat, nullptr, &error));
    box.channel->setSnapshotObjective(objective);

    feed(*live, std::vector<std::uint8_t>(frameRowBytes(16) * 8, 7), 1, 1.0);
    EXPECT_TRUE(live->raiseSnapshotRequest());
    std::thread streaming([&] {
        for (int i = 0; i < 5; ++i) {
            const std::vector<std::uint8_t> f(frameRowBytes(16) * 8,
                                              static_cast<std::uint8_t>(100 + i));
            live->BufferCB(2.0 + i, f.data(), f.size());
        }
    });
    streaming.join();
    ASSERT_TRUE(waitUntil([&] { return box.count(Kind::SnapshotFrame) == 1; }));
    const auto taken = box.of(Kind::SnapshotFrame);
    ASSERT_TRUE(taken[0]->frame && taken[0]->frame->isComplete());
    EXPECT_DOUBLE_EQ(taken[0]->frame->sampleTime(), 4.0) << "the average's last frame";
    // mean(100, 101, 102) = 101; mean(flat) = 150, so the left half x 1.5, the right x 0.75.
    const std::uint8_t* row = taken[0]->frame->pixels();
    EXPECT_NEAR(row[0], 151.5, 1.0);
    EXPECT_NEAR(row[15 * 3], 75.75, 1.0);
    EXPECT_EQ(panes[0]->submittedFrames(), 6u) << "the live picture went on meanwhile";

    // Without averaging or correction a request is served with the frame kept, as before.
    box.channel->setSnapshotObjective(std::make_shared<SnapshotObjective>());
    EXPECT_TRUE(live->raiseSnapshotRequest());
    feed(*live, std::vector<std::uint8_t>(frameRowBytes(16) * 8, 9), 1, 9.0);
    ASSERT_TRUE(waitUntil([&] { return box.count(Kind::SnapshotFrame) == 2; }));
    EXPECT_EQ(box.of(Kind::SnapshotFrame)[1]->frame->pixels()[0], 104);
}

TEST_F(CallbackTest, AFrozenPaneLeavesTheWatchAloneUnlessAnInsetShowsFrames) {
    FrameWatchdog watchdog(std::chrono::seconds(60));
    box.channel->setWatchdog(&watchdog);
    auto live = make<FrameHandingCallback>();
    live->setFrameSize(16, 8);
    live->setLiveTarget(panes[0]);
    live->setLiveFreeze(1);
    const auto frame = frameBytes(16, 8, 1);
    feed(*live, frame, 2);
    QCoreApplication::processEvents();
    EXPECT_FALSE(watchdog.isWatching());
    EXPECT_EQ(panes[0]->submittedFrames(), 0u);

    live->setInsetTarget(panes[1]);
    feed(*live, frame, 2);
    EXPECT_TRUE(waitUntil([&] { return watchdog.isWatching(); }));
    EXPECT_EQ(panes[1]->submittedFrames(), 2u);
    box.channel->setWatchdog(nullptr);
}

TEST_F(CallbackTest, TheLatestFrameKeepsItsLargestBlockAndOnlyTheNewestNoticeWaits) {
    auto live = make<FrameHandingCallback>();
    live->setLiveFreeze(1);
    live->setFrameSize(64, 48);
    const auto big = frameBytes(64, 48, 1);
    feed(*live, big, 1);
    const std::int32_t block = box.channel->latestBlockSize();
    EXPECT_GE(block, static_cast<std::int32_t>(big.size()));
    live->setFrameSize(16, 8);
    box.channel->frameNotices.store(1);
    const auto small = frameBytes(16, 8, 2);
    feed(*live, small, 3, 4.0);
    EXPECT_EQ(box.channel->latestBlockSize(), block);
    // The GUI thread has not run meanwhile: of the three notices only the newest waits for
    // it, and of six snapshots served the last four.
    EXPECT_EQ(box.mailbox->pending(), 1u);
    for (int i = 0; i < 6; ++i)
        box.mailbox->post({Kind::SnapshotFrame, nullptr, std::to_string(i), true});
    EXPECT_EQ(box.mailbox->pending(), 1u + CaptureMailbox::kMaxPendingSnapshots);
    ASSERT_TRUE(waitUntil([&] { return box.count(Kind::SnapshotFrame) == 4; }));
    QCoreApplication::processEvents();
    ASSERT_EQ(box.count(Kind::FrameNotice), 1);
    ASSERT_EQ(box.letters.size(), 5u);
    const CaptureLetter& notice = box.letters[0];
    ASSERT_TRUE(notice.frame);
    EXPECT_EQ(notice.frame->length(), small.size());
    EXPECT_EQ(notice.frame->width(), 16);
    EXPECT_DOUBLE_EQ(notice.frame->sampleTime(), 4.0 + 2 / 30.0);
    std::vector<std::string> kept;
    for (const CaptureLetter* letter : box.of(Kind::SnapshotFrame)) kept.push_back(letter->text);
    EXPECT_EQ(kept, (std::vector<std::string>{"2", "3", "4", "5"})) << "the oldest go";
}

TEST_F(CallbackTest, AClosedMailboxTakesNothingMoreFromCallbacksOrTheWriter) {
    auto still = make<SnapshotWritingCallback>();
    still->setFrameSize(16, 8);
    still->setLiveFreeze(1);
    box.mailbox->close();
    feed(*still, frameBytes(16, 8, 3), 2);
    waitForSnapshotWriters();
    QCoreApplication::processEvents();
    EXPECT_EQ(box.mailbox->pending(), 0u);
    EXPECT_TRUE(box.letters.empty());
    EXPECT_EQ(jpegsIn(folder.path()).size(), 2u) << "the pictures are still written";
}

}  // namespace
}  // namespace qelvo

#include "GrabberCallbacksTest.moc"
