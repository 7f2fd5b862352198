// Cameras found by the device monitor, as a real camera is: the test provider's cameras are
// listed by the system catalogue and bound, previewed, snapped and recorded by the real
// pipeline, whatever other cameras the machine has.
#include "capture/CaptureFixture.h"
#include "desktop/LiveTarget.h"
#include "media/MediaFile.h"
#include "support/TestCameraProvider.h"

#include <cstdlib>

namespace qelvo {
namespace {

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

    // A pipeline over the system's device list, opened on the camera named.
    std::unique_ptr<CapturePipeline> openOn(CaptureTestWindow& window, const TestCamera& camera,
                                            bool hd) {
        test::plugTestCamera(camera);
        setSelectedDeviceName(camera.name);
        window.show();
        auto pipeline = std::make_unique<CapturePipeline>(window, WindowKind::ImageManagement, hd);
        pipeline->setBridgeAccess({[](const std::string&) {}, [] {}});
        return pipeline;
    }

    void settle(int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        waitUntil([&] { return std::chrono::steady_clock::now() >= end; });
    }

    MediaFileInfo record(CapturePipeline& pipeline, const std::string& name) {
        const std::string path = folder / name;
        dialogs->fileAnswers.push_back(QString::fromStdString(path));
        pipeline.startRecording();
        EXPECT_TRUE(pipeline.isRecording());
        settle(800);
        pipeline.stopRecording();
        MediaFileInfo info;
        EXPECT_TRUE(inspectMediaFile(path, info).ok()) << path;
        return info;
    }
};

TEST_F(MonitoredCameraTest, RawCameraPreviewsSnapsAndRecordsThroughTheMonitor) {
    CaptureTestWindow window;
    auto pipeline = openOn(window, {"Provider Cam", TestCameraKind::Raw, 320, 240, 30}, false);
    ASSERT_TRUE(pipeline->startCapture().ok());
    ASSERT_TRUE(waitUntil([&] { return window.panel(1037)->submittedFrames() >= 3; }));
    EXPECT_EQ(snapshotKindCallback(false, 1).frameWidth(), 320);

    pipeline->requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) == 1; }));
    waitForSnapshotWriters();
    EXPECT_EQ(picturesInFolder().size(), 1u);

    const MediaFileInfo movie = record(*pipeline, "raw.avi");
    EXPECT_EQ(movie.width, 320);
    EXPECT_GT(movie.videoFrames, 0u);
    EXPECT_TRUE(waitUntil([&] { return window.panel(1037)->submittedFrames() >= 6; }))
        << "preview returns after the recording";
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
}

TEST_F(MonitoredCameraTest, MotionJpegOnlyCameraGivesTheHdWindowBottomUpBgrFrames) {
    CaptureTestWindow window;
    auto pipeline =
        openOn(window, {"Provider MJPEG Cam", TestCameraKind::MotionJpeg, 1280, 720, 30}, true);
    testing::internal::CaptureStderr();
    const bool started = pipeline->startCapture().ok();
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(started);
    const std::string line =
        "\"Provider MJPEG Cam\" streams 1280x720 Motion JPEG at 30 fps, decoded by jpegdec";
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(log.find(line), log.rfind(line)) << "logged once per build: " << log;

    pipeline->requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) == 1; }));
    const auto& frame = window.messages.front().frame;
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

    const MediaFileInfo movie = record(*pipeline, "mjpeg.avi");
    EXPECT_EQ(movie.width, 1280);
    EXPECT_EQ(movie.height, 720);
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
}

TEST_F(MonitoredCameraTest, OddSizedMotionJpegReachesTheGrabberWhole) {
    CaptureTestWindow window;
    auto pipeline =
        openOn(window, {"Odd MJPEG Cam", TestCameraKind::MotionJpeg, 1279, 719, 15}, false);
    ASSERT_TRUE(pipeline->startCapture().ok());
    pipeline->requestSnapshot();
    ASSERT_TRUE(waitUntil([&] { return window.countMessages(kFrameReadyMessage) == 1; }));
    const auto& frame = window.messages.front().frame;
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
    EXPECT_TRUE(dialogs->messages().isEmpty()) << dialogs->messages().join("|").toStdString();
}

TEST_F(MonitoredCameraTest, CamerasThatCannotBeShownAreReportedOnceAndTheWindowStaysUsable) {
    struct Case {
        TestCamera camera;
        bool builds;       // the graph starts before the failure shows
        const char* says;  // part of the one message
    };
    const Case cases[] = {
        {{"Bayer Cam", TestCameraKind::Undecodable},
         false,
         "offers only picture formats this program cannot decode: video/x-bayer (bggr)"},
        {{"Gone Cam", TestCameraKind::Vanished}, false, "could not be opened"},
        {{"Lost Cam", TestCameraKind::FailsWhenStarting}, true, "disconnected"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.camera.name);
        dialogs->shown.clear();
        CaptureTestWindow window;
        auto pipeline = openOn(window, c.camera, false);
        EXPECT_EQ(pipeline->startCapture().ok(), c.builds);
        ASSERT_TRUE(waitUntil([&] { return dialogs->shown.size() == 1; }));
        settle(300);
        ASSERT_EQ(dialogs->messages().size(), 1) << dialogs->messages().join("|").toStdString();
        const QString text = dialogs->messages().front();
        EXPECT_TRUE(text.contains(QString::fromStdString(c.camera.name)));
        EXPECT_TRUE(text.contains(QString::fromUtf8(c.says))) << text.toStdString();

        // The window goes on: SNAP only raises the flag, and a working camera plugged in
        // afterwards shows once the graph is built again.
        pipeline->requestSnapshot();
        test::plugTestCamera({"Spare Cam", TestCameraKind::Raw});
        setSelectedDeviceName("Spare Cam");
        pipeline->tearDown();
        ASSERT_TRUE(pipeline->buildPreviewGraph().ok());
        EXPECT_TRUE(waitUntil([&] { return window.panel(1037)->submittedFrames() >= 2; }));
        pipeline.reset();
        test::unplugAllTestCameras();
        captureWords().snapshotFlag.store(0);
    }
}

TEST_F(MonitoredCameraTest, RebuildsForACameraThatCannotBeShownRepeatNoMessage) {
    CaptureTestWindow window;
    auto pipeline = openOn(window, {"Bayer Cam", TestCameraKind::Undecodable}, false);
    EXPECT_FALSE(pipeline->startCapture().ok());
    // What STOP and a failed recording do: tear down and build the preview again.
    for (int i = 0; i < 3; ++i) {
        pipeline->tearDown();
        EXPECT_FALSE(pipeline->buildPreviewGraph().ok());
    }
    settle(300);
    EXPECT_EQ(dialogs->messages().size(), 1) << dialogs->messages().join("|").toStdString();
}

}  // namespace
}  // namespace qelvo
