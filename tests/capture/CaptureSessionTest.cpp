#include "capture/CaptureFixture.h"
#include "capture/GrabberCallbacks.h"
#include "capture/SnapshotButtonPoll.h"
#include "capture/SnapshotSettings.h"
#include "desktop/LiveTarget.h"
#include "devices/CameraControlStore.h"
#include "devices/SimulatedCameraControls.h"
#include "imaging/CxImage.h"
#include "media/MediaGraph.h"
#include "picturefiles/PictureFile.h"
#include "simulated/RegistryDriverKeys.h"
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

using State = CaptureSession::State;
using test::handedOverSnapshots;
using test::waitUntil;
using test::writtenSnapshots;

class SessionTest : public test::CaptureFixture {};

TEST_F(SessionTest, StoppingIsSafeWhenNothingIsBuiltAndNoDeviceShowsNothing) {
    auto window = makeWindow(writtenSnapshots(), "");
    CaptureSession& session = window->session();
    session.stop();
    session.stop();
    EXPECT_EQ(session.state(), State::Closed);
    EXPECT_EQ(window->startAndSettle(), State::Closed) << "no device: nothing opens";
    EXPECT_FALSE(session.source());
    EXPECT_EQ(session.graph(), nullptr) << "no graph is built without a device";
    session.stop();
    EXPECT_EQ(session.graph(), nullptr);
    session.stopRecording();  // not recording: nothing happens
    EXPECT_EQ(session.graph(), nullptr);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->unavailable.isEmpty());
    EXPECT_EQ(window->states, (std::vector<State>{State::Opening, State::Closed}));
}

TEST_F(SessionTest, PreviewDrawsLiveFramesSnapWritesOnePictureAndStopEndsTheCallbacks) {
    setSelectedDeviceName("Bench Cam");
    auto window = makeWindow(writtenSnapshots(),
                             "Other Cam{size=160x120};Bench Cam{size=320x240};Bench Cam 2");
    CaptureSession& session = window->session();
    session.start();
    EXPECT_EQ(session.state(), State::Opening) << "the device opens off the GUI thread";
    ASSERT_TRUE(waitUntil([&] { return session.state() == State::Live; }));
    EXPECT_EQ(session.deviceName(), "Bench Cam");
    EXPECT_EQ(session.graph()->componentNames().front(), "Cap");
    EXPECT_EQ(window->states, (std::vector<State>{State::Opening, State::Live}));
    LiveTarget* panel = window->view();
    ASSERT_TRUE(window->waitForLiveFrames(3));
    EXPECT_EQ(session.callback(1).frameWidth(), 320);
    EXPECT_EQ(session.callback(1).frameHeight(), 240);
    EXPECT_EQ(session.callback(2).liveFreeze(), 1) << "still frames are never live";

    ASSERT_TRUE(session.requestSnapshot());
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    ASSERT_EQ(window->snapshots.size(), 1u) << "taken before it is written";
    EXPECT_EQ(picturesInFolder(), std::set<std::string>{"20260506-070809.jpg"});
    EXPECT_EQ(window->written[0], folder / "20260506-070809.jpg");
    EXPECT_EQ(window->snapshots[0]->width(), 320);

    // A second SNAP in the same second keeps the first picture and adds "-1".
    ASSERT_TRUE(session.requestSnapshot());
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 2; }));
    EXPECT_EQ(picturesInFolder(),
              (std::set<std::string>{"20260506-070809.jpg", "20260506-070809-1.jpg"}));

    session.stop();
    EXPECT_EQ(session.state(), State::Closed);
    EXPECT_EQ(session.graph(), nullptr);
    EXPECT_FALSE(session.source());
    const auto frames = panel->submittedFrames();
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(panel->submittedFrames(), frames) << "no callback runs after stop";
}

TEST_F(SessionTest, AnOddWidthCameraIsDrawnAndSavedWithItsPaddedRows) {
    // 641 pixels make rows of 1923 bytes, which the converter pads to 1924.
    setSelectedDeviceName("Odd Cam");
    auto window =
        makeWindow(writtenSnapshots(), "Odd Cam{size=641x481,pattern=smpte,motion=0,overlay=0}");
    ASSERT_EQ(window->startAndSettle(), State::Live);
    ASSERT_TRUE(window->waitForLiveFrames(3));
    EXPECT_EQ(window->session().callback(1).frameWidth(), 641);

    window->session().requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    ASSERT_EQ(window->snapshots.size(), 1u);
    const auto& frame = window->snapshots[0];
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
}

