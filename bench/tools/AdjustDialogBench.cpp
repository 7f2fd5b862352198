// Image adjustment dialog figures over a 2592 x 1944 JPEG of real detail: one value-box step
// and one slider step of every kind (the adjustment, the level count of the histogram kind
// and the dialog's repaint), each divided by the decode time of that same picture measured
// in this run. Prints NAME: VALUE UNIT (target: CONDITION) ok|MISSED. Times are the GUI
// thread's CPU time (all the work runs there), best of several runs, so other programs on
// a busy machine do not count.
#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QSlider>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "DetailedPicture.h"
#include "imaging/CxImage.h"
#include "skin/ControlIdentity.h"
#include "support/BenchTiming.h"
#include "support/TempFolder.h"
#include "widgets/ImageAdjustDialog.h"

using namespace qelvo;

namespace {

struct Kind {
    int kind;
    const char* name;
    int maximum;
};

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int reps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    const test::TempFolder folder("qelvo-adjust-bench");
    const std::string path = folder / "detail.jpg";
    const long bytes = bench::WriteDetailedJpeg(path, 2592, 1944, 11);
    if (bytes < 0) {
        std::fprintf(stderr, "bench: could not write %s\n", path.c_str());
        return 1;
    }
    std::fprintf(stderr, "  picture 2592x1944, %.2f MB as JPEG at quality 80\n", bytes / 1e6);

    const double decode = bench::bestSeconds(reps, nullptr, [&](int) {
        CxImage picture;
        picture.LoadFile(path.c_str(), FormatJpeg);
    });

    const Kind kinds[] = {{1, "brightness", 255},
                          {2, "contrast", 100},
                          {3, "hue", 180},
                          {4, "saturation", 100},
                          {5, "histogram", 500}};
    const bool verbose = std::getenv("QELVO_BENCH_VERBOSE") != nullptr;
    for (const Kind& k : kinds) {
        ImageAdjustDialog::Request request;
        request.kind = k.kind;
        request.title = QString::fromLatin1(k.name);
        request.minimum = -k.maximum;
        request.maximum = k.maximum;
        request.path = path;
        const double opening = bench::threadCpuSeconds();
        ImageAdjustDialog dialog(request);
        if (verbose)
            std::fprintf(stderr, "  %s: opening %.2f ms\n", k.name,
                         (bench::threadCpuSeconds() - opening) * 1e3);
        dialog.show();
        QImage surface(dialog.size(), QImage::Format_RGB32);
        auto* box = qobject_cast<QLineEdit*>(findControl(&dialog, 1303));
        auto* slider = qobject_cast<QSlider*>(findControl(&dialog, 1300));
        // Different values every run, each step followed by the dialog's repaint.
        const double boxStep = bench::bestSeconds(reps, nullptr, [&](int i) {
            box->setText(QString::number(-k.maximum / 2 + 13 * i));
            dialog.render(&surface);
        });
        const double sliderStep = bench::bestSeconds(reps, nullptr, [&](int i) {
            slider->setValue(k.maximum + k.maximum / 3 - 11 * i);
            dialog.sliderStep();
            dialog.render(&surface);
        });
        if (verbose)
            std::fprintf(stderr, "  %s: value box %.2f ms, slider %.2f ms, decode %.2f ms\n",
                         k.name, boxStep * 1e3, sliderStep * 1e3, decode * 1e3);
        bench::reportAtMost(std::string("adjust_") + k.name + "_value_box_step_2592x1944_vs_decode",
                            boxStep / decode, "x", 1.5, 3);
        bench::reportAtMost(std::string("adjust_") + k.name + "_slider_step_2592x1944_vs_decode",
                            sliderStep / decode, "x", 1.5, 3);
    }
    return 0;
}
