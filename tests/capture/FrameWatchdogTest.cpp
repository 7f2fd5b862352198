#include "capture/FrameWatchdog.h"
#include "support/WaitUntil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <thread>

namespace qelvo {
namespace {

using namespace std::chrono_literals;
using test::waitUntil;

// Expiries of one watchdog, with the thread each was heard on.
struct Expiries {
    explicit Expiries(FrameWatchdog& watchdog) {
        QObject::connect(&watchdog, &FrameWatchdog::expired, [this] {
            ++count;
            lastAt = std::chrono::steady_clock::now();
            onGuiThread = onGuiThread && std::this_thread::get_id() == gui;
        });
    }
    const std::thread::id gui = std::this_thread::get_id();
    int count = 0;
    std::chrono::steady_clock::time_point lastAt;
    bool onGuiThread = true;
};

// Runs the event loop for `span`, whatever happens.
void runFor(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    waitUntil([&] { return std::chrono::steady_clock::now() >= end; });
}

TEST(FrameWatchdog, FeedsFromAnotherThreadKeepItQuietAndSilenceExpiresItOnce) {
    FrameWatchdog watchdog(200ms);
    Expiries expiries(watchdog);
    EXPECT_FALSE(watchdog.isWatching()) << "nothing fed yet";
    std::atomic<bool> stop{false};
    std::atomic<std::chrono::steady_clock::time_point> lastFeed{};
    std::thread streaming([&] {
        while (!stop.load()) {
            lastFeed.store(std::chrono::steady_clock::now());
            watchdog.feed();
            std::this_thread::sleep_for(10ms);
        }
    });
    runFor(700ms);
    EXPECT_TRUE(watchdog.isWatching());
    EXPECT_EQ(expiries.count, 0) << "frames every 10 ms keep a 200 ms watch quiet";
    stop.store(true);
    streaming.join();

    ASSERT_TRUE(waitUntil([&] { return expiries.count == 1; }));
    EXPECT_GE(expiries.lastAt - lastFeed.load(), 200ms) << "not before the interval";
    EXPECT_TRUE(expiries.onGuiThread);
    EXPECT_FALSE(watchdog.isWatching());
    runFor(300ms);
    EXPECT_EQ(expiries.count, 1) << "silence is reported once";
}

TEST(FrameWatchdog, AFeedAfterExpiryWatchesAgainAndRearmWatchesFromNow) {
    FrameWatchdog watchdog(30ms);
    Expiries expiries(watchdog);
    std::thread([&] { watchdog.feed(); }).join();
    ASSERT_TRUE(waitUntil([&] { return expiries.count == 1; }));

    std::thread([&] { watchdog.feed(); }).join();
    ASSERT_TRUE(waitUntil([&] { return expiries.count == 2; })) << "the feed woke the watch";

    watchdog.rearm();
    EXPECT_TRUE(watchdog.isWatching());
    ASSERT_TRUE(waitUntil([&] { return expiries.count == 3; })) << "no frame since the rearm";

    // Stopped, it waits for the next feed.
    watchdog.rearm();
    watchdog.stop();
    runFor(100ms);
    EXPECT_EQ(expiries.count, 3);
    std::thread([&] { watchdog.feed(); }).join();
    ASSERT_TRUE(waitUntil([&] { return expiries.count == 4; }));
    EXPECT_TRUE(expiries.onGuiThread);
}

}  // namespace
}  // namespace qelvo
