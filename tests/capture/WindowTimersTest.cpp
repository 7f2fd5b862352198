#include "capture/WaitUntil.h"
#include "capture/WindowTimers.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <thread>

namespace qelvo {
namespace {

using test::waitUntil;

TEST(WindowTimers, TimersRepeatUnderTheirIdsUntilKilledAndRestartWhenStartedAgain) {
    std::vector<int> fired;
    WindowTimers timers([&](int id) { fired.push_back(id); });
    timers.start(10000, 5);
    timers.start(10000, 5);  // restarts, does not add a second timer
    ASSERT_TRUE(waitUntil([&] { return fired.size() >= 3; }));
    EXPECT_TRUE(timers.isActive(10000));
    timers.kill(10000);
    EXPECT_FALSE(timers.isActive(10000));
    for (int id : fired) EXPECT_EQ(id, 10000);
    const std::size_t count = fired.size();
    timers.start(11000, 5);
    ASSERT_TRUE(waitUntil([&] { return fired.size() > count; }));
    EXPECT_EQ(fired.back(), 11000);
}

TEST(WindowTimers, ArmedFromAnotherThreadFiresOnTheGuiThread) {
    std::vector<int> fired;
    const auto gui = std::this_thread::get_id();
    bool onGui = true;
    WindowTimers* self = nullptr;
    WindowTimers timers([&](int id) {
        fired.push_back(id);
        onGui = onGui && std::this_thread::get_id() == gui;
        self->kill(id);
    });
    self = &timers;
    timers.allowArmFromAnyThread(80000);
    timers.armFromAnyThread(12345, 10);  // not allowed: ignored
    QCoreApplication::processEvents();
    EXPECT_FALSE(timers.isCheckingArmed()) << "nothing armed, nothing to check";
    std::thread([&] { timers.armFromAnyThread(80000, 20); }).join();
    EXPECT_TRUE(timers.isActive(80000));
    ASSERT_TRUE(waitUntil([&] { return !fired.empty(); }));
    EXPECT_EQ(fired, std::vector<int>{80000});
    EXPECT_TRUE(onGui);
    EXPECT_FALSE(timers.isActive(80000));
    EXPECT_FALSE(timers.isActive(12345));
    // Killed by its handler: the check stops, and the next arming wakes it again.
    ASSERT_TRUE(waitUntil([&] { return !timers.isCheckingArmed(); }));
    std::thread([&] { timers.armFromAnyThread(80000, 1); }).join();
    ASSERT_TRUE(waitUntil([&] { return fired.size() == 2; }));
    ASSERT_TRUE(waitUntil([&] { return !timers.isCheckingArmed(); }));
    timers.start(80000, 1);  // from the GUI thread as well
    ASSERT_TRUE(waitUntil([&] { return fired.size() == 3; }));
}

TEST(WindowTimers, TimersDueTogetherFireInDeadlineOrder) {
    // The alarm-clear timer armed at a snapshot and the no-frame watchdog re-armed by the
    // frame drawn just after it: the watchdog must have the last word.
    std::vector<int> fired;
    WindowTimers* self = nullptr;
    WindowTimers timers([&](int id) {
        fired.push_back(id);
        self->kill(id);
    });
    self = &timers;
    timers.allowArmFromAnyThread(80000);
    timers.allowArmFromAnyThread(80001);
    timers.armFromAnyThread(80001, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    timers.armFromAnyThread(80000, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));  // both due before any check
    ASSERT_TRUE(waitUntil([&] { return fired.size() == 2; }));
    EXPECT_EQ(fired, (std::vector<int>{80001, 80000}));
}

}  // namespace
}  // namespace qelvo
