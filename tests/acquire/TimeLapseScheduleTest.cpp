#include <functional>
#include "acquire/TimeLapseSchedule.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>

using namespace std::chrono;
using qelvo::acquire::TimeLapseSchedule;

namespace {

// A camera delivering frames every `frame` (with a little jitter) and a taker that waits for
// the due time, takes the first frame at or after it and then spends `work` on the picture.
struct LapseRun {
    std::vector<int> taken;
    std::vector<steady_clock::duration> errors;  // frame time - due time
    int skipped = 0;
};

LapseRun simulate(TimeLapseSchedule& schedule, steady_clock::time_point start, nanoseconds frame,
                  const std::function<nanoseconds(int)>& work) {
    LapseRun run;
    const nanoseconds phase(1'234'567);  // the camera's frames do not start with the run
    auto now = start;
    for (int k; (k = schedule.next(now)) >= 0;) {
        const auto due = schedule.dueTime(k);
        if (now < due) now = due;  // sleep until it is due
        // The first frame at or after now (frames at start + phase + i * frame).
        const auto i = (now - start - phase + frame - nanoseconds(1)) / frame;
        const auto frameTime = start + phase + i * frame;
        now = std::max(now, frameTime);
        if (!schedule.inTime(k, frameTime)) {
            schedule.skip(k);
            continue;
        }
        run.taken.push_back(k);
        run.errors.push_back(frameTime - due);
        now += work(k);
        schedule.done(k);
    }
    run.skipped = schedule.skipped();
    return run;
}

}  // namespace

TEST(TimeLapseSchedule, SixHundredPicturesStayOnTheirTimesWithoutDrift) {
    const auto start = steady_clock::time_point(hours(5));
    const nanoseconds frame(33'333'333);
    TimeLapseSchedule schedule(start, milliseconds(100), 600, frame);
    // Every picture takes 60-95 ms to handle: each alone would push a naive sleep(interval)
    // loop a whole minute late over 600 pictures.
    std::mt19937 rng(1);
    const LapseRun run =
        simulate(schedule, start, frame, [&](int) { return milliseconds(60 + rng() % 36); });
    ASSERT_EQ(run.taken.size(), 600u);
    EXPECT_EQ(run.skipped, 0);
    for (std::size_t i = 0; i < run.errors.size(); ++i) {
        EXPECT_GE(run.errors[i], nanoseconds(0));
        EXPECT_LE(run.errors[i], frame) << "picture " << i;
    }
    EXPECT_TRUE(schedule.finished());
    EXPECT_EQ(schedule.next(start + hours(1)), -1);
}

TEST(TimeLapseSchedule, SkipsAndCountsPicturesThatCannotBeTakenInTimeInsteadOfBunching) {
    const auto start = steady_clock::time_point(hours(1));
    const nanoseconds frame(33'333'333);
    TimeLapseSchedule schedule(start, seconds(1), 20, frame);
    // Picture 5 stalls for 3.5 s (a slow disk): pictures 6, 7 and 8 are past, 9 is on time.
    const LapseRun run = simulate(schedule, start, frame, [](int k) {
        return k == 5 ? milliseconds(3500) : milliseconds(50);
    });
    EXPECT_EQ(run.skipped, 3);
    ASSERT_EQ(run.taken.size(), 17u);
    EXPECT_EQ(run.taken[5], 5);
    EXPECT_EQ(run.taken[6], 9);
    for (const auto& e : run.errors) EXPECT_LE(e, frame);
}

TEST(TimeLapseSchedule, CountsForADurationAndNamesToTheMillisecond) {
    EXPECT_EQ(TimeLapseSchedule::countForDuration(seconds(10), seconds(60)), 6);
    EXPECT_EQ(TimeLapseSchedule::countForDuration(seconds(10), seconds(61)), 7);
    EXPECT_EQ(TimeLapseSchedule::countForDuration(seconds(10), seconds(5)), 1);
    EXPECT_EQ(TimeLapseSchedule::countForDuration(milliseconds(100), seconds(60)), 600);

    const auto t = system_clock::time_point(seconds(1'700'000'000)) + milliseconds(7);
    const std::string name = qelvo::acquire::lapsePictureName(t);
    EXPECT_TRUE(std::regex_match(name, std::regex(R"(\d{8}-\d{6}\.007)"))) << name;
    EXPECT_NE(name, qelvo::acquire::lapsePictureName(t + milliseconds(1)));
}
