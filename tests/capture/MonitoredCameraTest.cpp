// Cameras found by the device monitor, as a real camera is: the test provider's cameras are
// listed by the system catalogue and bound, previewed, snapped and recorded by the real
// pipeline, whatever other cameras the machine has.
#include "capture/CaptureFixture.h"
#include "capture/GrabberCallbacks.h"
#include "desktop/LiveTarget.h"
#include "media/MediaFile.h"
#include "support/TestCameraProvider.h"

#include <cstdlib>

namespace qelvo {
namespace {

using State = CaptureSession::State;
using test::CaptureTestWindow;
using test::TestCamera;
using test::TestCameraKind;
using test::waitUntil;

class MonitoredCameraTest : public test::CaptureFixture {
protected:
    void SetUp() override {
        CaptureFixture::SetUp();
        ::unsetenv("QELVO_VIRTUAL_DEVICES");
        test::registerTestCameraProvider();
    }
    void TearDown() override {
        test::unplugAllTestCameras();
        CaptureFixture::TearDown();
    }

    // A window whose session uses the system's device list, to be opened on the camera named.
    std::unique_ptr<CaptureTestWindow> openOn(const TestCamera& camera, bool hd) {
        test::plugTestCamera(camera);
        setSelectedDeviceName(camera.name);
        auto window = std::make_unique<CaptureTestWindow>(test::writtenSnapshots(hd));
        window->session().setBridgeAccess({[](const std::string&, const auto&) {}, [] {}});
        window->show();
        return window;
    }

    void settle(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        waitUntil([&] { return std::chrono::steady_clock::now() >= end; });
    }

    MediaFileInfo record(CaptureTestWindow& window, const std::string& name) {
        const std::string path = folder / name;
        window.session().startRecording(path, window.view());
        EXPECT_TRUE(window.session().isRecording());
        settle(800);
        window.session().stopRecording();
        MediaFileInfo info;
        EXPECT_TRUE(inspectMediaFile(path, info).ok()) << path;
        return info;
    }
};

TEST_F(MonitoredCameraTest, RawCameraPreviewsSnapsAndRecordsThroughTheMonitor) {
    auto window = openOn({"Provider Cam", TestCameraKind::Raw, 320, 240, 30}, false);
    ASSERT_EQ(window->startAndSettle(), State::Live);
    ASSERT_TRUE(window->waitForLiveFrames(3));
    EXPECT_EQ(window->session().callback(1).frameWidth(), 320);

    window->session().requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    EXPECT_EQ(picturesInFolder().size(), 1u);

    const MediaFileInfo movie = record(*window, "raw.avi");
    EXPECT_EQ(movie.width, 320);
    EXPECT_GT(movie.videoFrames, 0u);
    EXPECT_TRUE(window->waitForLiveFrames(3)) << "preview returns after the recording";
    EXPECT_TRUE(window->unavailable.isEmpty()) << window->unavailable.join("|").toStdString();
    EXPECT_TRUE(window->recordingProblems.isEmpty());
}

TEST_F(MonitoredCameraTest, MotionJpegOnlyCameraGivesTheHdWindowBottomUpBgrFrames) {
    auto window = openOn({"Provider MJPEG Cam", TestCameraKind::MotionJpeg, 1280, 720, 30}, true);
    testing::internal::CaptureStderr();
    const State started = window->startAndSettle();
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_EQ(started, State::Live);
    const std::string line =
        "\"Provider MJPEG Cam\" streams 1280x720 Motion JPEG at 30 fps, decoded by jpegdec";
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find(line), log.rfind(line)) << "logged once per build: " << log;

    window->session().requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window->snapshots.size() == 1; }));
    const auto& frame = window->snapshots.front();
    ASSERT_TRUE(frame);
    ASSERT_EQ(frame->width(), 1280);
    ASSERT_EQ(frame->height(), 720);
    // Colour bars over a dark strip: the first row in the block is the picture's bottom
    // (dark), the last its top, whose second bar is yellow (high red and green, low blue).
    const std::uint8_t* bottom = frame->pixels();
    const std::uint8_t* top = frame->pixels() + frame->rowBytes() * 719;
    const int barX = 1280 * 3 / 14;  // the middle of the second of seven bars
    EXPECT_LT(bottom[30 * 3] + bottom[30 * 3 + 1] + bottom[30 * 3 + 2], 300);
    EXPECT_LT(top[barX * 3], 80) << "blue";
    EXPECT_GT(top[barX * 3 + 1], 150) << "green";
    EXPECT_GT(top[barX * 3 + 2], 150) << "red";
    waitForSnapshotWriters();
    EXPECT_EQ(picturesInFolder().size(), 1u);

    const MediaFileInfo movie = record(*window, "mjpeg.avi");
    EXPECT_EQ(movie.width, 1280);
    EXPECT_EQ(movie.height, 720);
    EXPECT_TRUE(window->unavailable.isEmpty()) << window->unavailable.join("|").toStdString();
    EXPECT_TRUE(window->recordingProblems.isEmpty());
}

