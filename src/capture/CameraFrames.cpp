#include "capture/CameraFrames.h"

#include "media/MediaDevices.h"

namespace qelvo {

void GrabbedFrameSource::FrameCB(const GrabbedFrame& frame) {
    if (!frame.pixels) return;
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        // The frame interval over the last frames (a start-up burst soon drops out).
        arrivals_.push_back(now);
        if (arrivals_.size() > 17) arrivals_.pop_front();
        latest_.frame = frame;
        latest_.arrived = now;
        ++latest_.sequence;
    }
    arrived_.notify_all();
}

std::optional<acquire::SourcedFrame> GrabbedFrameSource::nextFrame(
    std::uint64_t afterSequence, std::chrono::milliseconds timeout, std::string* error) {
    std::unique_lock lock(mutex_);
    const bool came = arrived_.wait_for(
        lock, timeout, [&] { return !failure_.empty() || latest_.sequence > afterSequence; });
    if (!failure_.empty()) {
        if (error) *error = failure_;
        return std::nullopt;
    }
    if (!came) {
        if (error)
            *error = "the camera delivered no frame for " +
                     std::to_string((timeout.count() + 999) / 1000) + " s";
        return std::nullopt;
    }
    return latest_;
}

std::uint64_t GrabbedFrameSource::latestSequence() const {
    std::lock_guard lock(mutex_);
    return latest_.sequence;
}

std::chrono::nanoseconds GrabbedFrameSource::frameInterval() const {
    std::lock_guard lock(mutex_);
    if (arrivals_.size() < 2) return std::chrono::nanoseconds(0);
    return std::chrono::duration_cast<std::chrono::nanoseconds>(arrivals_.back() -
                                                                arrivals_.front()) /
           static_cast<long>(arrivals_.size() - 1);
}

void GrabbedFrameSource::fail(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (failure_.empty()) failure_ = why.empty() ? std::string("the camera stopped") : why;
    }
    arrived_.notify_all();
}

HeadlessCamera::HeadlessCamera() : frames_(std::make_shared<GrabbedFrameSource>()) {}

HeadlessCamera::~HeadlessCamera() {
    close();
}

bool HeadlessCamera::open(const std::string& friendlyName, int width, int height,
                          std::string* error, DeviceCatalogue* catalogue) {
    const auto fail = [&](const std::string& why) {
        if (error) *error = why;
        close();
        return false;
    };
    std::unique_ptr<DeviceCatalogue> own;
    if (!catalogue) {
        own = makeSystemDeviceCatalogue(CameraListing::ProbeEachCall);
        catalogue = own.get();
    }
    std::vector<std::string> names;
    VideoInputDevice device;
    bool found = false;
    for (const VideoInputDevice& d : catalogue->videoInputs()) {
        names.push_back(d.friendlyName);
        if (!found && d.friendlyName == friendlyName) {
            device = d;
            found = true;
        }
    }
    if (!found) {
        std::string listed;
        for (const auto& n : names) listed += (listed.empty() ? "" : ", ") + ("\"" + n + "\"");
        return fail("no device \"" + friendlyName + "\" is attached" +
                    (listed.empty() ? std::string(" (none is)") : " (attached: " + listed + ")"));
    }
    MediaResult result;
    graph_ = MediaGraph::create(&result);
    if (!graph_) return fail("the media framework does not start: " + result.message());
    if (!(result = bindVideoInput(device, source_)))
        return fail("\"" + friendlyName + "\" cannot be opened: " + result.message());
    if (!(result = probeSource(source_)))
        return fail("\"" + friendlyName + "\" cannot be opened: " + result.message());
    if (!(result = graph_->add(source_, "Capture")) || !(result = createFrameGrabber(grabber_)) ||
        !(result = graph_->add(grabber_, "Grabber")) || !(result = createNullRenderer(sink_)) ||
        !(result = graph_->add(sink_, "Null renderer")))
        return fail("the capture graph cannot be built: " + result.message());
    if (width > 0 && height > 0 &&
        !(result = graph_->setStreamFormat(source_, OutputCategory::Capture, width, height)))
        return fail("\"" + friendlyName + "\" does not offer " + std::to_string(width) + "x" +
                    std::to_string(height));
    if (!(result = graph_->renderStream(OutputCategory::Capture, source_, &grabber_, &sink_)))
        return fail("the capture graph cannot be built: " + result.message());
    std::weak_ptr<GrabbedFrameSource> frames = frames_;
    graph_->setEventHandler([frames](const MediaEvent& event) {
        if (auto f = frames.lock())
            f->fail(event.kind == MediaEvent::Kind::EndOfStream
                        ? std::string("the camera stopped streaming")
                        : "the camera is gone (" + event.message + ")");
    });
    setGrabberCallback(grabber_, frames_.get());
    if (!(result = graph_->run()))
        return fail("\"" + friendlyName + "\" does not start: " + result.message());
    return true;
}

void HeadlessCamera::close() {
    if (graph_) {
        graph_->stop();
        setGrabberCallback(grabber_, nullptr);
        graph_.reset();
    }
}

}  // namespace qelvo
