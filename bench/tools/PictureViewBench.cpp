// Zoom, pan and loupe timings of the picture panel on a 2592 x 1944 camera picture, each
// as a ratio to that picture's own decode time measured in the same run (so they stay
// meaningful on a loaded machine).  One line per figure:
//   NAME: VALUE UNIT (target: CONDITION) ok|MISSED
#include <time.h>

#include <QAbstractSlider>
#include <QApplication>
#include <QScrollBar>

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "DetailedPicture.h"
#include "imaging/CxImage.h"
#include "manage/PicturePanel.h"
#include "manage/PictureView.h"

using namespace qelvo;

namespace {

int g_reps = 9;

double ThreadSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Best of several runs: the least disturbed by other work on the machine.
double Best(const std::function<void()>& setup, const std::function<void()>& work) {
    double best = 1e30;
    for (int i = 0; i < g_reps; ++i) {
        setup();
        const double t0 = ThreadSeconds();
        work();
        best = std::min(best, ThreadSeconds() - t0);
    }
    return best;
}

void Report(const std::string& name, double value, double limit) {
    char condition[32];
    std::snprintf(condition, sizeof condition, "<= %.1f", limit);
    std::printf("%s: %.3f x (target: %s) %s\n", name.c_str(), value, condition,
                value <= limit ? "ok" : "MISSED");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc > 1) g_reps = std::max(1, std::atoi(argv[1]));

    const std::string path = "/tmp/qelvo-bench-tools-" + std::to_string(::getpid()) + ".jpg";
    const long bytes = bench::WriteDetailedJpeg(path, 2592, 1944, 17);
    if (bytes <= 0) {
        std::fprintf(stderr, "bench: cannot write %s\n", path.c_str());
        return 1;
    }
    if (std::getenv("QELVO_BENCH_VERBOSE"))
        std::fprintf(stderr, "  picture 2592 x 1944, %ld bytes\n", bytes);
    CxImage scratch;
    const double decode = Best([] {}, [&] { scratch.LoadFile(path.c_str(), FormatJpeg); });

    QWidget host;
    host.setGeometry(0, 0, 1024, 768);
    PicturePanel panel(&host);
    panel.setGeometry(30, 60, 640, 480);
    QScrollBar vertical(Qt::Vertical, &host), horizontal(Qt::Horizontal, &host);
    PictureView view(panel, &vertical, &horizontal);
    host.show();
    view.setImageMode(true);
    panel.setPicturePath(path);
    panel.redraw();  // the one decode the view then keeps

    // Loupe: one pointer move while the button is held (crop, enlarge, paste, draw).
    view.toggleLoupe();
    view.pointerPressed({350, 300}, Qt::LeftButton, Qt::NoModifier);
    int step = 0;
    const double loupe = Best([] {},
                              [&] {
                                  ++step;
                                  view.pointerMoved({300 + (step % 7) * 20, 250 + (step % 5) * 20},
                                                    Qt::LeftButton, Qt::NoModifier);
                              });
    view.leftButtonReleased();
    view.toggleLoupe();

    // Zoom steps into 1.2 and into 8.0 (the step from 7.8), and a pan step at 8.0.
    const double zoomTo12 = Best([&] { view.fit(); }, [&] { view.zoomIn(); });
    view.fit();
    while (view.zoom() < 7.7f) view.zoomIn();
    const double zoomTo8 = Best(
        [&] {
            if (view.zoom() > 7.9f) view.zoomOut();
        },
        [&] { view.zoomIn(); });
    const double pan =
        Best([] {},
             [&] {
                 horizontal.triggerAction(step++ % 2 ? QAbstractSlider::SliderSingleStepAdd
                                                     : QAbstractSlider::SliderSingleStepSub);
             });

    if (std::getenv("QELVO_BENCH_VERBOSE"))
        std::fprintf(stderr,
                     "  decode %.2f ms, loupe %.2f, zoom 1.2 %.2f, zoom 8 %.2f, pan %.2f ms\n",
                     decode * 1e3, loupe * 1e3, zoomTo12 * 1e3, zoomTo8 * 1e3, pan * 1e3);
    Report("view_loupe_move_2592x1944_vs_decode", loupe / decode, 0.5);
    Report("view_zoom_step_to_1.2_2592x1944_vs_decode", zoomTo12 / decode, 1.0);
    Report("view_zoom_step_to_8.0_2592x1944_vs_decode", zoomTo8 / decode, 1.0);
    Report("view_pan_step_at_8.0_2592x1944_vs_decode", pan / decode, 1.0);
    std::remove(path.c_str());
    return 0;
}
