#include "capture/CaptureSession.h"
#include "capture/Pacing.h"
#include "capture/SnapshotSettings.h"
#include "capture/SnapshotWriter.h"
#include "desktop/LiveTarget.h"
#include "desktop/ScriptedDialogs.h"
#include "manage/ImageManagementWindow.h"
#include "manage/PicturePanel.h"
#include "manage/PictureView.h"
#include "measure/Sidecar.h"
#include "measureui/ActiveObjectives.h"
#include "measureui/MeasurementDocument.h"
#include "measureui/MeasurementPanel.h"
#include "measureui/MeasurementTool.h"
#include "measureui/ObjectiveControl.h"
#include "measureui/WindowMeasuring.h"
#include "picturefiles/PictureFile.h"
#include "skin/ControlIdentity.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"
#include "support/WaitUntil.h"
#include "system/Clock.h"
#include "system/SessionState.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTableWidget>
#include <QTest>

#include <filesystem>

namespace qelvo {
namespace {

namespace fs = std::filesystem;

class MeasuringWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QELVO_VIRTUAL_DEVICES", "Measuring Test Camera{fps=15}", 1);
        ::setenv("QELVO_REGISTRY_DIR", (root_ / "registry").c_str(), 1);
        ::setenv("QELVO_OBJECTIVES_DIR", (root_ / "objectives").c_str(), 1);
        setSelectedDeviceName("Measuring Test Camera");
        setStorageFolder(root_.path());
        previousClock_ = setClock(std::make_unique<FixedClock>(LocalTime{2026, 5, 6, 7, 8, 9}));
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs_ = scripted.get();
        previousDialogs_ = setDialogs(std::move(scripted));
        setPacingPause(std::chrono::milliseconds(5));
        launcher_.setGeometry(0, 0, 1024, 768);
        fs::create_directories(folder());
        ASSERT_TRUE(test::writeJpeg(folder() + "/a.jpg", 640, 480, QColor(20, 40, 160)));
        ASSERT_TRUE(test::writeJpeg(folder() + "/b.jpg", 640, 480, QColor(20, 40, 160)));
    }
    void TearDown() override {
        waitForSnapshotWriters();
        QCoreApplication::processEvents();
        setDialogs(std::move(previousDialogs_));
        setClock(std::move(previousClock_));
    }
    std::string folder() const { return root_ / "20260506"; }

