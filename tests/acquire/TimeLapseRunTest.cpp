#include "acquire/TimeLapseRun.h"

#include "support/TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>

using namespace std::chrono;
using namespace qelvo;
using namespace qelvo::acquire;

namespace {

// Time that moves only when someone waits.
class FakeClock : public LapseClock {
public:
    steady_clock::time_point now() const override { return now_; }
    system_clock::time_point wallNow() const override {
        return system_clock::time_point(seconds(1'750'000'000)) +
               (now_ - steady_clock::time_point());
    }
    bool sleepUntil(steady_clock::time_point when, const std::atomic<bool>& stop) const override {
        if (stop.load()) return false;
        now_ = std::max(now_, when);
        return true;
    }
    mutable steady_clock::time_point now_{};
};

// A 30 fps camera whose frame n is filled with the value n % 100; gone after frame `goneAfter`.
class FakeCamera : public LapseFrameSource {
public:
    FakeCamera(FakeClock& clock, int width, int height) : clock_(clock), w_(width), h_(height) {}
    std::optional<SourcedFrame> nextFrame(std::uint64_t after, milliseconds,
                                          std::string* error) override {
        std::uint64_t n = std::max<std::uint64_t>(after + 1, latestSequence() + 1);
        if (n > goneAfter) {
            if (error) *error = "the camera is gone";
            return std::nullopt;
        }
        SourcedFrame f;
        f.sequence = n;
        f.arrived = timeOf(n);
        clock_.now_ = std::max(clock_.now_, f.arrived);
        f.frame.width = w_;
        f.frame.height = h_;
        f.frame.length = f.frame.rowBytes() * h_;
        auto block = pool_.acquire(f.frame.length);
        std::memset(block->data(), static_cast<int>(n % 100), f.frame.length);
        f.frame.pixels = block;
        return f;
    }
    std::uint64_t latestSequence() const override {
        if (clock_.now_ < timeOf(1)) return 0;
        return (clock_.now_ - timeOf(1)) / frame + 1;
    }
    nanoseconds frameInterval() const override { return frame; }

    steady_clock::time_point timeOf(std::uint64_t n) const {
        return steady_clock::time_point() + milliseconds(5) + frame * (n - 1);
    }
    const nanoseconds frame{33'333'333};
    std::uint64_t goneAfter = ~0ull;

private:
    FakeClock& clock_;
    int w_, h_;
    FramePool pool_;
};

}  // namespace

TEST(TimeLapseRun, AveragedSixteenBitPicturesOnScheduleWithNamesToTheMillisecond) {
    test::TempFolder dir;
    FakeClock clock;
    FakeCamera camera(clock, 6, 4);
    TimeLapseSettings settings;
    settings.folder = dir / "lapse/run1";  // made as needed
    settings.interval = milliseconds(100);
    settings.count = 30;
    settings.average = 2;
    settings.format = PictureFormat::Png;
    settings.calibration.micrometresPerPixel = 1.5;
    TimeLapseRun run(settings, camera, clock);
    std::vector<TimeLapseProgress> seen;
    run.onProgress([&](const TimeLapseProgress& p) { seen.push_back(p); });
    const TimeLapseOutcome outcome = run.run();
    EXPECT_EQ(outcome.problem, "");
    EXPECT_FALSE(outcome.stopped);
    EXPECT_EQ(outcome.taken, 30);
    EXPECT_EQ(outcome.skipped, 0);
    ASSERT_EQ(seen.size(), 30u);
    EXPECT_EQ(seen.back().taken, 30);
    EXPECT_EQ(seen[3].total, 30);
    std::set<std::string> names;
    for (const auto& path : outcome.files) names.insert(std::filesystem::path(path).filename());
    EXPECT_EQ(names.size(), 30u);
    EXPECT_EQ(*names.begin(), std::filesystem::path(outcome.files.front()).filename());
    std::string error;
    // The run starts after frame 1 (5 ms), so picture 0 is due a quarter frame before frame 2:
    // at 30 ms.  Picture 10 is due at 1.030 s: frame 31 arrived at 1.005 s, frame 32 comes at
    // 1.0383 s (named .038); the average of frames 32 and 33 is 32.5, kept in 16 bits.
    const auto p = readPictureFile(outcome.files[10], &error);
    ASSERT_TRUE(p) << error;
    EXPECT_EQ(p->bitsPerSample, 16);
    EXPECT_NEAR(p->calibration.micrometresPerPixel, 1.5, 1e-6);
    std::uint16_t v;
    std::memcpy(&v, p->samples.data(), 2);
    EXPECT_EQ(v, std::lround(32.5 * 257));
    EXPECT_NE(std::filesystem::path(outcome.files[10]).filename().string().find(".038.png"),
              std::string::npos)
        << outcome.files[10];
}

TEST(TimeLapseRun, AStopFinishesThePictureInProgressAndACameraGoneEndsWithWhatItHas) {
    test::TempFolder dir;
    FakeClock clock;
    FakeCamera camera(clock, 8, 8);
    TimeLapseSettings settings;
    settings.folder = dir.path();
    settings.interval = seconds(1);
    settings.count = 100;
    settings.format = PictureFormat::Tiff;
    TimeLapseRun run(settings, camera, clock);
    run.onProgress([&](const TimeLapseProgress& p) {
        if (p.taken == 3) run.requestStop();  // as a signal would, while picture 3 is written
    });
    TimeLapseOutcome outcome = run.run();
    EXPECT_TRUE(outcome.stopped);
    EXPECT_EQ(outcome.taken, 3);
    EXPECT_EQ(dir.entries().size(), 3u);  // whole pictures only, no temporary left
    for (const auto& path : outcome.files) {
        std::string error;
        const auto p = readPictureFile(path, &error);
        ASSERT_TRUE(p) << error;
        EXPECT_EQ(p->bitsPerSample, 8);  // one frame: 8 bits
    }

    test::TempFolder other;
    settings.folder = other.path();
    camera.goneAfter = camera.latestSequence() + 70;  // about 2.3 s more
    TimeLapseRun second(settings, camera, clock);
    outcome = second.run();
    EXPECT_EQ(outcome.problem, "the camera is gone");
    EXPECT_EQ(outcome.taken, 3);
    EXPECT_EQ(other.entries().size(), 3u);
}
