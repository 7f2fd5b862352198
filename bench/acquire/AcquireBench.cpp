// Acquisition figures, one function each:
//   averaging  - adding one 2592 x 1944 frame to a 16-frame average, against memcpy of it
//   flatfield  - flat-field correction of a live 1920 x 1080 frame, against memcpy of it
//   schedule   - 600 time-lapse pictures at 0.1 s from a 30 fps virtual camera: how late each
//                picture's frame came after its due time, against the frame interval
//   noise      - the noise of a 16-frame average against one frame's, on a noise=12 camera
//   focusaids  - histogram + focus value (and peaking) of a live 1920 x 1080 frame: what the
//                GUI thread spends per reading (taking the frame, handing it over, taking the
//                result) and per paint (peaking over a 640 x 480 panel), and the reading itself
//                on the aids' own thread
// Times are the calling thread's CPU time, best of several runs, the memcpy timed in the
// same run.
#include "acquire/FlatField.h"
#include "acquire/FrameAverager.h"
#include "acquire/TimeLapseRun.h"
#include "acquireui/FocusAidsController.h"
#include "capture/CameraFrames.h"
#include "support/BenchTiming.h"
#include "support/TempFolder.h"

#include <QGuiApplication>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <thread>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace qelvo;
using namespace qelvo::bench;

namespace {

std::size_t grabberBytes(int w, int h) {
    return (std::size_t(w) * 3 + 3) / 4 * 4 * h;
}

// Frames enough to overflow the caches, filled with noise.
std::vector<std::vector<std::uint8_t>> sourceFrames(int w, int h, int count) {
    std::vector<std::vector<std::uint8_t>> frames(count);
    std::mt19937 rng(1);
    for (auto& f : frames) {
        f.resize(grabberBytes(w, h));
        for (auto& b : f) b = static_cast<std::uint8_t>(rng() >> 24);
    }
    return frames;
}

// Seconds per frame of the C library's memcpy of the frames into one target.
double memcpySeconds(const std::vector<std::vector<std::uint8_t>>& frames,
                     std::vector<std::uint8_t>& target) {
    return bestSeconds(7, nullptr,
                       [&] {
                           for (const auto& f : frames)
                               std::memcpy(target.data(), f.data(), f.size());
                       }) /
           frames.size();
}

void averaging() {
    const int w = 2592, h = 1944, n = 16;
    const auto frames = sourceFrames(w, h, 6);
    std::vector<std::uint8_t> target(frames[0].size());
    acquire::FrameAverager averager(w, h, n);
    // Each run adds 16 frames, the first of which only sets the sums: the mean over the 16 is
    // what the streaming thread spends per frame of an average.
    const double add = bestSeconds(
                           7, [&] { averager.reset(); },
                           [&] {
                               for (int k = 0; k < n; ++k)
                                   averager.add(frames[k % frames.size()].data(), frames[0].size());
                           }) /
                       n;
    const double copy = memcpySeconds(frames, target);
    std::fprintf(stderr, "  averaging: add %.2f ms, memcpy %.2f ms a frame\n", add * 1e3,
                 copy * 1e3);
    reportAtMost("averaging_add_vs_memcpy_2592x1944", add / copy, "x", 2.0);
}

void flatfield() {
    const int w = 1920, h = 1080;
    const auto frames = sourceFrames(w, h, 8);
    std::vector<std::uint8_t> target(frames[0].size());
    PictureData flat;
    flat.width = w;
    flat.height = h;
    flat.bitsPerSample = 16;
    flat.samples.resize(std::size_t(w) * h * 6);
    auto* s = reinterpret_cast<std::uint16_t*>(flat.samples.data());
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const double r2 = (x - w / 2.0) * (x - w / 2.0) + (y - h / 2.0) * (y - h / 2.0);
            for (int c = 0; c < 3; ++c)
                s[(std::size_t(y) * w + x) * 3 + c] =
                    static_cast<std::uint16_t>(60000.0 * (1.0 - 0.5 * r2 / (w * w / 4.0)));
        }
    PictureData dark = flat;
    std::fill(dark.samples.begin(), dark.samples.end(), 0x0F);
    std::string error;
    auto field = acquire::FlatField::make(flat, &dark, &error);
    if (!field) {
        std::fprintf(stderr, "flatfield: %s\n", error.c_str());
        return;
    }
    const double correct =
        bestSeconds(7, nullptr,
                    [&] {
                        for (const auto& f : frames)
                            field->correctGrabberFrame(f.data(), target.data(), f.size());
                    }) /
        frames.size();
    const double copy = memcpySeconds(frames, target);
    std::fprintf(stderr, "  flat-field: correct %.2f ms, memcpy %.2f ms a frame\n", correct * 1e3,
                 copy * 1e3);
    reportAtMost("flatfield_live_vs_memcpy_1920x1080", correct / copy, "x", 3.0);
}

