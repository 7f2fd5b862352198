// The live overlays' share of the live preview's CPU: a camera-sized frame handed to a live
// panel and painted, frame after frame, with every overlay on (crosshair, grid, circles,
// scale bar, calibrated) against the same panel with none, in the same run.  Blocks of both
// alternate so a busy machine weighs on both alike; the best block of each counts.
//   NAME: VALUE UNIT (target: CONDITION) ok|MISSED
#include "support/BenchTiming.h"
#include "desktop/LiveTarget.h"
#include "measureui/ActiveObjectives.h"
#include "measureui/OverlayController.h"
#include "support/TempFolder.h"

#include <QApplication>

#include <algorithm>
#include <cstdint>
#include <cstdio>
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
    auto block = [&](bool on) {
        overlays.setSettings(on ? OverlaySettings{true, true, true, true} : OverlaySettings{});
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
    bench::reportAtMost(name, on / off, "x", 1.05);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    liveOverlaysOnVsOff(QSize(640, 480), 1280, 720,
                        "live preview CPU, all overlays on / off (640 x 480 panel)");
    liveOverlaysOnVsOff(QSize(1000, 562), 1280, 720,
                        "live preview CPU, all overlays on / off (HD 1000 x 562 panel)");
    return 0;
}
