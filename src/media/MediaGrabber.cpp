#include <chrono>

#include "media/MediaInternal.h"

namespace qelvo {
namespace {

// Runs on the streaming thread for every frame leaving the converter.  The frame is copied
// once, into a pooled block, with its rows turned bottom-up, packed to B,G,R and padded to
// 4 bytes in that same copy; the callback and everyone it hands the frame to share that block.
GstPadProbeReturn grabberProbe(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* g = static_cast<GrabberState*>(data);
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            g->infoValid = gst_video_info_from_caps(&g->info, caps) &&
                           (GST_VIDEO_INFO_FORMAT(&g->info) == GST_VIDEO_FORMAT_BGR ||
                            GST_VIDEO_INFO_FORMAT(&g->info) == GST_VIDEO_FORMAT_BGRx);
            const VideoFormat settled{GST_VIDEO_INFO_WIDTH(&g->info),
                                      GST_VIDEO_INFO_HEIGHT(&g->info)};
            {
                std::lock_guard<std::mutex> lock(g->formatMutex);
                g->negotiated = g->infoValid;
                g->format = settled;
                g->formatChanged.notify_all();
            }
            // The callback learns the size before the first frame of that size reaches it.
            std::lock_guard<std::mutex> lock(g->callbackMutex);
            if (g->callback && g->infoValid) g->callback->FormatCB(settled.width, settled.height);
        }
        return GST_PAD_PROBE_OK;
    }
    if (!g->infoValid) return GST_PAD_PROBE_OK;
    std::lock_guard<std::mutex> lock(g->callbackMutex);
    if (!g->callback) return GST_PAD_PROBE_OK;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &g->info, buffer, GST_MAP_READ)) return GST_PAD_PROBE_OK;
    const int width = GST_VIDEO_FRAME_WIDTH(&frame);
    const int height = GST_VIDEO_FRAME_HEIGHT(&frame);
    const std::ptrdiff_t stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    const auto* pixels = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    const double sampleTime =
        GST_CLOCK_TIME_IS_VALID(pts) ? static_cast<double>(pts) / GST_SECOND : 0.0;
    // GStreamer's rows run top-down: start from the last and walk upwards.
    const SourcePixels layout = GST_VIDEO_FRAME_FORMAT(&frame) == GST_VIDEO_FORMAT_BGRx
                                    ? SourcePixels::Bgrx
                                    : SourcePixels::Bgr;
    GrabbedFrame grabbed = copyFrameBottomUp(g->frames, pixels + stride * (height - 1), -stride,
                                             width, height, sampleTime, layout);
    tsanFrameReleased(pixels);
    gst_video_frame_unmap(&frame);
    // A frame that finds no memory for its copy still reaches the callback, without pixels:
    // it learns that the camera delivered, and the next frame tries again.
    g->callback->FrameCB(grabbed);
    return GST_PAD_PROBE_OK;
}

}  // namespace

