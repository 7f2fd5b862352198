// Zoom, pan and loupe timings of the picture panel on a 2592 x 1944 camera picture, each
// as a ratio to that picture's own decode time measured in the same run (so they stay
// meaningful on a loaded machine).  One line per figure:
//   NAME: VALUE UNIT (target: CONDITION) ok|MISSED
#include <QAbstractSlider>
#include <QApplication>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "DetailedPicture.h"
#include "imaging/CxImage.h"
#include "manage/PicturePanel.h"
#include "manage/PictureView.h"
#include "support/BenchTiming.h"
#include "support/TempFolder.h"

using namespace qelvo;

namespace {

int g_reps = 9;

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc > 1) g_reps = std::max(1, std::atoi(argv[1]));

    const test::TempFolder folder("qelvo-bench-tools");
    const std::string path = folder / "detail.jpg";
    const long bytes = bench::WriteDetailedJpeg(path, 2592, 1944, 17);
    if (bytes <= 0) {
        std::fprintf(stderr, "bench: cannot write %s\n", path.c_str());
        return 1;
    }
    if (std::getenv("QELVO_BENCH_VERBOSE"))
        std::fprintf(stderr, "  picture 2592 x 1944, %ld bytes\n", bytes);
    CxImage scratch;
    const double decode = bench::bestSeconds(
        g_reps, [] {}, [&] { scratch.LoadFile(path.c_str(), FormatJpeg); });

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
    const double loupe = bench::bestSeconds(
        g_reps, [] {},
        [&] {
            ++step;
            view.pointerMoved({300 + (step % 7) * 20, 250 + (step % 5) * 20}, Qt::LeftButton,
                              Qt::NoModifier);
        });
    view.leftButtonReleased();
    view.toggleLoupe();

    // Zoom steps into 1.2 and into 8.0 (the step from 7.8), and a pan step at 8.0.
    const double zoomTo12 = bench::bestSeconds(
        g_reps, [&] { view.fit(); }, [&] { view.zoomIn(); });
    view.fit();
    while (view.zoom() < 7.7f) view.zoomIn();
    const double zoomTo8 = bench::bestSeconds(
        g_reps,
        [&] {
            if (view.zoom() > 7.9f) view.zoomOut();
        },
        [&] { view.zoomIn(); });
    const double pan = bench::bestSeconds(
        g_reps, [] {},
        [&] {
            horizontal.triggerAction(step++ % 2 ? QAbstractSlider::SliderSingleStepAdd
                                                : QAbstractSlider::SliderSingleStepSub);
        });

    if (std::getenv("QELVO_BENCH_VERBOSE"))
        std::fprintf(stderr,
                     "  decode %.2f ms, loupe %.2f, zoom 1.2 %.2f, zoom 8 %.2f, pan %.2f ms\n",
                     decode * 1e3, loupe * 1e3, zoomTo12 * 1e3, zoomTo8 * 1e3, pan * 1e3);
    bench::reportAtMost("view_loupe_move_2592x1944_vs_decode", loupe / decode, "x", 0.5, 3);
    bench::reportAtMost("view_zoom_step_to_1.2_2592x1944_vs_decode", zoomTo12 / decode, "x", 1.0,
                        3);
    bench::reportAtMost("view_zoom_step_to_8.0_2592x1944_vs_decode", zoomTo8 / decode, "x", 1.0, 3);
    bench::reportAtMost("view_pan_step_at_8.0_2592x1944_vs_decode", pan / decode, "x", 1.0, 3);
    return 0;
}
