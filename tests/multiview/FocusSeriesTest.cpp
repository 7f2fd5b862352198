#include "desktop/ScriptedDialogs.h"
#include "multiview/FocusSeriesTool.h"
#include "picturefiles/PictureFile.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"
#include "system/Clock.h"

#include <gtest/gtest.h>
#include <QPushButton>
#include <QSignalSpy>

#include <filesystem>

using namespace qelvo;
using combine::CombineKind;
using test::waitUntil;

namespace {

// A bottom-up B,G,R frame whose every sample is `level`.
std::shared_ptr<const FrameRecord> flatFrame(int width, int height, std::uint8_t level) {
    std::vector<std::uint8_t> rows(frameRowBytes(width) * height, level);
    auto frame = std::make_shared<FrameRecord>();
    frame->assign(rows.data(), rows.size(), FrameHeader::forFrame(width, height), 0.0);
    return frame;
}

struct FocusSeriesTest : ::testing::Test {
    FocusSeriesTest() {
        auto owned = std::make_unique<ScriptedDialogs>();
        scripted = owned.get();
        setDialogs(std::move(owned));
        previousClock = setClock(std::make_unique<FixedClock>(LocalTime{2026, 5, 6, 7, 8, 9}));
    }
    ~FocusSeriesTest() override {
        setDialogs(nullptr);
        setClock(std::move(previousClock));
    }

    ScriptedDialogs* scripted = nullptr;
    std::unique_ptr<Clock> previousClock;
    test::TempFolder folder{"qelvo-series"};
    QWidget window;
};

}  // namespace

TEST_F(FocusSeriesTest, EachSnapshotIsKeptAndTheSeriesIsFusedWhenItEnds) {
    std::vector<std::string> fused;
    auto* tool = new FocusSeriesTool(
        &window,
        [&](CombineKind kind, const std::vector<std::string>& inputs, const std::string& output,
            const combine::CombineProgress&, std::string*) {
            EXPECT_EQ(kind, CombineKind::FocusStack);
            fused = inputs;
            std::filesystem::copy_file(inputs.back(), output);
            return true;
        },
        QRect(0, 0, 80, 18), QRect(0, 20, 150, 70));
    QSignalSpy shown(tool, &FocusSeriesTool::fusedPicture);

    // Off: snapshots are not kept.
    tool->snapshot(flatFrame(40, 30, 10), {}, folder.path());
    EXPECT_EQ(tool->series().taken(), 0);
    tool->setOn(true);
    EXPECT_TRUE(tool->panel()->isVisibleTo(&window));
    EXPECT_FALSE(tool->fuseButton()->isEnabled());
    SnapshotObjective calibrated;
    calibrated.name = "10x";
    calibrated.micrometresPerPixel = 0.5;
    calibrated.burnScaleBar = true;
    for (std::uint8_t level : {40, 120, 200})
        tool->snapshot(flatFrame(40, 30, level), calibrated, folder.path());
    EXPECT_EQ(tool->seriesSwitch()->text(), "SERIES 3");
    EXPECT_TRUE(tool->fuseButton()->isEnabled());

    scripted->messageAnswers = {MessageAnswer::Yes};
    tool->fuseButton()->click();  // ends the series once its pictures are written
    ASSERT_TRUE(waitUntil([&] { return shown.count() == 1; }));
    ASSERT_EQ(scripted->messages().size(), 1);
    EXPECT_TRUE(scripted->messages()[0].startsWith("Fuse the 3 pictures of the focus series"));
    ASSERT_EQ(fused.size(), 3u);
    // Written in the order taken, named as snapshots, never over each other, calibrated and
    // without a scale bar burnt in.
    EXPECT_EQ(fused[0], folder / "20260506-070809.jpg");
    EXPECT_EQ(fused[1], folder / "20260506-070809-1.jpg");
    std::string error;
    const auto last = readPictureFile(fused[2], &error);
    ASSERT_TRUE(last) << error;
    EXPECT_NEAR(last->samples[0], 200, 3);
    EXPECT_NEAR(last->calibration.micrometresPerPixel, 0.5, 1e-3);
    EXPECT_NEAR(last->samples[last->samples.size() - 1], 200, 3);

    const auto frame = shown.at(0).at(0).value<std::shared_ptr<const FrameRecord>>();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width(), 40);
    EXPECT_EQ(frame->height(), 30);
    EXPECT_NEAR(frame->pixels()[0], 200, 3);
    EXPECT_EQ(shown.at(0).at(1).toString().toStdString(), folder / "20260506-070809-edf.jpg");
    EXPECT_FALSE(tool->panel()->isVisibleTo(&window));
    delete tool;
}

TEST_F(FocusSeriesTest, NoOfferForOnePictureAndNoFusingWhenDeclined) {
    int runs = 0;
    auto* tool = new FocusSeriesTool(
        &window,
        [&](CombineKind, const std::vector<std::string>&, const std::string&,
            const combine::CombineProgress&, std::string*) { return ++runs, false; },
        QRect(0, 0, 80, 18), QRect(0, 20, 170, 30));
    QSignalSpy ended(&tool->series(), &FocusSeries::ended);
    tool->setOn(true);
    tool->snapshot(flatFrame(16, 8, 90), {}, folder.path());
    tool->setOn(false);
    ASSERT_TRUE(waitUntil([&] { return ended.count() == 1; }));
    EXPECT_TRUE(scripted->messages().isEmpty());

    tool->setOn(true);  // a new series starts empty
    EXPECT_EQ(tool->series().taken(), 0);
    tool->snapshot(flatFrame(16, 8, 90), {}, folder.path());
    tool->snapshot(flatFrame(16, 8, 95), {}, folder.path());
    scripted->messageAnswers = {MessageAnswer::No};
    tool->setOn(false);
    ASSERT_TRUE(waitUntil([&] { return ended.count() == 2; }));
    EXPECT_EQ(scripted->messages().size(), 1);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 0);
    EXPECT_FALSE(tool->combiner().running());
    // The pictures stay in the folder: nothing is deleted.
    EXPECT_EQ(folder.entries().size(), 3u);
    delete tool;
}