TEST_F(MonitoredCameraTest, OddSizedMotionJpegReachesTheGrabberWhole) {
    auto window = openOn({"Odd MJPEG Cam", TestCameraKind::MotionJpeg, 1279, 719, 15}, false);
    window->session().start();
    window->session().requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window->snapshots.size() == 1; }));
    const auto& frame = window->snapshots.front();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width(), 1279);
    EXPECT_EQ(frame->height(), 719);
    EXPECT_GE(frame->rowBytes(), 1279 * 3);
    // The top row's second colour bar is yellow: rows were neither sheared nor cut short.
    const std::uint8_t* top = frame->pixels() + frame->rowBytes() * 718;
    const int barX = 1279 * 3 / 14;
    EXPECT_LT(top[barX * 3], 80) << "blue";
    EXPECT_GT(top[barX * 3 + 1], 150) << "green";
    EXPECT_GT(top[barX * 3 + 2], 150) << "red";
    waitForSnapshotWriters();
    EXPECT_TRUE(window->unavailable.isEmpty()) << window->unavailable.join("|").toStdString();
}

TEST_F(MonitoredCameraTest, CamerasThatCannotBeShownAreReportedOnceAndTheWindowStaysUsable) {
    struct Case {
        TestCamera camera;
        const char* says;  // part of the one message
    };
    const Case cases[] = {
        {{"Bayer Cam", TestCameraKind::Undecodable},
         "offers only picture formats this program cannot decode: video/x-bayer (bggr)"},
        {{"Gone Cam", TestCameraKind::Vanished}, "could not be opened"},
        {{"Lost Cam", TestCameraKind::FailsWhenStarting}, "disconnected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera.name);
        auto window = openOn(c.camera, false);
        CaptureSession& session = window->session();
        session.start();
        // Found out while the camera opens, off the GUI thread.
        EXPECT_EQ(session.state(), State::Opening);
        ASSERT_TRUE(waitUntil([&] { return window->unavailable.size() == 1; }));
        EXPECT_EQ(session.state(), State::NoPicture);
        settle(300);
        ASSERT_EQ(window->unavailable.size(), 1) << window->unavailable.join("|").toStdString();
        const QString text = window->unavailable.front();
        EXPECT_TRUE(text.contains(QString::fromStdString(c.camera.name)));
        EXPECT_TRUE(text.contains(QString::fromUtf8(c.says))) << text.toStdString();

        // The window goes on: SNAP only raises the flag, and a working camera plugged in
        // afterwards shows once the session starts again.
        EXPECT_TRUE(session.requestSnapshot());
        test::plugTestCamera({"Spare Cam", TestCameraKind::Raw});
        setSelectedDeviceName("Spare Cam");
        session.stop();
        EXPECT_EQ(window->startAndSettle(), State::Live);
        EXPECT_TRUE(waitUntil([&] { return window->view()->submittedFrames() >= 2; }));
        window.reset();
        test::unplugAllTestCameras();
    }
}

TEST_F(MonitoredCameraTest, RebuildsForACameraThatCannotBeShownRepeatNoMessage) {
    auto window = openOn({"Bayer Cam", TestCameraKind::Undecodable}, false);
    EXPECT_EQ(window->startAndSettle(), State::NoPicture);
    // A failed recording builds the preview again, which fails the same way each time.
    for (int i = 1; i <= 3; ++i) {
        window->session().startRecording(folder / "movie.avi", window->view());
        ASSERT_TRUE(waitUntil([&] { return window->recordingProblems.size() == i; }));
        EXPECT_FALSE(window->session().isRecording());
        EXPECT_TRUE(waitUntil([&] { return window->session().state() == State::NoPicture; }));
    }
    settle(300);
    EXPECT_EQ(window->unavailable.size(), 1) << window->unavailable.join("|").toStdString();
}

}  // namespace
}  // namespace qelvo
