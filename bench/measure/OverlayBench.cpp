// The live overlays' share of the live preview's CPU, with every overlay on (crosshair, grid,
// circles, scale bar, calibrated) against none, in the same run:
// - the live preview as the working windows run it: a 1280 x 720 virtual camera streaming
//   through a frame grabber into a live panel, the process's CPU over spans of a second of
//   each in off-on-on-off order;
// - the panel alone (report only): a camera-sized frame handed to the panel and painted,
//   frame after frame, the best of alternating blocks.
//   NAME: VALUE UNIT (target: CONDITION) ok|MISSED
#include "desktop/LiveTarget.h"
#include "frames/GrabberCallback.h"
#include "measureui/ActiveObjectives.h"
#include "measureui/OverlayController.h"
#include "media/MediaDevices.h"
#include "media/MediaGraph.h"
#include "simulated/VirtualDeviceList.h"
#include "support/BenchTiming.h"
#include "support/TempFolder.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using namespace qelvo;

namespace {

// A frame with something to look at: a gradient, bright and dark patches and noise.
std::vector<std::uint8_t> makeFrame(int width, int height) {
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(width) * height * 3);
    std::mt19937 random(5);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            int v = 40 + 170 * x / width + ((x / 160 + y / 120) % 2 ? 30 : -30) + noise(random);
            v = std::clamp(v, 0, 255);
            std::uint8_t* p = &frame[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<std::uint8_t>(v);
            p[1] = static_cast<std::uint8_t>(v * 7 / 8);
            p[2] = static_cast<std::uint8_t>(v * 3 / 4);
        }
    return frame;
}

// The live preview's CPU with all overlays on against none, for one panel size.
void liveOverlaysOnVsOff(QSize panel, int frameWidth, int frameHeight, const char* name) {
    test::TempFolder folder("qelvo-bench");
    ActiveObjectives objectives("Bench Microscope", measure::ObjectiveStore(folder / "objectives"));
    objectives.calibrate(objectives.activeIndex(), 0.3452, frameWidth, frameHeight);
    OverlayController overlays(&objectives, folder / "registry");
    LiveTarget target;
    target.resize(panel);
    target.show();
    overlays.attachLive(&target);
    const std::vector<std::uint8_t> frame = makeFrame(frameWidth, frameHeight);
    const int frames = 60;
    auto block = [&](bool on, OverlaySettings chosen = {true, true, true, true}) {
        overlays.setSettings(on ? chosen : OverlaySettings{});
        const double start = bench::processCpuSeconds();
        for (int i = 0; i < frames; ++i) {
            target.submitFrame(frame.data(), frameWidth, frameHeight, frameWidth * 3);
            target.repaint();
            QCoreApplication::processEvents();
        }
        return (bench::processCpuSeconds() - start) / frames;
    };
    block(false);
    block(true);  // warm: labels laid out, pictures allocated
    double off = 1e9, on = 1e9;
    for (int round = 0; round < 9; ++round) {
        off = std::min(off, block(false));
        on = std::min(on, block(true));
    }
    std::fprintf(stderr, "%s: %.3f ms per frame without overlays, %.3f ms with all\n", name,
                 off * 1e3, on * 1e3);
    if (std::getenv("QELVO_BENCH_VERBOSE")) {
        const char* parts[] = {"crosshair", "grid", "circles", "scale bar"};
        for (int k = 0; k < 4; ++k) {
            OverlaySettings one;
            (k == 0   ? one.crosshair
             : k == 1 ? one.grid
             : k == 2 ? one.reticle
                      : one.scaleBar) = true;
            double best = 1e9;
            for (int round = 0; round < 5; ++round) best = std::min(best, block(true, one));
            std::fprintf(stderr, "  %s alone: %.3f ms per frame\n", parts[k], best * 1e3);
        }
    }
    bench::reportOnly(name, on / off, "x");
}

