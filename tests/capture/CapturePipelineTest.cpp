#include "capture/CaptureFixture.h"
#include "desktop/LiveTarget.h"
#include "devices/CameraControlStore.h"
#include "devices/SimulatedCameraControls.h"
#include "imaging/CxImage.h"
#include "media/MediaGraph.h"
#include "simulated/VirtualButtonChannel.h"
#include "widgets/DeviceSettingsDialog.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

namespace qelvo {
namespace {

using test::CaptureTestWindow;
using test::waitUntil;

class PipelineTest : public test::CaptureFixture {};

TEST_F(PipelineTest, TeardownIsSafeWhenNothingIsBuilt) {
    CaptureTestWindow window;
    auto pipeline = makePipeline(window, WindowKind::ImageManagement, false, "");
    pipeline->tearDown();
    pipeline->tearDown();
    EXPECT_FALSE(showDeviceSettings(nullptr, pipeline->source())) << "no source: no pages";
    EXPECT_FALSE(pipeline->startCapture().ok()) << "no device";
    EXPECT_EQ(pipeline->graph() != nullptr, true) << "the failed graph stays until teardown";
    pipeline->tearDown();
    EXPECT_EQ(pipeline->graph(), nullptr);
    pipeline->stopRecording();  // not recording: nothing happens
    EXPECT_EQ(pipeline->graph(), nullptr);
    EXPECT_TRUE(dialogs->shown.empty());
}

TEST_F(PipelineTest, PreviewDrawsLiveFramesSnapWritesOnePictureAndTeardownStopsCallbacks) {
    CaptureTestWindow window;
    setSelectedDeviceName("Bench Cam");
    auto pipeline = makePipeline(window, WindowKind::ImageManagement, false,
                                 "Other Cam{size=160x120};Bench Cam{size=320x240};Bench Cam 2");
    ASSERT_TRUE(pipeline->startCapture().ok());
    EXPECT_EQ(captureWords().frameReadyTarget.load(), &window);
    EXPECT_EQ(pipeline->graph()->componentNames().front(), "Cap");
    EXPECT_EQ(snapshotKindCallback(false, 1).frameWidth(), 320);
    EXPECT_EQ(snapshotKindCallback(false, 1).frameHeight(), 240);
    EXPECT_EQ(snapshotKindCallback(false, 2).liveFreeze(), 1);
    EXPECT_EQ(snapshotKindCallback(false, 1).targetRect(), QRect(0, 0, 640, 480));
    LiveTarget* panel = window.panel(1037);
    ASSERT_TRUE(waitUntil([&] { return panel->submittedFrames() >= 3; }));

    pipeline->requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) == 1; }));
    waitForSnapshotWriters();
    EXPECT_EQ(picturesInFolder(), std::set<std::string>{"20260506-070809.jpg"});
    EXPECT_EQ(window.messages[0].frame->width(), 320);

    // A second SNAP in the same second keeps the first picture and adds "-1".
    pipeline->requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) == 2; }));
    waitForSnapshotWriters();
    EXPECT_EQ(picturesInFolder(),
              (std::set<std::string>{"20260506-070809.jpg", "20260506-070809-1.jpg"}));

    pipeline->tearDown();
    EXPECT_EQ(pipeline->graph(), nullptr);
    EXPECT_FALSE(pipeline->source());
    const auto frames = panel->submittedFrames();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(panel->submittedFrames(), frames) << "no callback runs after teardown";
}

