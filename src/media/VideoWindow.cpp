#include "media/VideoWindow.h"

#include <gst/app/gstappsink.h>

#include <QPointer>
#include <memory>
#include <mutex>

#include "desktop/LiveTarget.h"
#include "media/MediaInternal.h"

namespace qelvo {
namespace {

// Shared between the renderer's streaming thread and the picture widget: the widget
// detaches itself here before it goes, so a late frame never reaches a dead widget.
struct SinkBridge {
    std::mutex mutex;
    LiveTarget* target = nullptr;
};

class VideoWindowWidget : public LiveTarget {
public:
    explicit VideoWindowWidget(std::shared_ptr<SinkBridge> bridge)
        : LiveTarget(nullptr), bridge_(std::move(bridge)) {
        setObjectName("VideoWindow");
        std::lock_guard<std::mutex> lock(bridge_->mutex);
        bridge_->target = this;
    }
    ~VideoWindowWidget() override {
        std::lock_guard<std::mutex> lock(bridge_->mutex);
        bridge_->target = nullptr;
    }

private:
    std::shared_ptr<SinkBridge> bridge_;
};

void deliver(GstSample* sample, SinkBridge& bridge) {
    if (!sample) return;
    GstVideoInfo info;
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    GstCaps* caps = gst_sample_get_caps(sample);
    if (buffer && caps && gst_video_info_from_caps(&info, caps)) {
        GstVideoFrame frame;
        if (gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
            std::lock_guard<std::mutex> lock(bridge.mutex);
            if (bridge.target)
                bridge.target->submitTopDownFrame(
                    static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                    GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                    GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
            tsanFrameReleased(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
            gst_video_frame_unmap(&frame);
        }
    }
    gst_sample_unref(sample);
}

GstFlowReturn onSample(GstAppSink* sink, gpointer data) {
    deliver(gst_app_sink_pull_sample(sink), **static_cast<std::shared_ptr<SinkBridge>*>(data));
    return GST_FLOW_OK;
}

GstFlowReturn onPreroll(GstAppSink* sink, gpointer data) {
    deliver(gst_app_sink_pull_preroll(sink), **static_cast<std::shared_ptr<SinkBridge>*>(data));
    return GST_FLOW_OK;
}

void freeBridge(gpointer data) {
    delete static_cast<std::shared_ptr<SinkBridge>*>(data);
}

}  // namespace

struct VideoWindow::Impl {
    std::shared_ptr<SinkBridge> bridge = std::make_shared<SinkBridge>();
    QPointer<VideoWindowWidget> widget;
    QPointer<QWidget> owner;
    QRect geometry;
    bool visible = false;
};

VideoWindow::VideoWindow() : impl_(std::make_unique<Impl>()) {}

VideoWindow::~VideoWindow() {
    delete impl_->widget.data();
}

bool VideoWindow::hasRenderer() const {
    return !impl_->widget.isNull();
}

static MediaResult noRenderer() {
    return MediaResult::failure(MediaError::NoInterface, "The graph has no video renderer.");
}

MediaResult VideoWindow::setOwner(QWidget* owner) {
    if (!impl_->widget) return noRenderer();
    VideoWindowWidget* w = impl_->widget;
    impl_->owner = owner;
    w->setParent(owner);  // hides it; shown again below when it should be
    if (!impl_->geometry.isNull()) w->setGeometry(impl_->geometry);
    if (impl_->visible && owner) w->show();
    return MediaResult::success();
}

MediaResult VideoWindow::setPosition(int left, int top, int width, int height) {
    if (!impl_->widget) return noRenderer();
    impl_->geometry = QRect(left, top, std::max(0, width), std::max(0, height));
    impl_->widget->setGeometry(impl_->geometry);
    return MediaResult::success();
}

MediaResult VideoWindow::setVisible(bool visible) {
    if (!impl_->widget) return noRenderer();
    impl_->visible = visible;
    impl_->widget->setVisible(visible);
    return MediaResult::success();
}

QWidget* VideoWindow::owner() const {
    return impl_->owner;
}

QRect VideoWindow::geometry() const {
    return impl_->widget ? impl_->widget->geometry() : impl_->geometry;
}

bool VideoWindow::isVisible() const {
    return impl_->widget && impl_->widget->isVisible();
}

QWidget* VideoWindow::widget() const {
    return impl_->widget;
}

std::uint64_t VideoWindow::paintedFrames() const {
    return impl_->widget ? impl_->widget->paintedFrames() : 0;
}

GstElement* makeWindowRenderer(VideoWindow& window, bool prerolls) {
    VideoWindow::Impl& w = window.impl();
    GstElement* bin = makeElement("bin");
    GstElement* convert = gst_element_factory_make("videoconvert", "convert");
    GstElement* sink = gst_element_factory_make("appsink", "picture");
    if (!bin || !convert || !sink) {
        for (GstElement* e : {convert, sink})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        if (bin) gst_object_unref(bin);
        return nullptr;
    }
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", nullptr);
    g_object_set(sink, "caps", caps, "sync", TRUE, "async", prerolls ? TRUE : FALSE, "max-buffers",
                 1u, "drop", TRUE, "enable-last-sample", FALSE, nullptr);
    gst_caps_unref(caps);
    GstAppSinkCallbacks callbacks{};
    callbacks.new_sample = onSample;
    callbacks.new_preroll = onPreroll;
    gst_app_sink_set_callbacks(GST_APP_SINK(sink), &callbacks,
                               new std::shared_ptr<SinkBridge>(w.bridge), freeBridge);
    gst_bin_add_many(GST_BIN(bin), convert, sink, nullptr);
    if (!gst_element_link(convert, sink)) {
        gst_object_unref(bin);
        return nullptr;
    }
    GstPad* pad = gst_element_get_static_pad(convert, "sink");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", pad));
    gst_object_unref(pad);
    if (!w.widget) {
        w.widget = new VideoWindowWidget(w.bridge);
        w.widget->hide();
    }
    return bin;
}

}  // namespace qelvo
