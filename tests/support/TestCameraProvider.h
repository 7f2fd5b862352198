#pragma once

#include <string>

namespace qelvo::test {

// Cameras published by a GStreamer device provider of the tests' own (class "Video/Source"),
// so that the device monitor lists them beside any real camera and the program reaches them
// through exactly the path a real camera takes.  Each camera's source element is a test
// source built by the provider.
enum class TestCameraKind {
    Raw,                // uncompressed I420 pixels, a moving colour-bar picture
    MotionJpeg,         // the same picture, offered only as Motion JPEG
    Vanished,           // listed, but gone when opened (a V4L2 source on a missing node)
    FailsWhenStarting,  // opens and reports its formats, then fails before its first frame
    Undecodable,        // offers only a Bayer mosaic, which the program cannot show
};

struct TestCamera {
    std::string name;
    TestCameraKind kind = TestCameraKind::Raw;
    int width = 320;
    int height = 240;
    int fps = 30;
    // Published by a second provider that cannot announce hot-plug and is only probed.
    bool probedOnly = false;
};

// Registers the provider with GStreamer (once per process; starts GStreamer if needed).
void registerTestCameraProvider();
// Plugs a camera in or pulls it out.  A running device monitor hears of it at once, as it
// hears of a camera udev reports; a device monitor that is not running (and the provider of
// probed-only cameras) sees it at its next probe.
void plugTestCamera(const TestCamera& camera);
void unplugTestCamera(const std::string& name);
void unplugAllTestCameras();

}  // namespace qelvo::test