// Replaces the press counter file at once, as the press tool does.
void replaceCounter(const std::string& file, const std::string& text) {
    const std::string temp = file + ".test";
    std::ofstream(temp) << text;
    std::filesystem::rename(temp, file);
}

TEST_F(SessionTest, StillOutputWritesAPicturePerPressAndMissingStillIsHarmless) {
    const std::string name = "Still Cam " + std::to_string(::getpid());
    auto window = makeWindow(writtenSnapshots(), name + "{size=160x120,still}");
    ASSERT_EQ(window->startAndSettle(), State::Live);
    LiveTarget* panel = window->view();
    ASSERT_TRUE(window->waitForLiveFrames(2));
    ASSERT_TRUE(pressStill(name));
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    EXPECT_EQ(picturesInFolder().size(), 1u);
    EXPECT_EQ(window->clip()->submittedFrames(), 0u) << "still frames are not drawn";

    // A counter that cannot be read for a while is no change, not a reset: the next good
    // count releases one frame, not a burst.
    const std::uint64_t count = stillPressCount(name);
    replaceCounter(stillPressFile(name), "garbage\n");
    const auto frames = panel->submittedFrames();
    ASSERT_TRUE(waitUntil([&] { return panel->submittedFrames() >= frames + 5; }));
    replaceCounter(stillPressFile(name), std::to_string(count + 1) + "\n");
    ASSERT_TRUE(waitUntil([&] { return window->snapshots.size() >= 2; }));
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
    ASSERT_TRUE(waitUntil([&] { return window->snapshots.size() >= 3; }));

    // A counter rewritten far ahead by anything else releases a few stills, not a flood.
    replaceCounter(stillPressFile(name), "1000000\n");
    const auto flood = panel->submittedFrames();
    ASSERT_TRUE(waitUntil([&] { return panel->submittedFrames() >= flood + 30; }));
    waitForSnapshotWriters();
    EXPECT_GE(picturesInFolder().size(), 4u);
    EXPECT_LE(picturesInFolder().size(), 3u + 4u);
    window->session().stop();

    // Without a still output the second chain is missing and the preview is unaffected; the
    // still callback claims no size, so it takes nothing.
    auto other = makeWindow(writtenSnapshots(), "Plain{size=96x64}");
    ASSERT_EQ(other->startAndSettle(), State::Live);
    ASSERT_TRUE(other->waitForLiveFrames(2));
    EXPECT_EQ(other->session().callback(1).frameWidth(), 96);
    EXPECT_EQ(other->session().callback(2).frameWidth(), 0);
    EXPECT_EQ(other->session().callback(2).frameHeight(), 0);
}

TEST_F(SessionTest, HdVariantAsksFor1280x720WhereTheDeviceAllowsIt) {
    setSelectedDeviceName("Quillmar hd capture device");
    auto window = makeWindow(writtenSnapshots(true), "Quillmar hd capture device{size=640x480}");
    ASSERT_EQ(window->startAndSettle(), State::Live);
    ASSERT_TRUE(window->waitForLiveFrames(2));
    EXPECT_EQ(window->session().callback(1).frameWidth(), 1280);
    EXPECT_EQ(window->session().callback(1).frameHeight(), 720);
    window.reset();

    auto refusing =
        makeWindow(writtenSnapshots(true), "Quillmar hd capture device{size=640x480,hd=0}");
    ASSERT_EQ(refusing->startAndSettle(), State::Live);
    ASSERT_TRUE(refusing->waitForLiveFrames(2));
    EXPECT_EQ(refusing->session().callback(1).frameWidth(), 640);
}