// Runs `work` with the frames of the virtual camera `entry` while this thread serves the
// camera's events; false when the camera does not open.
bool withVirtualCamera(const std::string& entry,
                       const std::function<void(GrabbedFrameSource&)>& work) {
    ::setenv("QELVO_VIRTUAL_DEVICES", entry.c_str(), 1);
    const std::string name = entry.substr(0, entry.find('{'));
    HeadlessCamera camera;
    std::string error;
    if (!camera.open(name, 0, 0, &error)) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
        return false;
    }
    std::atomic<bool> done{false};
    std::thread worker([&] {
        work(camera.frames());
        done = true;
    });
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    worker.join();
    camera.close();
    return true;
}

void schedule() {
    test::TempFolder folder("qelvo-bench");
    std::vector<double> lateMs;
    double frameMs = 0;
    acquire::TimeLapseOutcome outcome;
    const bool opened =
        withVirtualCamera("Lapse Bench Cam{size=640x480,fps=30}", [&](GrabbedFrameSource& frames) {
            for (int i = 0; i < 10; ++i)
                frames.nextFrame(frames.latestSequence(), std::chrono::seconds(5), nullptr);
            frameMs = std::chrono::duration<double, std::milli>(frames.frameInterval()).count();
            acquire::TimeLapseSettings settings;
            settings.folder = folder.path();
            settings.interval = std::chrono::milliseconds(100);
            settings.count = 600;
            acquire::TimeLapseRun run(settings, frames);
            run.onProgress([&](const acquire::TimeLapseProgress& p) {
                if (!p.lastPath.empty())
                    lateMs.push_back(std::chrono::duration<double, std::milli>(p.lateBy).count());
            });
            outcome = run.run();
        });
    if (!opened || lateMs.empty()) return;
    double worst = 0, first = 0, last = 0;
    const std::size_t n = lateMs.size(), tenth = std::max<std::size_t>(1, n / 10);
    for (std::size_t i = 0; i < n; ++i) {
        worst = std::max(worst, std::fabs(lateMs[i]));
        if (i < tenth) first += lateMs[i] / tenth;
        if (i >= n - tenth) last += lateMs[i] / tenth;
    }
    std::fprintf(stderr, "  schedule: %d taken, %d skipped, frame interval %.2f ms, %s\n",
                 outcome.taken, outcome.skipped, frameMs, outcome.problem.c_str());
    reportAtMost("schedule_max_error_in_frame_intervals_600x0.1s", worst / frameMs, "x", 1.0);
    // Drift: the mean lateness of the last tenth against the first; schedules from the start
    // keep it near zero whatever a picture costs.
    reportAtMost("schedule_drift_over_600_pictures", std::fabs(last - first) / frameMs,
                 "frame intervals", 0.5);
    report("schedule_pictures_skipped", outcome.skipped, "pictures", "0", outcome.skipped == 0, 0);
}

// The spread of a - b over all samples divided by sqrt 2: the noise of one of them, whatever
// picture lies under it.
double noiseOfDifference(const PictureData& a, const PictureData& b) {
    const auto* x = reinterpret_cast<const std::uint16_t*>(a.samples.data());
    const auto* y = reinterpret_cast<const std::uint16_t*>(b.samples.data());
    const std::size_t n = a.samples.size() / 2;
    double sum = 0, sq = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = (double(x[i]) - double(y[i])) / 257.0;
        sum += d;
        sq += d * d;
    }
    const double mean = sum / n;
    return std::sqrt(std::max(0.0, sq / n - mean * mean) / 2.0);
}

