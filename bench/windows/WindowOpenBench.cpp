// How the working windows keep the GUI thread free:
//   the longest GUI-thread stall while each working window (standard and HD) opens a virtual
//     camera that takes 1.5 s each time it is opened (opendelay=1500), from the window being
//     up until its first live frame is painted; against the longest stall of the idle event
//     loop over about the same time (making the window itself goes to standard error);
//   GUI-thread wake-ups per second of the multi-view window over a 1 fps camera (its live
//     picture and no-frame watch), against the idle event loop's.
// Each line: NAME: VALUE UNIT (target: CONDITION) ok|MISSED.
#include "desktop/LiveTarget.h"
#include "desktop/ScriptedDialogs.h"
#include "manage/ImageManagementWindow.h"
#include "multiview/MultiViewWindow.h"
#include "multiview/ViewPane.h"
#include "support/BenchTiming.h"
#include "support/TempFolder.h"
#include "system/SessionState.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

using namespace qelvo;
using bench::report;

namespace {

// Records the longest gap between ticks of a 1 ms GUI-thread timer: how long the GUI thread
// went without getting back to its event loop.
class StallMeter {
public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] { tick(); });
    }
    void start() {
        longestMs_ = 0;
        clock_.start();
        last_ = 0;
        timer_.start();
    }
    // Counts the time since the last tick too, so a stall still going on is not missed.
    double stop() {
        tick();
        timer_.stop();
        return longestMs_;
    }

private:
    void tick() {
        const qint64 now = clock_.nsecsElapsed();
        longestMs_ = std::max(longestMs_, (now - last_) / 1e6);
        last_ = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 last_ = 0;
    double longestMs_ = 0;
};

// Runs the event loop until `done` or `limitMs`; true when done.
bool runUntil(const std::function<bool()>& done, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs) return false;
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Makes a window (queued into the running loop, as the launcher's click would), then measures
// the longest stall from the moment it is up until its first live frame is painted: the time
// in which its camera is found, opened and started.  How long making the window took goes to
// standard error.  -1 when no frame came.
template <typename Window>
double openStallMs(bool hd, const std::function<LiveTarget*(Window&)>& liveTarget, double& openMs) {
    StallMeter meter;
    std::unique_ptr<Window> window;
    QElapsedTimer clock;
    QTimer::singleShot(0, [&] {
        QElapsedTimer made;
        made.start();
        window = std::make_unique<Window>(nullptr, hd);
        window->show();
        std::fprintf(stderr, "  (window made and shown in %.1f ms)\n", made.nsecsElapsed() / 1e6);
        meter.start();
        clock.start();
    });
    const bool painted = runUntil(
        [&] {
            if (!window) return false;
            LiveTarget* target = liveTarget(*window);
            return target && target->paintedFrames() > 0;
        },
        20000);
    openMs = clock.elapsed();
    const double stall = meter.stop();
    window.reset();
    runFor(100);
    return painted ? stall : -1;
}

std::uint64_t wakeupsOver(int ms) {
    std::uint64_t count = 0;
    auto connection = QObject::connect(QAbstractEventDispatcher::instance(),
                                       &QAbstractEventDispatcher::awake, [&] { ++count; });
    runFor(ms);
    QObject::disconnect(connection);
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const test::TempFolder root("qelvo-bench-windows");
    setStorageFolder(root.path());
    setDialogs(std::make_unique<ScriptedDialogs>());

    // Idle reference: the event loop with nothing open, over about as long as an opening.
    StallMeter idle;
    idle.start();
    runFor(1600);
    const double idleStall = idle.stop();
    std::fprintf(stderr, "  (idle event loop: longest stall %.2f ms)\n", idleStall);

    ::setenv("QELVO_VIRTUAL_DEVICES", "Slow Camera{opendelay=1500}", 1);
    setSelectedDeviceName("Slow Camera");
    const char* target = "<= 50 ms while the camera takes 1500 ms to open";
    for (bool hd : {false, true}) {
        double openMs = 0;
        const double manageStall = openStallMs<ImageManagementWindow>(
            hd,
            [](ImageManagementWindow& w) {
                return w.findChild<LiveTarget*>(QStringLiteral("1037"));
            },
            openMs);
        std::fprintf(stderr, "  (image management: first frame %.0f ms after it was up)\n", openMs);
        report(hd ? "open_image_management_hd_gui_stall" : "open_image_management_gui_stall",
               manageStall, "ms", target, manageStall >= 0 && manageStall <= 50);
        const double viewStall = openStallMs<MultiViewWindow>(
            hd, [](MultiViewWindow& w) { return w.pane(0)->surface(); }, openMs);
        std::fprintf(stderr, "  (image view: first frame %.0f ms after it was up)\n", openMs);
        report(hd ? "open_image_view_hd_gui_stall" : "open_image_view_gui_stall", viewStall, "ms",
               target, viewStall >= 0 && viewStall <= 50);
    }

    // Wake-ups: the idle loop, then the multi-view window over a 1 fps camera once it runs.
    const int seconds = 10;
    const double idleRate = double(wakeupsOver(seconds * 1000)) / seconds;
    std::fprintf(stderr, "  (idle event loop: %.2f wake-ups per second)\n", idleRate);
    ::setenv("QELVO_VIRTUAL_DEVICES", "One Frame Camera{fps=1}", 1);
    setSelectedDeviceName("One Frame Camera");
    {
        MultiViewWindow window(nullptr, false);
        window.show();
        runUntil([&] { return window.pane(0)->surface()->paintedFrames() > 0; }, 10000);
        runFor(1000);
        const double rate = double(wakeupsOver(seconds * 1000)) / seconds;
        report("image_view_gui_wakeups_1fps", rate, "per s", "<= 5 per s with a 1 fps camera",
               rate <= 5);
    }
    return 0;
}
