// The grabber's cost where it runs: a camera found through the device monitor streams I420
// (as raw camera formats arrive) into a preview graph; the grabber converts, copies the frame
// once bottom-up and hands it to a live panel.  Two probes around the grabber's own read the
// streaming thread's CPU clock, so each sample is exactly what the grabber costs that thread
// for one frame: the copy just after the converter wrote the frame, and the callback.
//
//   bench_grabber_in_graph [FRAMES]
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "desktop/LiveTarget.h"
#include "frames/GrabberCallback.h"
#include "media/MediaDevices.h"
#include "media/MediaGraph.h"
#include "media/MediaInternal.h"
#include "support/BenchTiming.h"
#include "support/TestCameraProvider.h"

namespace {

class ToLiveTarget : public qelvo::GrabberCallback {
public:
    explicit ToLiveTarget(qelvo::LiveTarget& target) : target_(target) {}
    void FrameCB(const qelvo::GrabbedFrame& frame) override { target_.submitSharedFrame(frame); }
    void BufferCB(double, const std::uint8_t*, std::size_t) override {}

private:
    qelvo::LiveTarget& target_;
};

struct Samples {
    double converting = 0;  // streaming thread only
    double grabbing = 0;    // streaming thread only
    std::mutex mutex;
    std::vector<double> grabberMs;  // the grabber's copy and callback
    std::vector<double> wholeMs;    // the same with the converter before it
};

GstPadProbeReturn stampConverting(GstPad*, GstPadProbeInfo*, gpointer data) {
    static_cast<Samples*>(data)->converting = qelvo::bench::threadCpuMs();
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn stampGrabbing(GstPad*, GstPadProbeInfo*, gpointer data) {
    static_cast<Samples*>(data)->grabbing = qelvo::bench::threadCpuMs();
    return GST_PAD_PROBE_OK;
}

GstPadProbeReturn stampEnd(GstPad*, GstPadProbeInfo*, gpointer data) {
    auto* s = static_cast<Samples*>(data);
    const double now = qelvo::bench::threadCpuMs();
    std::lock_guard lock(s->mutex);
    s->grabberMs.push_back(now - s->grabbing);
    s->wholeMs.push_back(now - s->converting);
    return GST_PAD_PROBE_OK;
}

// Streams `frames` frames of a width x height camera; false when the graph cannot be built.
bool measure(int width, int height, int frames, double targetMs) {
    const std::string name = "Bench Raw Cam " + std::to_string(width);
    qelvo::test::plugTestCamera({name, qelvo::test::TestCameraKind::Raw, width, height, 30});
    qelvo::VideoInputDevice device;
    for (const qelvo::VideoInputDevice& d : qelvo::makeSystemDeviceCatalogue()->videoInputs())
        if (d.friendlyName == name) device = d;
    QWidget window;
    qelvo::LiveTarget target(&window);
    target.setGeometry(0, 0, 1000, 562);
    window.resize(1000, 562);
    window.show();
    auto graph = qelvo::MediaGraph::create();
    qelvo::MediaComponent source, grabber, sink;
    if (!graph || !qelvo::bindVideoInput(device, source) || !graph->add(source, "Cap") ||
        !qelvo::createFrameGrabber(grabber) || !graph->add(grabber, "Grabber") ||
        !qelvo::createNullRenderer(sink) || !graph->add(sink, "NULL renderer") ||
        !graph->renderStream(qelvo::OutputCategory::Capture, source, &grabber, &sink))
        return false;
    // The grabber's probe sits on its filter's output; one probe on the filter's input runs
    // before it, and one added after it on the output runs after it.  One more on the
    // converter's input takes in the conversion too.
    Samples samples;
    GstElement* filter = gst_bin_get_by_name(GST_BIN(grabber.impl()->element), "rgb24");
    GstPad* converting = gst_element_get_static_pad(grabber.impl()->grabber->convert, "sink");
    GstPad* in = gst_element_get_static_pad(filter, "sink");
    GstPad* out = gst_element_get_static_pad(filter, "src");
    gst_pad_add_probe(converting, GST_PAD_PROBE_TYPE_BUFFER, stampConverting, &samples, nullptr);
    gst_pad_add_probe(in, GST_PAD_PROBE_TYPE_BUFFER, stampGrabbing, &samples, nullptr);
    gst_pad_add_probe(out, GST_PAD_PROBE_TYPE_BUFFER, stampEnd, &samples, nullptr);
    ToLiveTarget callback(target);
    qelvo::setGrabberCallback(grabber, &callback);
    graph->run();
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
        std::lock_guard lock(samples.mutex);
        if (static_cast<int>(samples.grabberMs.size()) >= frames + 10 || clock.elapsed() > 120000)
            break;
    }
    graph->stop();
    qelvo::setGrabberCallback(grabber, nullptr);
    for (GstPad* pad : {converting, in, out}) gst_object_unref(pad);
    gst_object_unref(filter);
    qelvo::test::unplugTestCamera(name);
    std::vector<double> kept, whole;
    {
        std::lock_guard lock(samples.mutex);
        if (samples.grabberMs.size() > 10) {
            kept.assign(samples.grabberMs.begin() + 10, samples.grabberMs.end());
            whole.assign(samples.wholeMs.begin() + 10, samples.wholeMs.end());
        }
    }
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    using qelvo::bench::percentile;
    using qelvo::bench::reportOnly;
    const double p50 = percentile(kept, 50), p99 = percentile(kept, 99);
    reportOnly("grabber_in_graph_cpu_median_" + size, p50, "ms", 3);
    std::printf("grabber_in_graph_cpu_p99_%s: %.3f ms over %zu frames (target: <= %g ms) %s\n",
                size.c_str(), p99, kept.size(), targetMs, p99 <= targetMs ? "ok" : "MISSED");
    reportOnly("grabber_with_converter_cpu_median_" + size, percentile(whole, 50), "ms", 3);
    reportOnly("grabber_with_converter_cpu_p99_" + size, percentile(whole, 99), "ms", 3);
    return !kept.empty();
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
    qelvo::test::registerTestCameraProvider();
    bool ok = measure(1920, 1080, frames, 1.0);
    ok = measure(2592, 1944, frames, 2.0) && ok;
    if (!ok) std::fprintf(stderr, "bench_grabber_in_graph: a preview graph could not be built\n");
    return ok ? 0 : 1;
}
