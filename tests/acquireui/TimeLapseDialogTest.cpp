#include "acquireui/SnapshotSettingsControl.h"
#include "acquireui/TimeLapseDialog.h"
#include "picturefiles/PictureFile.h"
#include "support/TempFolder.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPushButton>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

using namespace qelvo;
using namespace std::chrono;

namespace {

// A camera delivering a 32 x 24 frame every 10 ms of real time, each a flat grey of its
// number; `goneAfter` frames and it stops answering.
class TickingCamera : public acquire::LapseFrameSource {
public:
    std::optional<acquire::SourcedFrame> nextFrame(std::uint64_t after, milliseconds,
                                                   std::string* error) override {
        const std::uint64_t n = std::max(after + 1, latestSequence() + 1);
        if (n > goneAfter) {
            if (error) *error = "the camera is gone";
            return std::nullopt;
        }
        std::this_thread::sleep_until(start_ + kFrame * n);
        acquire::SourcedFrame f;
        f.sequence = n;
        f.arrived = steady_clock::now();
        f.frame.width = 32;
        f.frame.height = 24;
        f.frame.length = f.frame.rowBytes() * 24;
        auto block = pool_.acquire(f.frame.length);
        std::memset(block->data(), static_cast<int>(n % 200), f.frame.length);
        f.frame.pixels = block;
        return f;
    }
    std::uint64_t latestSequence() const override {
        return static_cast<std::uint64_t>((steady_clock::now() - start_) / kFrame);
    }
    nanoseconds frameInterval() const override { return kFrame; }

    static constexpr milliseconds kFrame{10};
    std::uint64_t goneAfter = ~0ull;

private:
    steady_clock::time_point start_ = steady_clock::now();
    FramePool pool_;
};

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(TimeLapseDialog, RunsIntoANewSubfolderAndReportsProgress) {
    test::TempFolder day;
    auto camera = std::make_shared<TickingCamera>();
    TimeLapseDialog dialog(camera, day.path(), PictureCalibration{2.5, "20x"});
    TimeLapseChoice choice;
    choice.intervalSeconds = 0.1;
    choice.byCount = true;
    choice.count = 4;
    choice.average = 2;
    choice.format = PictureFormat::Png;
    dialog.setChoice(choice);
    EXPECT_EQ(dialog.choice().pictures(), 4);
    // By duration: one at the start and one per whole interval.
    choice.byCount = false;
    choice.durationMinutes = 0.5;
    choice.intervalSeconds = 10;
    EXPECT_EQ(choice.pictures(), 4);

    int written = 0;
    QObject::connect(&dialog, &TimeLapseDialog::pictureWritten, [&] { ++written; });
    dialog.startButton()->click();
    EXPECT_TRUE(dialog.running());
    EXPECT_FALSE(dialog.startButton()->isEnabled());
    EXPECT_TRUE(dialog.stopButton()->isEnabled());
    EXPECT_TRUE(dialog.progressText().contains(QStringLiteral(" of 4, next in ")))
        << dialog.progressText().toStdString();
    ASSERT_TRUE(waitFor([&] { return dialog.outcome().has_value(); }, 5000));
    EXPECT_EQ(dialog.outcome()->taken, 4);
    EXPECT_EQ(dialog.progressText(), QStringLiteral("4 of 4 taken."));
    EXPECT_GE(written, 1);
    EXPECT_TRUE(dialog.startButton()->isEnabled());
    // A folder of the day, holding the four pictures: 16-bit averages, calibrated.
    EXPECT_EQ(std::filesystem::path(dialog.folder()).parent_path(), day.path());
    const auto names = filesIn(dialog.folder());
    ASSERT_EQ(names.size(), 4u);
    std::string error;
    const auto picture = readPictureFile(dialog.folder() + "/" + names[0], &error);
    ASSERT_TRUE(picture) << error;
    EXPECT_EQ(picture->bitsPerSample, 16);
    EXPECT_NEAR(picture->calibration.micrometresPerPixel, 2.5, 1e-6);
}

TEST(TimeLapseDialog, StopAndCloseFinishThePictureInProgressAndLeaveOnlyWholeFiles) {
    test::TempFolder day;
    auto camera = std::make_shared<TickingCamera>();
    std::string folder;
    {
        TimeLapseDialog dialog(camera, day.path(), {});
        TimeLapseChoice choice;
        choice.intervalSeconds = 0.2;
        choice.count = 50;
        choice.average = 3;
        choice.format = PictureFormat::Tiff;
        dialog.setChoice(choice);
        ASSERT_TRUE(dialog.start());
        folder = dialog.folder();
        ASSERT_TRUE(waitFor(
            [&] { return std::filesystem::exists(folder) && !filesIn(folder).empty(); }, 3000));
        dialog.stopButton()->click();
        EXPECT_FALSE(dialog.stopButton()->isEnabled());
        ASSERT_TRUE(waitFor([&] { return dialog.outcome().has_value(); }, 5000));
        EXPECT_TRUE(dialog.outcome()->stopped);
        EXPECT_LT(dialog.outcome()->taken, 50);
        EXPECT_TRUE(dialog.progressText().endsWith(QStringLiteral(", stopped.")))
            << dialog.progressText().toStdString();
        // Another run, then the dialog goes away mid-run (its window closed).
        ASSERT_TRUE(dialog.start());
        folder = dialog.folder();
        ASSERT_TRUE(waitFor(
            [&] { return std::filesystem::exists(folder) && !filesIn(folder).empty(); }, 3000));
    }
    for (const std::string& name : filesIn(folder)) {
        std::string error;
        EXPECT_TRUE(readPictureFile(folder + "/" + name, &error)) << name << ": " << error;
        EXPECT_EQ(std::filesystem::path(name).extension(), ".tif") << name;
    }
}

TEST(SnapshotSettingsControl, ShowsAndSetsFormatAndAveraging) {
    PictureFormat format = PictureFormat::Jpeg;
    int average = 1;
    SnapshotSettingsControl::Access access;
    access.format = [&] { return format; };
    access.setFormat = [&](PictureFormat f) { format = f; };
    access.average = [&] { return average; };
    access.setAverage = [&](int n) { average = n; };
    SnapshotSettingsControl control(access);
    EXPECT_EQ(control.text(), QStringLiteral("JPG"));
    std::unique_ptr<QMenu> menu(control.buildMenu());
    for (QAction* action : menu->actions()) {
        if (action->text().startsWith(QStringLiteral("PNG"))) action->trigger();
        if (action->text() == QStringLiteral("4 frames")) action->trigger();
    }
    EXPECT_EQ(format, PictureFormat::Png);
    EXPECT_EQ(average, 4);
    EXPECT_EQ(control.text(), QStringLiteral("PNG \u00d74"));
}