TEST_F(PipelineTest, AnOddWidthCameraIsDrawnAndSavedWithItsPaddedRows) {
    // 641 pixels make rows of 1923 bytes, which the converter pads to 1924.
    CaptureTestWindow window;
    setSelectedDeviceName("Odd Cam");
    auto pipeline = makePipeline(window, WindowKind::ImageManagement, false,
                                 "Odd Cam{size=641x481,pattern=smpte,motion=0,overlay=0}");
    ASSERT_TRUE(pipeline->startCapture().ok());
    EXPECT_EQ(snapshotKindCallback(false, 1).frameWidth(), 641);
    ASSERT_TRUE(waitUntil([&] { return window.panel(1037)->submittedFrames() >= 3; }));

    pipeline->requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) == 1; }));
    waitForSnapshotWriters();
    const auto& frame = window.messages[0].frame;
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->rowBytes(), 1924u);
    ASSERT_EQ(frame->length(), 1924u * 481);
    for (int y = 0; y < 481; ++y) EXPECT_EQ(frame->pixels()[1924 * y + 1923], 0) << "row " << y;
    const std::uint8_t* top = frame->pixels() + 1924 * 480;
    EXPECT_NEAR(top[0], 255, 3) << "white top left corner, stored last";
    const auto pictures = picturesInFolder();
    ASSERT_EQ(pictures.size(), 1u);
    CxImage saved;
    ASSERT_TRUE(saved.LoadFile((folder.path() + "/" + *pictures.begin()).c_str(), FormatJpeg));
    EXPECT_EQ(saved.Width(), 641);
    EXPECT_EQ(saved.Height(), 481);
    pipeline->tearDown();
}

// Replaces the press counter file at once, as the press tool does.
void replaceCounter(const std::string& file, const std::string& text) {
    const std::string temp = file + ".test";
    std::ofstream(temp) << text;
    std::filesystem::rename(temp, file);
}

TEST_F(PipelineTest, StillOutputWritesAPicturePerPressAndMissingStillIsHarmless) {
    CaptureTestWindow window;
    const std::string name = "Still Cam " + std::to_string(::getpid());
    auto pipeline =
        makePipeline(window, WindowKind::ImageManagement, false, name + "{size=160x120,still}");
    ASSERT_TRUE(pipeline->startCapture().ok());
    LiveTarget* panel = window.panel(1037);
    ASSERT_TRUE(waitUntil([&] { return panel->submittedFrames() >= 2; }));
    ASSERT_TRUE(pressStill(name));
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) == 1; }));
    waitForSnapshotWriters();
    EXPECT_EQ(picturesInFolder().size(), 1u);

    // A counter that cannot be read for a while is no change, not a reset: the next good
    // count releases one frame, not a burst.
    const std::uint64_t count = stillPressCount(name);
    replaceCounter(stillPressFile(name), "garbage\n");
    const auto frames = panel->submittedFrames();
    ASSERT_TRUE(waitUntil([&] { return panel->submittedFrames() >= frames + 5; }));
    replaceCounter(stillPressFile(name), std::to_string(count + 1) + "\n");
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) >= 2; }));
    const auto later = panel->submittedFrames();
    ASSERT_TRUE(waitUntil([&] { return panel->submittedFrames() >= later + 5; }));
    waitForSnapshotWriters();
    EXPECT_EQ(picturesInFolder().size(), 2u);

    // The press tool starts a damaged counter again at 1: that press is a new one, not lost.
    replaceCounter(stillPressFile(name), "garbage\n");
    const auto damaged = panel->submittedFrames();
    ASSERT_TRUE(waitUntil([&] { return panel->submittedFrames() >= damaged + 5; }));
    ASSERT_TRUE(pressStill(name));
    ASSERT_EQ(stillPressCount(name), 1u);
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) >= 3; }));

    // A counter rewritten far ahead by anything else releases a few stills, not a flood.
    replaceCounter(stillPressFile(name), "1000000\n");
    const auto flood = panel->submittedFrames();
    ASSERT_TRUE(waitUntil([&] { return panel->submittedFrames() >= flood + 30; }));
    waitForSnapshotWriters();
    EXPECT_GE(picturesInFolder().size(), 4u);
    EXPECT_LE(picturesInFolder().size(), 3u + 4u);
    pipeline->tearDown();

    // Without a still output the second chain is missing and the preview is unaffected;
    // the still callback belongs to the new window and claims no size, so it draws nothing.
    CaptureTestWindow other;
    auto plain = makePipeline(other, WindowKind::ImageManagement, false, "Plain{size=96x64}");
    ASSERT_TRUE(plain->startCapture().ok());
    ASSERT_TRUE(waitUntil([&] { return other.panel(1037)->submittedFrames() >= 2; }));
    EXPECT_EQ(snapshotKindCallback(false, 1).frameWidth(), 96);
    EXPECT_EQ(snapshotKindCallback(false, 2).owner(), &other);
    EXPECT_EQ(snapshotKindCallback(false, 2).frameWidth(), 0);
    EXPECT_EQ(snapshotKindCallback(false, 2).frameHeight(), 0);
}