void noise() {
    double one = 0, sixteen = 0;
    const bool opened = withVirtualCamera(
        "Noise Bench Cam{size=640x480,fps=30,noise=12,overlay=0,motion=0}",
        [&](GrabbedFrameSource& frames) {
            const auto average = [&](int count) {
                std::optional<acquire::FrameAverager> averager;
                std::uint64_t sequence = frames.latestSequence();
                for (int i = 0; i < count; ++i) {
                    auto f = frames.nextFrame(sequence, std::chrono::seconds(5), nullptr);
                    if (!f) return std::optional<PictureData>();
                    if (!averager) averager.emplace(f->frame.width, f->frame.height, count);
                    averager->add(f->frame.data(), f->frame.length);
                    sequence = f->sequence;
                }
                return averager->average16();
            };
            const auto a = average(1), b = average(1), p = average(16), q = average(16);
            if (!a || !b || !p || !q) return;
            one = noiseOfDifference(*a, *b);
            sixteen = noiseOfDifference(*p, *q);
        });
    if (!opened || one <= 0) return;
    std::fprintf(stderr, "  noise: one frame %.2f levels, 16-frame average %.2f levels\n", one,
                 sixteen);
    reportAtMost("noise_16_frame_average_vs_one_frame_noise12", sixteen / one, "x", 0.3);
}

void focusaids() {
    const int w = 1920, h = 1080;
    // A textured frame, so that the focus value and peaking have edges to find.
    auto frame = std::make_shared<std::vector<std::uint8_t>>(grabberBytes(w, h));
    std::mt19937 rng(3);
    const std::size_t rowBytes = grabberBytes(w, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int v = ((x / 16 + y / 16) % 2 ? 180 : 60) + static_cast<int>(rng() % 16);
            std::uint8_t* p = frame->data() + rowBytes * y + 3 * x;
            p[0] = p[1] = p[2] = static_cast<std::uint8_t>(v);
        }
    const acquire::BgrFrameView view{frame->data(), w, h, rowBytes};
    test::TempFolder registry;
    FocusAidsController aids(
        [&] {
            FocusFrame f;
            f.keep = frame;
            f.view = view;
            return f;
        },
        registry.path());
    aids.setFallbackPeakingSize(QSize(640, 480));
    aids.setRegion(FocusAidsController::Region::Whole);  // no marks: only the peaking is drawn
    aids.setOn(true);
    aids.setPeaking(true);
    aids.waitForReading(5000);
    // GUI thread, per reading: the tick that takes and hands over the frame, and the delivery
    // of the result (its CPU time on this thread, the worker's not included).
    std::vector<double> guiMs;
    for (int k = 0; k < 20; ++k) {
        const double before = threadCpuMs();
        aids.readNow();
        double spent = threadCpuMs() - before;
        // The reading is made on the aids' thread meanwhile; then the delivery's own time.
        const int readings = aids.readings();
        double deliver = 0;
        for (int wait = 0; wait < 500 && aids.readings() == readings; ++wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            const double start = threadCpuMs();
            QCoreApplication::processEvents();
            deliver = threadCpuMs() - start;
        }
        spent += deliver;
        guiMs.push_back(spent);
    }
    // GUI thread, per paint: peaking drawn over the panel's picture.
    QImage screen(640, 480, QImage::Format_RGB32);
    screen.fill(Qt::gray);
    const double paintMs = medianMs(15, nullptr, [&] { aids.paintOver(screen, QSize(w, h)); });
    // The aids' own thread, per reading.
    acquire::FocusRequest request;
    request.peakingWidth = 640;
    request.peakingHeight = 480;
    const double readMs = medianMs(9, nullptr, [&] { (void)acquire::readFocus(view, request); });
    const double gui = percentile(guiMs, 50) + paintMs;
    std::fprintf(stderr, "  focus aids: GUI %.3f ms a reading + %.3f ms a paint; worker %.2f ms\n",
                 percentile(guiMs, 50), paintMs, readMs);
    reportAtMost("focusaids_gui_thread_1080p", gui, "ms", 1.0, 3);
    reportOnly("focusaids_reading_own_thread_1080p", readMs, "ms");
}

}  // namespace

int main(int argc, char** argv) {
    // The focus aids' figure draws into a picture: a GUI application, on no display.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const auto wanted = [&](const char* name) {
        if (argc < 2) return true;
        for (int i = 1; i < argc; ++i)
            if (std::strcmp(argv[i], name) == 0) return true;
        return false;
    };
    if (wanted("averaging")) averaging();
    if (wanted("flatfield")) flatfield();
    if (wanted("noise")) noise();
    if (wanted("schedule")) schedule();
    if (wanted("focusaids")) focusaids();
    return 0;
}
