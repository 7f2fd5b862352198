// Figures of the multi-view window:
//   snapshot frame to frozen pane: a 1280 x 720 frame copied out of the grabber's record and
//     handed to the window as its session does with a snapshot (stored, live moved on, the pane's
//     picture built);
//   repaint of four frozen QUAD panes (the window repainted with its 1280 x 720 pictures);
//   pen stroke: one pen-stroke message over a frozen 1280 x 720 QUAD pane until it is
//     repainted with the stroke;
//   live preview: the process's CPU time while the same virtual camera streams into a QUAD
//     pane, against the image management window's panel, alternating in the same run;
//   SAVE of four 1280 x 720 panes against one JPEG encode of that size.
// Each line: NAME: VALUE UNIT (target: CONDITION) ok|MISSED.  Medians of the GUI thread's
// CPU time where all the work runs on it; wall-clock medians go to stderr.
#include "capture/CaptureSession.h"
#include "capture/Pacing.h"
#include "desktop/ScriptedDialogs.h"
#include "imaging/CxImage.h"
#include "manage/ImageManagementWindow.h"
#include "multiview/MultiViewWindow.h"
#include "multiview/PaneSaver.h"
#include "multiview/ViewCycle.h"
#include "multiview/ViewPane.h"
#include "support/BenchTiming.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"
#include "system/SessionState.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <random>
#include <vector>

using namespace qelvo;
namespace fs = std::filesystem;

using bench::medianMs;
using bench::report;
using bench::threadCpuMs;

namespace {

// A camera-like 1280 x 720 frame: gradients with noise, so JPEG has detail to encode.
std::shared_ptr<const FrameRecord> cameraFrame(unsigned seed) {
    const int w = 1280, h = 720;
    std::mt19937 random(seed);
    return test::frameRecord(w, h, test::bottomUpPixels(w, h, [&](int x, int row) {
                                 const int noise = int(random() % 24);
                                 return QColor(((x + row) / 8 + noise) & 0xFF,
                                               (row / 3 + noise) & 0xFF, (x / 5 + noise) & 0xFF);
                             }));
}

void runEventLoopFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void snapshotAndPaintFigures(const std::string& folder) {
    // No device: nothing streams, so only the window's own work is measured.
    ::setenv("QELVO_VIRTUAL_DEVICES", "", 1);
    setSelectedDeviceName("No Such Bench Camera");
    setStorageFolder(folder);
    MultiViewWindow window(nullptr, false);
    window.show();
    window.applyLayout(4);
    QCoreApplication::processEvents();
    const std::shared_ptr<const FrameRecord> owned = cameraFrame(1);
    const FrameRecord& record = *owned;

    // The grabber hands each snapshot over as an owned copy (made on the streaming thread);
    // the window keeps that copy as the pane's picture.  Both halves, and their sum.
    const double copy = medianMs(40, nullptr, [&] { (void)record.clone(); });
    std::shared_ptr<const FrameRecord> next;
    const double handled = medianMs(
        40,
        [&] {
            if (window.cycle().frozen()) window.applyLayout(4);
            next = record.clone();
        },
        [&] { emit window.session().snapshotTaken(std::move(next)); });
    std::fprintf(stderr,
                 "  (copy %.2f ms on the streaming thread, message %.2f ms on the GUI thread)\n",
                 copy, handled);
    report("snapshot frame 1280x720 to frozen pane (copy + message)", copy + handled, "ms",
           "<= 2 ms", copy + handled <= 2.0);
    QCoreApplication::processEvents();  // the panes paint

    while (!window.cycle().frozen()) emit window.session().snapshotTaken(record.clone());
    // grab() renders the background and all four panes into a picture, as an expose does.
    const double repaint = medianMs(40, nullptr, [&] { (void)window.grab(); });
    report("repaint four frozen QUAD panes", repaint, "ms", "<= 10 ms", repaint <= 10.0);

    window.togglePen();
    QCoreApplication::processEvents();
    int step = 0;
    const double stroke = medianMs(60, nullptr, [&] {
        ViewPane* pane = window.pane(3);
        const int x = 20 + step % 280, y = 20 + (step / 280) % 200;
        ++step;
        PenStrokeEvent event(pane, (quint32(x) << 16) | quint32(y));
        QCoreApplication::sendEvent(&window, &event);
    });
    report("pen stroke to repainted QUAD pane (1280x720 picture)", stroke, "ms", "<= 5 ms",
           stroke <= 5.0);

    // SAVE of four panes against one encode of the same size, both wall clock.
    std::string why;
    const std::optional<PictureData> one =
        PaneSaver::composeForSaving(window.cycle().picture(0), nullptr, why);
    if (!one) {
        std::fprintf(stderr, "no picture to save: %s\n", why.c_str());
        return;
    }
    const double encode = medianMs(
        7, nullptr,
        [&] {
            std::string reason;
            PaneSaver::writeJpeg(*one, folder + "/reference.jpg", reason);
        },
        true);
    PaneSaver saver;
    const double save = medianMs(
        7, [&] { fs::remove_all(folder + "/saved"), fs::create_directory(folder + "/saved"); },
        [&] {
            saver.save(&window, folder + "/saved/cell.jpg", window.cycle().pictures(), nullptr);
        },
        true);
    char condition[96];
    std::snprintf(condition, sizeof condition, "<= 4 x encode %.2f ms + 20 ms = %.2f ms", encode,
                  4 * encode + 20);
    report("SAVE four 1280x720 panes", save, "ms", condition, save <= 4 * encode + 20);
}

// Process CPU seconds per second while `window` shows the live picture.
template <typename Window>
double liveCpu(Window& window, int seconds) {
    window.show();
    runEventLoopFor(1000);  // warm-up: graph running, first frames painted
    const double start = bench::processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    runEventLoopFor(seconds * 1000);
    return (bench::processCpuSeconds() - start) / (wall.elapsed() / 1000.0);
}

void livePreviewFigure(const std::string& folder) {
    ::setenv("QELVO_VIRTUAL_DEVICES", "Bench Camera{fps=30}", 1);
    setSelectedDeviceName("Bench Camera");
    QWidget launcher;
    launcher.setGeometry(0, 0, 1024, 768);
    const int seconds = std::max(1, std::atoi(std::getenv("QELVO_BENCH_PREVIEW_SECONDS")
                                                  ? std::getenv("QELVO_BENCH_PREVIEW_SECONDS")
                                                  : "6"));
    double manage = 0, quad = 0;
    for (int round = 0; round < 2; ++round) {
        {
            setStorageFolder(folder);
            ImageManagementWindow window(&launcher, false);
            manage += liveCpu(window, seconds);
        }
        {
            setStorageFolder(folder);
            MultiViewWindow window(&launcher, false);
            window.applyLayout(4);
            quad += liveCpu(window, seconds);
        }
    }
    const double ratio = manage > 0 ? quad / manage : 0;
    char name[160];
    std::snprintf(name, sizeof name,
                  "live preview QUAD pane CPU ratio (multi-view %.3f s/s / image management "
                  "%.3f s/s)",
                  quad / 2, manage / 2);
    report(name, ratio, "x", "<= 1.1", manage > 0 && ratio <= 1.1);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    setDialogs(std::make_unique<ScriptedDialogs>());
    setPacingPause(std::chrono::milliseconds(0));
    const test::TempFolder folder("qelvo-bench-multiview");
    snapshotAndPaintFigures(folder.path());
    livePreviewFigure(folder.path());
    return 0;
}