TEST_F(SessionTest, FamilyEffectsStartTheirButtonPollsAndOpenTheBridge) {
    test::TempFolder registryDir;
    RegistryStore registry(registryDir / "registry");
    int chipPolls = 0;
    const SnapshotButtonPolls polls(ChipSnapshotButtonPoll([&]() -> BridgeHandle* {
                                        ++chipPolls;
                                        return nullptr;
                                    }),
                                    DriverSnapshotButtonPoll(registry));

    setSelectedDeviceName("USB 2860");
    auto chip = makeWindow(writtenSnapshots(), "USB 2860 Device{size=160x120}");
    chip->session().setSnapshotButtonPolls(polls);
    ASSERT_EQ(chip->startAndSettle(), State::Live);
    EXPECT_TRUE(chip->session().buttonPollRunning());
    EXPECT_EQ(bridgeOpened, std::vector<std::string>{"USB 2860 Device"});
    ASSERT_TRUE(waitUntil([&] { return chipPolls >= 2; })) << "the chip's register is polled";
    EXPECT_EQ(chip->session().registryDeviceIndex(), -1) << "the driver keys are not";
    chip->session().stop();
    EXPECT_EQ(bridgeClosed, 1);
    chip.reset();

    // A shorter beginning of a microscope-family name reaches it: its button is read from
    // the driver's keys, and a press waiting there is one button press.
    auto device = registry.createKey(driverDeviceKeyPath(0));
    ASSERT_TRUE(device);
    device->writeText("DriverVersion", "6.1.0.0");
    device->writeText("DriverDesc", "USB2.0 PC Camera (SN9C201)");
    auto settings = registry.createKey(driverSettingsKeyPath(0));
    ASSERT_TRUE(settings);
    settings->writeNumber("USBActive", 1);
    settings->writeNumber("SnapShotState", 3);
    chipPolls = 0;
    setSelectedDeviceName("USB2.0 PC Camera");
    auto micro = makeWindow(writtenSnapshots(),
                            "USB2.0 PC Camera (SN9C201){size=160x120};USB2.0 PC Camera B");
    micro->session().setSnapshotButtonPolls(polls);
    ASSERT_EQ(micro->startAndSettle(), State::Live);
    EXPECT_EQ(micro->session().deviceName(), "USB2.0 PC Camera (SN9C201)");
    EXPECT_TRUE(micro->session().buttonPollRunning());
    ASSERT_TRUE(waitUntil([&] { return micro->buttonPresses == 1; }));
    EXPECT_EQ(micro->session().registryDeviceIndex(), 0);
    EXPECT_EQ(chipPolls, 0);
    EXPECT_EQ(bridgeOpened.size(), 1u) << "no bridge for this family";
    ASSERT_TRUE(micro->waitForLiveFrames(2));
}

TEST_F(SessionTest, DeviceWithoutCaptureOutputPreviewsThroughTheDefaultRenderer) {
    auto window = makeWindow(writtenSnapshots(), "No Capture{size=160x120,nocapture}");
    ASSERT_EQ(window->startAndSettle(), State::Live);
    const auto names = window->session().graph()->componentNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "NULL renderer"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "Video Renderer"), 1);
    ASSERT_TRUE(window->waitForLiveFrames(2));
    window->session().requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    EXPECT_EQ(picturesInFolder().size(), 1u);
}