class ToLiveTarget : public GrabberCallback {
public:
    explicit ToLiveTarget(LiveTarget& target) : target_(target) {}
    void FormatCB(int width, int height) override {
        width_.store(width);
        height_.store(height);
    }
    // As the working windows do: the panel keeps the grabber's own copy of the frame.
    void FrameCB(const GrabbedFrame& frame) override { target_.submitSharedFrame(frame); }
    void BufferCB(double, const std::uint8_t* buffer, std::size_t) override {
        const int width = width_.load(), height = height_.load();
        target_.submitFrame(buffer, width, height, (width * 3 + 3) / 4 * 4);
    }

private:
    LiveTarget& target_;
    std::atomic<int> width_{0}, height_{0};
};

// The whole live preview, overlays on against off.
void livePreviewOnVsOff(QSize panel, const char* name) {
    test::TempFolder folder("qelvo-bench");
    ActiveObjectives objectives("Bench Microscope", measure::ObjectiveStore(folder / "objectives"));
    objectives.calibrate(objectives.activeIndex(), 0.3452, 1280, 720);
    OverlayController overlays(&objectives, folder / "registry");
    QWidget window;
    LiveTarget target(&window);
    target.setGeometry(QRect(QPoint(0, 0), panel));
    window.resize(panel);
    window.show();
    overlays.attachLive(&target);

    auto graph = MediaGraph::create();
    const auto entries = parseVirtualDeviceList("Bench Cam{size=1280x720,fps=30}");
    VideoInputDevice device;
    if (!graph || entries.empty()) return;
    device.friendlyName = entries[0].friendlyName;
    device.isVirtual = true;
    device.virtualEntry = entries[0];
    MediaComponent source, grabber, sink;
    if (!bindVideoInput(device, source) || !graph->add(source, "Cap") ||
        !createFrameGrabber(grabber) || !graph->add(grabber, "Grabber") ||
        !createNullRenderer(sink) || !graph->add(sink, "NULL renderer") ||
        !graph->renderStream(OutputCategory::Capture, source, &grabber, &sink)) {
        std::fprintf(stderr, "%s: the preview graph could not be built\n", name);
        return;
    }
    ToLiveTarget callback(target);
    setGrabberCallback(grabber, &callback);
    graph->run();
    auto run = [&](bool on, int ms) {
        overlays.setSettings(on ? OverlaySettings{true, true, true, true} : OverlaySettings{});
        const std::uint64_t painted = target.paintedFrames();
        const double start = bench::processCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        while (wall.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            QThread::msleep(1);
        }
        const double frames = static_cast<double>(target.paintedFrames() - painted);
        return frames > 0 ? (bench::processCpuSeconds() - start) / frames : 0.0;
    };
    run(false, 1000);  // the stream settles
    std::vector<double> off, on;
    // Off, on, on, off, ...: a machine growing busier or quieter weighs on both alike.
    for (int round = 0; round < 6; ++round) {
        const bool onFirst = round % 2 == 1;
        (onFirst ? on : off).push_back(run(onFirst, 1000));
        (onFirst ? off : on).push_back(run(!onFirst, 1000));
    }
    graph->stop();
    const double offMs = bench::percentile(off, 50) * 1e3, onMs = bench::percentile(on, 50) * 1e3;
    std::fprintf(stderr, "%s: %.3f ms CPU per frame shown without overlays, %.3f ms with all\n",
                 name, offMs, onMs);
    if (offMs <= 0.0) return;
    bench::report(name, onMs / offMs, "x", "<= 1.05", onMs / offMs <= 1.05);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    livePreviewOnVsOff(
        QSize(640, 480),
        "live preview CPU, all overlays on / off (1280 x 720 camera, 640 x 480 panel)");
    liveOverlaysOnVsOff(QSize(640, 480), 1280, 720,
                        "live panel alone, all overlays on / off (640 x 480 panel)");
    liveOverlaysOnVsOff(QSize(1000, 562), 1280, 720,
                        "live panel alone, all overlays on / off (HD 1000 x 562 panel)");
    return 0;
}