TEST_F(PipelineTest, HdVariantAsksFor1280x720WhereTheDeviceAllowsIt) {
    CaptureTestWindow window;
    setSelectedDeviceName("Quillmar hd capture device");
    auto pipeline = makePipeline(window, WindowKind::ImageManagement, true,
                                 "Quillmar hd capture device{size=640x480}");
    ASSERT_TRUE(pipeline->startCapture().ok());
    EXPECT_EQ(snapshotKindCallback(true, 1).frameWidth(), 1280);
    EXPECT_EQ(snapshotKindCallback(true, 1).frameHeight(), 720);
    pipeline->tearDown();

    auto refusing = makePipeline(window, WindowKind::ImageManagement, true,
                                 "Quillmar hd capture device{size=640x480,hd=0}");
    ASSERT_TRUE(refusing->startCapture().ok());
    EXPECT_EQ(snapshotKindCallback(true, 1).frameWidth(), 640);
    ASSERT_TRUE(waitUntil([&] { return window.panel(1037)->submittedFrames() >= 2; }));
}

TEST_F(PipelineTest, FamilyEffectsStartTheirTimersAndOpenTheBridge) {
    CaptureTestWindow window;
    setSelectedDeviceName("USB 2860");
    auto chip =
        makePipeline(window, WindowKind::ImageManagement, false, "USB 2860 Device{size=160x120}");
    ASSERT_TRUE(chip->startCapture().ok());
    EXPECT_TRUE(window.hostTimers().isActive(CaptureIds::kChipPollTimer));
    EXPECT_FALSE(window.hostTimers().isActive(CaptureIds::kDriverPollTimer));
    EXPECT_EQ(bridgeOpened, std::vector<std::string>{"USB 2860 Device"});
    EXPECT_EQ(chip->microscopeFamily(), 0);
    chip->tearDown();
    EXPECT_EQ(bridgeClosed, 1);

    // A shorter beginning of a microscope-family name reaches it; its live chain is the
    // preview branch.
    CaptureTestWindow other;
    setSelectedDeviceName("USB2.0 PC Camera");
    auto micro = makePipeline(other, WindowKind::ImageManagement, false,
                              "USB2.0 PC Camera (SN9C201){size=160x120};USB2.0 PC Camera B");
    ASSERT_TRUE(micro->startCapture().ok());
    EXPECT_EQ(micro->microscopeFamily(), 1);
    EXPECT_TRUE(other.hostTimers().isActive(CaptureIds::kDriverPollTimer));
    ASSERT_TRUE(waitUntil([&] { return other.panel(1037)->submittedFrames() >= 2; }));
}

TEST_F(PipelineTest, DeviceWithoutCaptureOutputPreviewsThroughTheDefaultRenderer) {
    CaptureTestWindow window;
    auto pipeline = makePipeline(window, WindowKind::ImageManagement, false,
                                 "No Capture{size=160x120,nocapture}");
    ASSERT_TRUE(pipeline->startCapture().ok());
    const auto names = pipeline->graph()->componentNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "NULL renderer"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Video Renderer"), 1);
    ASSERT_TRUE(waitUntil([&] { return window.panel(1037)->submittedFrames() >= 2; }));
    pipeline->requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window.written.size() == 1; }));
    EXPECT_EQ(picturesInFolder().size(), 1u);
    pipeline->tearDown();
}