    // A pointer event at `panel` (picture panel coordinates) as the window receives it.
    static void send(ImageManagementWindow& window, QEvent::Type type, QPoint panel,
                     Qt::MouseButton button = Qt::LeftButton) {
        const QPointF at = QPointF(window.picturePanel().pos() + panel);
        const Qt::MouseButtons held =
            type == QEvent::MouseButtonRelease || type == QEvent::MouseMove
                ? Qt::MouseButtons()
                : Qt::MouseButtons(button);
        QMouseEvent event(type, at, window.mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(&window, &event);
    }
    static void click(ImageManagementWindow& window, QPoint panel) {
        send(window, QEvent::MouseButtonPress, panel);
        send(window, QEvent::MouseButtonRelease, panel);
    }

    test::TempFolder root_;
    QWidget launcher_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<Dialogs> previousDialogs_;
    std::unique_ptr<Clock> previousClock_;
};

TEST_F(MeasuringWindowTest, ALineDrawnOnAZoomedPictureIsMeasuredKeptAndShownAgain) {
    ImageManagementWindow window(&launcher_, false);
    window.show();
    window.clickClip(0);
    ASSERT_EQ(window.currentPicture(), folder() + "/a.jpg");
    EXPECT_TRUE(window.measurementPanel().isVisible());
    // Zoomed to 1.6, the pan bars in the middle: panel = 1.6 * picture - (192, 144).
    for (int k = 0; k < 3; ++k) window.pictureView().zoomIn();
    ASSERT_FLOAT_EQ(window.pictureView().zoom(), 1.6f);
    window.measurementPanel().chooseKind(measure::ShapeKind::Line);
    click(window, {100, 100});
    send(window, QEvent::MouseMove, {300, 100});
    click(window, {300, 100});
    MeasurementDocument& document = window.measurements();
    ASSERT_EQ(document.session().shapes().size(), 1u);
    const auto& points = document.session().shapes()[0].points;
    EXPECT_NEAR(points[0].x, 182.5, 0.01);
    EXPECT_NEAR(points[0].y, 152.5, 0.01);
    EXPECT_NEAR(points[1].x, 307.5, 0.01);
    EXPECT_EQ(window.measurementPanel().resultsTable()->rowCount(), 1);

    // Drawn over the zoomed picture where it was drawn, not elsewhere.
    const QImage shown = window.picturePanel().grab().toImage();
    const QColor on = shown.pixelColor(200, 100), off = shown.pixelColor(200, 200);
    // (the new line is selected: the accent colour over the blue picture)
    EXPECT_GT(on.green(), 120) << on.name().toStdString();
    EXPECT_LT(off.green(), 80) << off.name().toStdString();

    // Kept beside the picture and shown again when the picture is opened again.
    document.waitForWrites();
    EXPECT_TRUE(fs::exists(folder() + "/a.jpg.measure"));
    window.clickClip(1);
    EXPECT_TRUE(document.session().empty());
    window.clickClip(0);
    ASSERT_EQ(document.session().shapes().size(), 1u);
    EXPECT_NEAR(document.session().shapes()[0].points[1].x, 307.5, 0.01);

    // Deleting the picture takes its measurements with it.
    dialogs_->messageAnswers = {MessageAnswer::Yes};
    window.deleteClip(0);
    EXPECT_FALSE(fs::exists(folder() + "/a.jpg"));
    EXPECT_FALSE(fs::exists(folder() + "/a.jpg.measure"));
    EXPECT_TRUE(document.session().empty());
}

TEST_F(MeasuringWindowTest, MeasurementsFollowARenamedPictureAndNothingIsWrittenOutsideImageMode) {
    ImageManagementWindow window(&launcher_, false);
    window.show();
    window.clickClip(0);
    window.measurementPanel().chooseKind(measure::ShapeKind::Points);
    click(window, {50, 50});
    click(window, {60, 50});
    send(window, QEvent::MouseButtonPress, {60, 50}, Qt::RightButton);
    ASSERT_EQ(window.measurements().session().shapes().size(), 1u);
    // Renamed before the write was due: the measurements are written first and go along.
    dialogs_->fileAnswers = {QString::fromStdString(folder() + "/renamed.jpg")};
    window.renameCurrent();
    window.measurements().waitForWrites();
    EXPECT_FALSE(fs::exists(folder() + "/a.jpg.measure"));
    std::string error;
    const auto kept = measure::loadSidecar(folder() + "/renamed.jpg", &error);
    ASSERT_TRUE(kept) << error;
    EXPECT_EQ(kept->shapes.size(), 1u);

    // Capture mode: clicks over the panel area draw nothing.
    window.setMode(ImageManagementWindow::CaptureMode);
    EXPECT_FALSE(window.measurementPanel().isVisible());
    window.measurementPanel().chooseKind(measure::ShapeKind::Line);
    click(window, {10, 10});
    click(window, {100, 10});
    EXPECT_EQ(window.measurements().session().shapes().size(), 1u);
}

TEST_F(MeasuringWindowTest, MeasurementsTurnWithThePicture) {
    ImageManagementWindow window(&launcher_, false);
    window.show();
    window.clickClip(0);
    MeasurementDocument& document = window.measurements();
    ASSERT_TRUE(document.session().add(
        measure::Shape{measure::ShapeKind::Line, {{100, 50}, {200, 50}}, ""}));
    // 640 x 480 turned clockwise: (x, y) -> (480 - y, x).
    window.runPictureTool(PictureTools::Tool::RotateQuarter);
    ASSERT_EQ(document.session().shapes().size(), 1u);
    EXPECT_DOUBLE_EQ(document.session().shapes()[0].points[0].x, 430);
    EXPECT_DOUBLE_EQ(document.session().shapes()[0].points[1].y, 200);
    window.runPictureTool(PictureTools::Tool::MirrorHorizontal);  // now 480 wide
    EXPECT_DOUBLE_EQ(document.session().shapes()[0].points[0].x, 50);
    // Equalising moves nothing; the turned measurements are what is kept.
    window.runPictureTool(PictureTools::Tool::Equalize);
    EXPECT_DOUBLE_EQ(document.session().shapes()[0].points[0].x, 50);
    document.waitForWrites();
    std::string error;
    const auto kept = measure::loadSidecar(folder() + "/a.jpg", &error);
    ASSERT_TRUE(kept) << error;
    EXPECT_DOUBLE_EQ(kept->shapes[0].points[1].y, 200);
    EXPECT_DOUBLE_EQ(kept->shapes[0].points[1].x, 50);
}

TEST_F(MeasuringWindowTest, SnapshotsRecordTheObjectiveInUseAndTheMenuSwitchesTheScaleBar) {
    ImageManagementWindow window(&launcher_, false);
    window.show();
    auto* live = qobject_cast<LiveTarget*>(findControl(&window, ImageManagementWindow::kViewPanel));
    ASSERT_TRUE(test::waitUntil([&] { return live->paintedFrames() > 0; }));
    ActiveObjectives& objectives = window.objectiveTools().objectives();
    ASSERT_TRUE(objectives.calibrate(2, 0.25, 1280, 960));
    ASSERT_TRUE(objectives.calibrate(0, 2.5, 1280, 960));
    ASSERT_TRUE(objectives.choose(2));  // 40x

    // Each snapshot records the objective in use then (the clock stands still, so the
    // second and third get -1 and -2); 10x is not calibrated and records nothing.
    const std::string base = folder() + "/20260506-070809";
    struct Shot {
        std::string path;
        std::function<void()> choose;
        double atFullWidth;
        std::string objective;
    };
    const Shot shots[] = {
        {base + ".jpg", [] {}, 0.25, "40x"},
        {base + "-1.jpg", [&] { QTest::keyClick(&window, Qt::Key_1); }, 2.5, "4x"},
        {base + "-2.jpg", [&] { objectives.choose(1); }, 0.0, ""},
    };
    for (const Shot& shot : shots) {
        shot.choose();
        window.snap();
        ASSERT_TRUE(test::waitUntil([&] { return fs::exists(shot.path); })) << shot.path;
        waitForSnapshotWriters();
        std::string error;
        const auto info = readPictureFileInfo(shot.path, &error);
        ASSERT_TRUE(info) << error;
        // The calibration holds at 1280 pixels wide; the frame's own width scales it.
        EXPECT_NEAR(info->calibration.micrometresPerPixel, shot.atFullWidth * 1280 / info->width,
                    1e-4 * shot.atFullWidth)
            << shot.path;
        EXPECT_EQ(info->calibration.objective, shot.objective) << shot.path;
    }

    // The menu's switch burns the scale bar in, kept for the device.
    auto scaleBarEntry = [](QMenu* menu) -> QAction* {
        for (QAction* action : menu->actions())
            if (action->text() == QStringLiteral("Scale bar in snapshots")) return action;
        return nullptr;
    };
    std::unique_ptr<QMenu> menu(window.objectiveTools().control().buildMenu());
    ASSERT_NE(scaleBarEntry(menu.get()), nullptr);
    EXPECT_FALSE(scaleBarEntry(menu.get())->isChecked());
    scaleBarEntry(menu.get())->trigger();
    EXPECT_TRUE(window.session().burnScaleBar());
    EXPECT_TRUE(loadBurnScaleBar(RegistryStore(), "Measuring Test Camera"));
    menu.reset(window.objectiveTools().control().buildMenu());
    EXPECT_TRUE(scaleBarEntry(menu.get())->isChecked());
}

}  // namespace
}  // namespace qelvo
