// The capture session's camera-button watch: presses that reach the window through a pipe
// standing in for the event node, and a camera without a usable button.
#include "capture/CameraButtonWatch.h"
#include "capture/CaptureFixture.h"
#include "support/ButtonPipe.h"
#include "support/CameraButtonInput.h"

#include <linux/input.h>

namespace qelvo {
namespace {

using test::buttonLines;
using test::FakeSysfs;
using test::InputBytes;
using test::kCameraKeyBits;
using test::keyEvent;
using test::operator+;
using test::waitUntil;

// Presses written into a pipe reach the window's snapshot request the way a poll's do.
using CameraButtonPipeTest = test::CaptureFixture;

TEST_F(CameraButtonPipeTest, EachPressIsOneSnapshotRequestAlsoWhileRecording) {
    setSelectedDeviceName("Button Cam");
    auto window = makeWindow(test::writtenSnapshots(), "Button Cam{size=160x120,fps=30}");
    window->show();
    CaptureSession& session = window->session();
    int refused = 0;
    QObject::connect(&session, &CaptureSession::buttonPressed, [&] {
        if (!session.requestSnapshot()) ++refused;
    });
    ASSERT_EQ(window->startAndSettle(), CaptureSession::State::Live);
    test::ButtonPipe button(session.cameraButton());
    ASSERT_TRUE(window->waitForLiveFrames(2));

    // A press cut in two by the writer, then its repeat and release: one picture.
    const InputBytes press = keyEvent(KEY_CAMERA, 1);
    ASSERT_TRUE(button.send(InputBytes(press.begin(), press.begin() + 5)));
    QCoreApplication::processEvents();
    ASSERT_TRUE(button.send(InputBytes(press.begin() + 5, press.end()) + keyEvent(KEY_CAMERA, 2) +
                            keyEvent(KEY_CAMERA, 0)));
    ASSERT_TRUE(waitUntil([&] { return window->written.size() == 1; }));
    EXPECT_EQ(window->buttonPresses, 1);

    // Recording rebuilds the graph; the button stays watched, and its request is refused.
    session.startRecording(folder / "movie.avi", window->view());
    ASSERT_TRUE(session.isRecording());
    ASSERT_TRUE(
        button.send(keyEvent(KEY_VOLUMEUP, 1) + keyEvent(KEY_CAMERA, 1) + keyEvent(KEY_CAMERA, 0)));
    ASSERT_TRUE(waitUntil([&] { return window->buttonPresses == 2; }));
    session.stopRecording();
    EXPECT_EQ(refused, 1);
    waitForSnapshotWriters();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->written.size(), 1u) << "nothing is taken while recording";

    // The camera goes away: the reader closes with one line and takes no more presses.
    testing::internal::CaptureStderr();
    button.closeWriter();
    ASSERT_TRUE(waitUntil([&] { return !session.cameraButton().isWatching(); }));
    EXPECT_EQ(buttonLines(testing::internal::GetCapturedStderr()),
              std::vector<std::string>{"camera button: button pipe closed (end of input)"});
    EXPECT_EQ(window->buttonPresses, 2);
}

TEST(CameraButtonWatchTest, ADeviceWithoutAButtonIsReportedOnceNotRetried) {
    FakeSysfs tree;
    CameraButtonWatch watch(tree.roots);
    testing::internal::CaptureStderr();
    watch.follow("/dev/video2");
    watch.follow("/dev/video2");  // the graph was rebuilt for the same camera
    EXPECT_EQ(buttonLines(testing::internal::GetCapturedStderr()),
              std::vector<std::string>{"camera button: video2 has no button input device; the "
                                       "camera's own button is not used"});
    EXPECT_FALSE(watch.isWatching());

    // A camera whose event node exists but cannot be opened here (the fake /dev has none).
    tree.addInput(tree.usbDevice / "1-2:1.0", "input7", "event5", kCameraKeyBits);
    testing::internal::CaptureStderr();
    watch.follow("");  // another, virtual device
    watch.follow("/dev/video2");
    watch.follow("/dev/video2");
    const auto second = buttonLines(testing::internal::GetCapturedStderr());
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NE(second[0].find("cannot open " + (tree.roots.dev / "input/event5").string()),
              std::string::npos)
        << second[0];
}

}  // namespace
}  // namespace qelvo