MediaResult createFrameGrabber(MediaComponent& out) {
    GstElement* bin = makeElement("bin");
    GstElement* convert = gst_element_factory_make("videoconvert", "convert");
    GstElement* filter = gst_element_factory_make("capsfilter", "rgb24");
    if (!bin || !convert || !filter) {
        for (GstElement* e : {convert, filter})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        if (bin) gst_object_unref(bin);
        return MediaResult::failure(MediaError::CreateFailed,
                                    "The frame grabber could not be created.");
    }
    // B,G,R passes through untouched.  Anything else is converted to B,G,R,x, which the
    // converter reaches from the camera formats (I420, YUY2, NV12, ...) by its fast paths,
    // several times cheaper than its general route to 24-bit B,G,R; the frame's one copy
    // packs it to three bytes.  Renderers after the grabber convert for themselves.
    GstCaps* caps = gst_caps_from_string("video/x-raw, format=(string){ BGRx, BGR }");
    g_object_set(filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_bin_add_many(GST_BIN(bin), convert, filter, nullptr);
    if (!gst_element_link(convert, filter)) {
        gst_object_unref(bin);
        return MediaResult::failure(MediaError::ConnectFailed,
                                    "The frame grabber could not be connected.");
    }
    GstPad* sink = gst_element_get_static_pad(convert, "sink");
    GstPad* src = gst_element_get_static_pad(filter, "src");
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", sink));
    gst_element_add_pad(bin, gst_ghost_pad_new("src", src));
    gst_object_unref(sink);

    auto impl = std::make_shared<MediaComponent::Impl>();
    impl->kind = ComponentKind::FrameGrabber;
    impl->element = bin;
    impl->grabber = std::make_unique<GrabberState>();
    impl->grabber->convert = convert;
    gst_video_info_init(&impl->grabber->info);
    gst_pad_add_probe(src,
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                   GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      grabberProbe, impl->grabber.get(), nullptr);
    gst_object_unref(src);
    out = MediaComponent(impl);
    return MediaResult::success();
}

MediaResult setGrabberCallback(const MediaComponent& grabber, GrabberCallback* callback) {
    if (grabber.empty() || grabber.kind() != ComponentKind::FrameGrabber)
        return MediaResult::failure(MediaError::NoInterface, "Not a frame grabber.");
    GrabberState& g = *grabber.impl()->grabber;
    std::lock_guard<std::mutex> lock(g.callbackMutex);
    g.callback = callback;
    // A callback installed after the stream settled its format learns it here, since the
    // stream will not tell it again.
    VideoFormat format;
    if (callback && grabberFormat(g, format, 0, nullptr))
        callback->FormatCB(format.width, format.height);
    return MediaResult::success();
}

MediaResult createNullRenderer(MediaComponent& out) {
    GstElement* sink = makeElement("fakesink");
    if (!sink)
        return MediaResult::failure(MediaError::CreateFailed,
                                    "The null renderer could not be created.");
    // No clock wait and no preroll: frames are thrown away as soon as they arrive, and an
    // output that delivers nothing (a still output between presses) never holds the graph.
    g_object_set(sink, "sync", FALSE, "async", FALSE, "enable-last-sample", FALSE, nullptr);
    auto impl = std::make_shared<MediaComponent::Impl>();
    impl->kind = ComponentKind::NullRenderer;
    impl->element = sink;
    out = MediaComponent(impl);
    return MediaResult::success();
}

bool grabberFormat(GrabberState& g, VideoFormat& format, int timeoutMs,
                   const std::atomic<bool>* abandon) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock<std::mutex> lock(g.formatMutex);
    while (!g.negotiated) {
        if (abandon && abandon->load()) return false;
        const auto now = Clock::now();
        if (now >= deadline) return false;
        g.formatChanged.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(20)));
    }
    format = g.format;
    return true;
}

bool fixedGrabberFormat(GrabberState& g, VideoFormat& format) {
    GstPad* in = gst_element_get_static_pad(g.convert, "sink");
    if (!in) return false;
    // What reaches the converter; it changes the pixel format only, never the size.
    GstCaps* caps = gst_pad_peer_query_caps(in, nullptr);
    gst_object_unref(in);
    if (!caps) return false;
    bool fixed = !gst_caps_is_empty(caps) && !gst_caps_is_any(caps);
    int width = 0, height = 0;
    for (guint i = 0; fixed && i < gst_caps_get_size(caps); ++i) {
        const GstStructure* st = gst_caps_get_structure(caps, i);
        const GValue* w = gst_structure_get_value(st, "width");
        const GValue* h = gst_structure_get_value(st, "height");
        fixed = w && h && G_VALUE_HOLDS_INT(w) && G_VALUE_HOLDS_INT(h) &&
                (i == 0 || (g_value_get_int(w) == width && g_value_get_int(h) == height));
        if (fixed) {
            width = g_value_get_int(w);
            height = g_value_get_int(h);
        }
    }
    gst_caps_unref(caps);
    if (!fixed || width <= 0 || height <= 0) return false;
    format = {width, height};
    return true;
}

ComponentKind MediaComponent::kind() const {
    return impl_ ? impl_->kind : ComponentKind::Source;
}

std::string MediaComponent::name() const {
    return impl_ ? impl_->name : std::string();
}

}  // namespace qelvo
