// Live preview as the working windows show it: a 1280x720 virtual device streams into a frame
// grabber whose callback hands every frame to a live target shown in a real window.  Runs
// for a given time and exits; the `live-preview` script measures its CPU time from outside
// and compares it with GStreamer's own renderer showing the same source.
//
//   bench_live_preview WIDTH HEIGHT SECONDS [DEVICE]
// DEVICE: a virtual device ("Name{size=...}"), or mjpeg-camera for a monitored camera that
// offers 1280x720 only as Motion JPEG.
#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "desktop/LiveTarget.h"
#include "frames/GrabberCallback.h"
#include "media/MediaDevices.h"
#include "media/MediaGraph.h"
#include "support/TestCameraProvider.h"

namespace {

class ToLiveTarget : public qelvo::GrabberCallback {
public:
    explicit ToLiveTarget(qelvo::LiveTarget& target) : target_(target) {}
    void FormatCB(int width, int height) override {
        width_.store(width);
        height_.store(height);
    }
    // As the working windows do: the target keeps the grabber's own copy of the frame.
    void FrameCB(const qelvo::GrabbedFrame& frame) override { target_.submitSharedFrame(frame); }
    void BufferCB(double, const std::uint8_t* buffer, std::size_t) override {
        const int width = width_.load(), height = height_.load();
        target_.submitFrame(buffer, width, height, (width * 3 + 3) / 4 * 4);
    }

private:
    qelvo::LiveTarget& target_;
    std::atomic<int> width_{0}, height_{0};
};

// A camera offering 1280x720 only as Motion JPEG, found by the system's device monitor like
// a real one (its frames are encoded by the test source, as a camera would encode them).
bool motionJpegCamera(qelvo::VideoInputDevice& device) {
    qelvo::test::registerTestCameraProvider();
    qelvo::test::plugTestCamera(
        {"Bench MJPEG Cam", qelvo::test::TestCameraKind::MotionJpeg, 1280, 720, 30});
    for (qelvo::VideoInputDevice& d : qelvo::makeSystemDeviceCatalogue()->videoInputs())
        if (d.friendlyName == "Bench MJPEG Cam") {
            device = d;
            return true;
        }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_live_preview WIDTH HEIGHT SECONDS [DEVICE]\n");
        return 2;
    }
    const int width = std::atoi(argv[1]), height = std::atoi(argv[2]);
    const int seconds = std::atoi(argv[3]);
    const std::string deviceText = argc > 4 ? argv[4] : "Bench Cam{size=1280x720,fps=30}";

    QWidget window;
    window.setWindowTitle("Live preview benchmark");
    qelvo::LiveTarget target(&window);
    target.setGeometry(0, 0, width, height);
    window.resize(width, height);
    window.show();

    auto graph = qelvo::MediaGraph::create();
    qelvo::VideoInputDevice device;
    if (deviceText == "mjpeg-camera") {
        if (!motionJpegCamera(device)) return 1;
    } else {
        const auto entries = qelvo::parseVirtualDeviceList(deviceText);
        if (entries.empty()) return 1;
        device.friendlyName = entries[0].friendlyName;
        device.isVirtual = true;
        device.virtualEntry = entries[0];
    }
    if (!graph) return 1;
    qelvo::MediaComponent source, grabber, sink;
    if (!qelvo::bindVideoInput(device, source) || !graph->add(source, "Cap") ||
        !qelvo::createFrameGrabber(grabber) || !graph->add(grabber, "Grabber") ||
        !qelvo::createNullRenderer(sink) || !graph->add(sink, "NULL renderer") ||
        !graph->renderStream(qelvo::OutputCategory::Capture, source, &grabber, &sink)) {
        std::fprintf(stderr, "bench_live_preview: the preview graph could not be built\n");
        return 1;
    }
    ToLiveTarget callback(target);
    qelvo::setGrabberCallback(grabber, &callback);
    graph->run();
    QTimer::singleShot(seconds * 1000, &app, &QApplication::quit);
    app.exec();
    graph->stop();
    std::fprintf(stderr, "bench_live_preview: %dx%d frames submitted %llu, painted %llu\n", width,
                 height, static_cast<unsigned long long>(target.submittedFrames()),
                 static_cast<unsigned long long>(target.paintedFrames()));
    return 0;
}