TEST_F(SessionTest, ASlowCameraShowsItsPictureWhenItStartsAndALostOneStopsCleanly) {
    // Its stream starts later than any reasonable wait for a first frame.
    auto window = makeWindow(writtenSnapshots(), "Slow Cam{size=160x120,delay=6000}");
    window->session().start();
    ASSERT_TRUE(window->waitForLiveFrames(2));
    EXPECT_EQ(window->session().state(), State::Live);
    EXPECT_EQ(window->session().callback(1).frameWidth(), 160);
    window.reset();

    auto other = makeWindow(writtenSnapshots(), "Unplugged{size=160x120,stopafter=5,unplug}");
    other->session().start();
    ASSERT_TRUE(waitUntil([&] { return other->view()->submittedFrames() >= 5; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    QCoreApplication::processEvents();
    other->session().stop();  // returns although the device went away
    EXPECT_EQ(other->session().graph(), nullptr);
    EXPECT_EQ(other->session().state(), State::Closed);
}

TEST_F(SessionTest, StoppingWhileTheDeviceOpensLetsItFinishAndANewStartWaitsForIt) {
    auto window = makeWindow(writtenSnapshots(), "Opening Cam{size=160x120}");
    CaptureSession& session = window->session();
    session.start();
    ASSERT_EQ(session.state(), State::Opening);
    session.stop();  // the open goes on off the GUI thread and closes the device there
    EXPECT_EQ(session.state(), State::Closed);
    EXPECT_EQ(session.graph(), nullptr);
    session.start();
    ASSERT_TRUE(waitUntil([&] { return session.state() == State::Live; }));
    ASSERT_TRUE(window->waitForLiveFrames(3));
    EXPECT_EQ(std::count(window->states.begin(), window->states.end(), State::Live), 1)
        << "the abandoned open reports nothing";
}

TEST_F(SessionTest, HandedOverSnapshotsCarryTheLatestFrameAndSilenceIsReported) {
    auto window = makeWindow(handedOverSnapshots(), "Pane Cam{size=160x120}");
    CaptureSession& session = window->session();
    ASSERT_EQ(window->startAndSettle(), State::Live);
    EXPECT_EQ(session.liveTarget(), window->pane(0));
    auto& still = static_cast<FrameHandingCallback&>(session.callback(2));
    EXPECT_EQ(still.snapshotRequest(), 1) << "every still frame is a button press";
    ASSERT_TRUE(waitUntil([&] { return window->pane(0)->submittedFrames() >= 3; }));
    session.watchForFrames();
    ASSERT_TRUE(session.requestSnapshot());
    ASSERT_TRUE(waitUntil([&] { return window->snapshots.size() == 1; }));
    ASSERT_TRUE(window->snapshots.back());
    EXPECT_EQ(window->snapshots.back()->width(), 160);
    EXPECT_TRUE(window->written.empty()) << "handed over, not written";
    auto& live = static_cast<FrameHandingCallback&>(session.callback(1));
    EXPECT_EQ(live.snapshotRequest(), 0);
    EXPECT_EQ(window->noLiveFrameReports, 0) << "frames keep the watch quiet";

    // Frame notices while asked for, and no more after.
    session.setFrameNotices(true);
    ASSERT_TRUE(waitUntil([&] { return window->notices.size() >= 2; }));
    session.setFrameNotices(false);
    QCoreApplication::processEvents();
    const auto notices = window->notices.size();
    ASSERT_TRUE(window->waitForLiveFrames(3));
    EXPECT_EQ(window->notices.size(), notices);

    // Frozen: nothing is drawn, and the watch reports the silence once.
    session.setFrozen(true);
    ASSERT_TRUE(waitUntil([&] { return window->noLiveFrameReports == 1; }));
    const auto drawn = window->pane(0)->submittedFrames();
    std::this_thread::sleep_for(std::chrono::milliseconds(CaptureSession::kNoFrameIntervalMs));
    QCoreApplication::processEvents();
    EXPECT_EQ(window->noLiveFrameReports, 1);
    EXPECT_EQ(window->pane(0)->submittedFrames(), drawn);
    session.setFrozen(false);
    session.stop();
    session.watchForFrames();
    ASSERT_TRUE(waitUntil([&] { return window->noLiveFrameReports == 2; }))
        << "without frames the watch fires";
}

TEST_F(SessionTest, ACameraOpensWithTheControlValuesKeptForIt) {
    test::TempFolder registry;
    ::setenv("QELVO_REGISTRY_DIR", registry.path().c_str(), 1);
    const std::uint32_t kGain = 0x00980913;
    ASSERT_TRUE(CameraControlStore(RegistryStore(), "Kept Cam @virtual").save(kGain, 40));
    auto window = makeWindow(writtenSnapshots(), "Kept Cam{size=96x64,controls}");
    EXPECT_EQ(window->startAndSettle(), State::Live);
    EXPECT_EQ(simulatedCameraControlsOf("Kept Cam")->value(kGain), 40);
    window.reset();
    ::unsetenv("QELVO_REGISTRY_DIR");
}

// The objective chosen in a window reaches the pictures its SNAP writes, its pixel size
// scaled to the frames; the scale bar setting is kept for the device.
TEST_F(SessionTest, SnapshotsRecordTheObjectiveAndTheScaleBarSettingIsKeptPerDevice) {
    test::TempFolder registry;
    ::setenv("QELVO_REGISTRY_DIR", registry.path().c_str(), 1);
    setSelectedDeviceName("Scope Cam");
    auto window = makeWindow(writtenSnapshots(), "Scope Cam{size=320x240}");
    CaptureSession& session = window->session();
    session.setObjective("10x", 2.0, 640, 480);
    EXPECT_FALSE(session.burnScaleBar()) << "off by default";
    EXPECT_EQ(window->startAndSettle(), State::Live);
    ASSERT_TRUE(window->waitForLiveFrames(2));
    ASSERT_TRUE(session.requestSnapshot());
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    std::string error;
    auto info = readPictureFileInfo(window->written[0], &error);
    ASSERT_TRUE(info) << error;
    EXPECT_DOUBLE_EQ(info->calibration.micrometresPerPixel, 4.0);
    EXPECT_EQ(info->calibration.objective, "10x");

    EXPECT_TRUE(session.setBurnScaleBar(true));
    window.reset();
    auto again = makeWindow(writtenSnapshots(), "Scope Cam{size=320x240}");
    EXPECT_EQ(again->startAndSettle(), State::Live);
    EXPECT_TRUE(again->session().burnScaleBar()) << "the device's setting is read again";
    again.reset();
    // Turned off while the device is still being found: that choice stands and is kept.
    auto early = makeWindow(writtenSnapshots(), "Scope Cam{size=320x240}");
    EXPECT_TRUE(early->session().setBurnScaleBar(false));
    EXPECT_EQ(early->startAndSettle(), State::Live);
    EXPECT_FALSE(early->session().burnScaleBar());
    EXPECT_FALSE(loadBurnScaleBar(RegistryStore(), "Scope Cam"));
    early.reset();
    ::unsetenv("QELVO_REGISTRY_DIR");
}

TEST_F(SessionTest, AveragedLosslessSnapshotsAndTheirSettingsAreKeptPerDevice) {
    test::TempFolder registry;
    ::setenv("QELVO_REGISTRY_DIR", registry.path().c_str(), 1);
    setSelectedDeviceName("Noisy Cam");
    const char* list = "Noisy Cam{size=160x120,noise=12,motion=0,overlay=0}";
    auto window = makeWindow(writtenSnapshots(), list);
    CaptureSession& session = window->session();
    EXPECT_EQ(window->startAndSettle(), State::Live);
    EXPECT_EQ(session.snapshotAverage(), 1) << "one frame by default";
    EXPECT_EQ(session.snapshotFormat(), PictureFormat::Jpeg);
    EXPECT_TRUE(session.setSnapshotAverage(8));
    EXPECT_TRUE(session.setSnapshotFormat(PictureFormat::Tiff));
    ASSERT_TRUE(window->waitForLiveFrames(2));
    ASSERT_TRUE(session.requestSnapshot());
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    EXPECT_EQ(window->written[0].substr(window->written[0].size() - 4), ".tif");
    std::string error;
    auto picture = readPictureFile(window->written[0], &error);
    ASSERT_TRUE(picture) << error;
    EXPECT_EQ(picture->width, 160);
    EXPECT_EQ(picture->bitsPerSample, 16) << "an average keeps 16 bits";
    // The noise averages into values between the 8-bit levels.
    const auto* s = reinterpret_cast<const std::uint16_t*>(picture->samples.data());
    int between = 0;
    for (int i = 0; i < 160 * 120 * 3; ++i) between += s[i] % 257 != 0;
    EXPECT_GT(between, 160 * 120);

    window.reset();
    auto again = makeWindow(writtenSnapshots(), list);
    EXPECT_EQ(again->startAndSettle(), State::Live);
    EXPECT_EQ(again->session().snapshotAverage(), 8) << "the device's settings are read again";
    EXPECT_EQ(again->session().snapshotFormat(), PictureFormat::Tiff);
    again.reset();
    ::unsetenv("QELVO_REGISTRY_DIR");
}

// Every byte of the frame's pixels lies in [low, high].
bool allPixelsWithin(const FrameRecord& frame, int low, int high) {
    const std::uint8_t* p = frame.pixels();
    if (!p) return false;
    for (int y = 0; y < frame.height(); ++y)
        for (std::size_t x = 0; x < static_cast<std::size_t>(frame.width()) * 3; ++x) {
            const int v = p[frame.rowBytes() * y + x];
            if (v < low || v > high) return false;
        }
    return true;
}

TEST_F(SessionTest, AWindowClosedWhileItsCameraOpensLeavesTheCameraToTheNextOne) {
    // A camera that can be open once at a time and takes a while to open.
    const std::string devices = "Busy Cam{size=64x48,opendelay=400,exclusive}";
    setSelectedDeviceName("Busy Cam");
    auto first = makeWindow(handedOverSnapshots(), devices);
    first->session().start();
    // Found and probed; now being opened to stream, and closed half way through.
    ASSERT_TRUE(waitUntil([&] { return first->session().graph() != nullptr; }));
    ASSERT_EQ(first->session().state(), State::Opening);
    first.reset();
    auto second = makeWindow(handedOverSnapshots(), devices);
    EXPECT_EQ(second->startAndSettle(), State::Live);
    EXPECT_TRUE(second->unavailable.isEmpty()) << second->unavailable.join("|").toStdString();
    EXPECT_TRUE(second->waitForLiveFrames(2));
}

TEST_F(SessionTest, DeviceSettingsOpenModallyOverTheWindow) {
    auto window = makeWindow(writtenSnapshots(), "Cfg{size=96x64}");
    ASSERT_EQ(window->startAndSettle(), State::Live);
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
    EXPECT_TRUE(showDeviceSettings(window.get(), window->session().source()));
    EXPECT_TRUE(sawModal);
}

TEST_F(SessionTest, SessionsOnTheSameDeviceListShareNothing) {
    const std::string devices =
        "White Cam{size=64x48,pattern=white,overlay=0,motion=0};"
        "Black Cam{size=64x48,pattern=black,overlay=0,motion=0}";
    auto openOn = [&](const char* name, const CaptureOptions& options) {
        setSelectedDeviceName(name);
        auto window = makeWindow(options, devices);
        EXPECT_EQ(window->startAndSettle(), State::Live) << name;
        EXPECT_EQ(window->session().deviceName(), name);
        return window;
    };
    auto hasPixels = [](const CaptureSession& s) {
        auto f = s.latestFrame();
        return f && f->pixels();
    };
    auto writer = openOn("White Cam", writtenSnapshots());
    auto white = openOn("White Cam", handedOverSnapshots());
    auto black = openOn("Black Cam", handedOverSnapshots());
    ASSERT_TRUE(
        waitUntil([&] { return hasPixels(white->session()) && hasPixels(black->session()); }));

    // Snapshots of one session reach that session only.
    ASSERT_TRUE(writer->session().requestSnapshot());
    ASSERT_TRUE(waitUntil([&] { return writer->written.size() == 1; }));
    ASSERT_TRUE(white->session().requestSnapshot());
    ASSERT_TRUE(waitUntil([&] { return white->snapshots.size() == 1; }));
    ASSERT_TRUE(black->waitForLiveFrames(5));
    waitForSnapshotWriters();
    QCoreApplication::processEvents();
    EXPECT_TRUE(black->snapshots.empty());
    EXPECT_TRUE(black->written.empty());
    EXPECT_TRUE(white->written.empty());
    EXPECT_EQ(writer->snapshots.size(), writer->written.size());
    ASSERT_TRUE(white->snapshots[0]);
    EXPECT_TRUE(allPixelsWithin(*white->snapshots[0], 192, 255));

    ASSERT_TRUE(black->session().requestSnapshot());
    ASSERT_TRUE(waitUntil([&] { return black->snapshots.size() == 1; }));
    ASSERT_TRUE(black->snapshots[0]);
    EXPECT_TRUE(allPixelsWithin(*black->snapshots[0], 0, 63));
    EXPECT_EQ(white->snapshots.size(), 1u);
    EXPECT_TRUE(allPixelsWithin(*black->session().latestFrame(), 0, 63))
        << "no pixel of the white session's frames";
    EXPECT_TRUE(allPixelsWithin(*white->session().latestFrame(), 192, 255));

    // A session opened after another closed starts with nothing of the one before.
    white.reset();
    auto reopened = makeWindow(handedOverSnapshots(), devices);
    setSelectedDeviceName("Black Cam");
    EXPECT_FALSE(hasPixels(reopened->session()));
    reopened->session().start();
    ASSERT_TRUE(waitUntil([&] { return hasPixels(reopened->session()); }));
    EXPECT_TRUE(allPixelsWithin(*reopened->session().latestFrame(), 0, 63));
    ASSERT_TRUE(reopened->session().requestSnapshot());
    ASSERT_TRUE(waitUntil([&] { return reopened->snapshots.size() == 1; }));
    EXPECT_TRUE(allPixelsWithin(*reopened->snapshots[0], 0, 63));
}

}  // namespace
}  // namespace qelvo