TEST_F(PipelineTest, ASlowCameraIsBuiltWithoutWaitingAndShowsItsPictureWhenItStarts) {
    // Its stream starts later than any reasonable wait for a first frame.
    CaptureTestWindow window;
    auto pipeline = makePipeline(window, WindowKind::ImageManagement, false,
                                 "Slow Cam{size=160x120,delay=6000}");
    ASSERT_TRUE(pipeline->startCapture().ok());
    LiveTarget* panel = window.panel(1037);
    ASSERT_TRUE(waitUntil([&] { return panel->submittedFrames() >= 2; }));
    EXPECT_EQ(snapshotKindCallback(false, 1).frameWidth(), 160);
    pipeline->tearDown();

    CaptureTestWindow other;
    auto stopping = makePipeline(other, WindowKind::ImageManagement, false,
                                 "Unplugged{size=160x120,stopafter=5,unplug}");
    ASSERT_TRUE(stopping->startCapture().ok());
    ASSERT_TRUE(waitUntil([&] { return other.panel(1037)->submittedFrames() >= 5; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QCoreApplication::processEvents();
    stopping->tearDown();  // returns although the device went away
    EXPECT_EQ(stopping->graph(), nullptr);
}

TEST_F(PipelineTest, MultiViewPanesReceiveFramesAndSnapshotRequestsPostTheLatestFrame) {
    CaptureTestWindow window;
    auto pipeline = makePipeline(window, WindowKind::MultiView, false, "Pane Cam{size=160x120}");
    ASSERT_TRUE(pipeline->startCapture().ok());
    EXPECT_EQ(captureWords().notificationWindow.load(), &window);
    EXPECT_EQ(multiViewKindCallback(false, 2).snapshotRequest(), 1);
    ASSERT_TRUE(waitUntil([&] { return window.panel(1015)->submittedFrames() >= 3; }));
    pipeline->requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kSnapshotFrameMessage) == 1; }));
    ASSERT_TRUE(window.messages.back().frame);
    EXPECT_EQ(window.messages.back().frame->width(), 160);
    EXPECT_EQ(multiViewKindCallback(false, 1).snapshotRequest(), 0);
    ASSERT_TRUE(waitUntil(
        [&] { return window.countExpiries(MultiViewKindCallback::kAlarmClearTimer) == 1; }));
    pipeline->tearDown();
    ASSERT_TRUE(waitUntil([&] {
        return window.countExpiries(MultiViewKindCallback::kNoFrameTimer) >= 1;
    })) << "without frames the watchdog fires";
}

TEST_F(PipelineTest, DeviceSettingsOpenModallyOverTheWindow) {
    CaptureTestWindow window;
    auto pipeline = makePipeline(window, WindowKind::ImageManagement, false, "Cfg{size=96x64}");
    ASSERT_TRUE(pipeline->startCapture().ok());
    bool sawModal = false;
    QTimer::singleShot(200, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            sawModal = true;
            modal->close();
        }
    });
    QTimer watchdog;  // in case the dialog never shows as the active modal widget
    QObject::connect(&watchdog, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->isModal() && w->isVisible()) w->close();
    });
    watchdog.start(2000);
    EXPECT_TRUE(showDeviceSettings(&window, pipeline->source()));
    EXPECT_TRUE(sawModal);
}

TEST_F(PipelineTest, ACameraOpensWithTheControlValuesKeptForIt) {
    test::TempFolder registry;
    ::setenv("QELVO_REGISTRY_DIR", registry.path().c_str(), 1);
    const std::uint32_t kGain = 0x00980913;
    ASSERT_TRUE(CameraControlStore(RegistryStore(), "Kept Cam @virtual").save(kGain, 40));
    CaptureTestWindow window;
    auto pipeline =
        makePipeline(window, WindowKind::ImageManagement, false, "Kept Cam{size=96x64,controls}");
    ASSERT_TRUE(pipeline->startCapture().ok());
    EXPECT_EQ(simulatedCameraControlsOf("Kept Cam")->value(kGain), 40);
    pipeline->tearDown();
    ::unsetenv("QELVO_REGISTRY_DIR");
}

}  // namespace
}  // namespace qelvo
