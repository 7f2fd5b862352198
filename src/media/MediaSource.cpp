#include <gst/video/colorbalance.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "media/MediaInternal.h"
#include "system/Paths.h"
#include "simulated/VirtualButtonChannel.h"

namespace qelvo {

GstElement* makeElement(const char* factory, const char* name) {
    GstElement* element = gst_element_factory_make(factory, name);
    if (element) gst_object_ref_sink(element);
    return element;
}

MediaComponent::Impl::~Impl() {
    if (element) gst_object_unref(element);
    if (fileWriter) gst_object_unref(fileWriter);
}

namespace {

// 3x5 digit glyphs, one row per entry, bit 2 = left column.
constexpr std::uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 2, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

// Burns the frame number into the top right corner of a top-down BGR frame: white digits
// on a black box, drawn straight into the pixels (cheap enough for every frame).
void drawCounter(std::uint8_t* pixels, int width, int height, int stride, std::uint64_t n) {
    char text[24];
    const int len = std::snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(n));
    const int scale = height >= 480 ? 3 : 2;
    const int cell = 4 * scale;  // 3 columns plus one of spacing
    const int boxW = len * cell + 2 * scale, boxH = 7 * scale;
    const int x0 = width - boxW - 2 * scale, y0 = 2 * scale;
    if (x0 < 0 || y0 + boxH > height) return;
    for (int y = 0; y < boxH; ++y) std::memset(pixels + (y0 + y) * stride + x0 * 3, 0, boxW * 3);
    for (int i = 0; i < len; ++i) {
        const std::uint8_t* glyph = kDigits[text[i] - '0'];
        for (int gy = 0; gy < 5; ++gy)
            for (int gx = 0; gx < 3; ++gx) {
                if (!(glyph[gy] & (4 >> gx))) continue;
                const int px = x0 + scale + i * cell + gx * scale, py = y0 + scale + gy * scale;
                for (int sy = 0; sy < scale; ++sy)
                    std::memset(pixels + (py + sy) * stride + px * 3, 0xFF, scale * 3);
            }
    }
}

// Runs on the producer's streaming thread for every frame of a virtual device: counts it,
// stops delivering after `stopafter` frames (optionally failing like an unplugged camera)
// and burns the counter in.
GstPadProbeReturn virtualFrameProbe(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    auto* source = static_cast<SourceState*>(data);
    if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
        GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
        if (GST_EVENT_TYPE(event) == GST_EVENT_CAPS) {
            // A slow device: hold the stream back, but let go at once when it is stopped.
            if (!source->delayServed && source->options.startDelayMs > 0) {
                source->delayServed = true;
                const gint64 until =
                    g_get_monotonic_time() + gint64{source->options.startDelayMs} * 1000;
                while (g_get_monotonic_time() < until && !GST_PAD_IS_FLUSHING(pad)) g_usleep(10000);
            }
            GstCaps* caps = nullptr;
            gst_event_parse_caps(event, &caps);
            if (!gst_video_info_from_caps(&source->producerInfo, caps))
                gst_video_info_init(&source->producerInfo);
        }
        return GST_PAD_PROBE_OK;
    }
    const std::uint64_t n = source->frames.fetch_add(1, std::memory_order_relaxed) + 1;
    const VirtualDeviceOptions& o = source->options;
    if (o.stopAfter >= 0 && n > static_cast<std::uint64_t>(o.stopAfter)) {
        if (o.unplugError) {
            // A removed camera fails its next read: the source reports an error and ends
            // the stream, which also lets a file being written be completed.
            if (!source->unplugReported.exchange(true)) {
                GError* error =
                    g_error_new(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_READ,
                                "The device \"%s\" was disconnected.", source->deviceName.c_str());
                gst_element_post_message(
                    source->producer,
                    gst_message_new_error(GST_OBJECT(source->producer), error, nullptr));
                g_error_free(error);
            }
            gst_buffer_unref(GST_PAD_PROBE_INFO_BUFFER(info));
            GST_PAD_PROBE_INFO_DATA(info) = nullptr;
            GST_PAD_PROBE_INFO_FLOW_RETURN(info) = GST_FLOW_ERROR;
            return GST_PAD_PROBE_HANDLED;
        }
        return GST_PAD_PROBE_DROP;
    }
    if (o.overlay && GST_VIDEO_INFO_FORMAT(&source->producerInfo) == GST_VIDEO_FORMAT_BGR) {
        GstBuffer* buffer = gst_buffer_make_writable(GST_PAD_PROBE_INFO_BUFFER(info));
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        GstVideoFrame frame;
        if (gst_video_frame_map(&frame, &source->producerInfo, buffer, GST_MAP_WRITE)) {
            tsanFrameReused(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
            drawCounter(static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                        GST_VIDEO_FRAME_WIDTH(&frame), GST_VIDEO_FRAME_HEIGHT(&frame),
                        GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0), n);
            gst_video_frame_unmap(&frame);
        }
    }
    return GST_PAD_PROBE_OK;
}

// The most still frames a change of the press counter can release.
constexpr std::int64_t kMaxStillsOwed = 4;

// The still output lets a frame through only for a hardware button press: the press count
// kept by the button channel is read on every frame, and each new press releases one frame.
// A read that fails changes nothing, so a passing glitch is never taken for a reset followed
// by a burst of presses.
GstPadProbeReturn stillGateProbe(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* source = static_cast<SourceState*>(data);
    (void)info;
    std::uint64_t count = 0;
    if (source->stillPressPath.empty() || !readStillPressCount(source->stillPressPath, count))
        count = source->pressesSeen.load();
    const std::uint64_t seen = source->pressesSeen.load(std::memory_order_relaxed);
    if (count != seen) {
        // A counter that went back was started again (removed, or rewritten after damage), so
        // the presses it holds are new ones.  However far it moved, only a few frames are
        // owed: a counter rewritten by anything else never releases a flood of stills.
        const std::uint64_t fresh = count > seen ? count - seen : count;
        const std::int64_t owed =
            source->stillsOwed.load() +
            static_cast<std::int64_t>(std::min<std::uint64_t>(fresh, kMaxStillsOwed));
        source->stillsOwed.store(std::min<std::int64_t>(owed, kMaxStillsOwed));
        source->pressesSeen.store(count, std::memory_order_relaxed);
    }
    if (source->stillsOwed.load() > 0) {
        source->stillsOwed.fetch_sub(1);
        return GST_PAD_PROBE_OK;
    }
    return GST_PAD_PROBE_DROP;
}

GstCaps* virtualCaps(const VirtualDeviceOptions& o, int width, int height) {
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGR", "width", G_TYPE_INT,
                               width, "height", G_TYPE_INT, height, "framerate", GST_TYPE_FRACTION,
                               o.fps, 1, nullptr);
}

MediaResult finishSource(GstElement* bin, std::unique_ptr<SourceState> state, MediaComponent& out) {
    auto impl = std::make_shared<MediaComponent::Impl>();
    impl->kind = ComponentKind::Source;
    impl->element = bin;
    impl->source = std::move(state);
    out = MediaComponent(impl);
    return MediaResult::success();
}

// The burnt-in clock of a virtual device, or nullptr when the overlay element is not
// installed: the device then streams without it, and says so once per run.
GstElement* makeClockOverlay() {
    GstElement* clock = gst_element_factory_make("clockoverlay", "clock");
    if (!clock) {
        static std::once_flag reported;
        std::call_once(reported, [] {
            std::fprintf(stderr,
                         "qelvo-tarnel: the GStreamer element \"clockoverlay\" is not installed "
                         "(Debian package gstreamer1.0-x); virtual devices stream without the "
                         "burnt-in time\n");
        });
    }
    return clock;
}

GstElement* newTee() {
    GstElement* tee = gst_element_factory_make("tee", "outputs");
    if (tee) g_object_set(tee, "allow-not-linked", TRUE, nullptr);
    return tee;
}

}  // namespace

MediaResult buildVirtualSource(const std::string& name, const VirtualDeviceOptions& o,
                               MediaComponent& out) {
    GstElement* bin = makeElement("bin");
    GstElement* producer = gst_element_factory_make("videotestsrc", "producer");
    GstElement* format = gst_element_factory_make("capsfilter", "format");
    GstElement* balance = gst_element_factory_make("videobalance", "balance");
    GstElement* clock = o.overlay ? makeClockOverlay() : nullptr;
    GstElement* tee = newTee();
    if (!bin || !producer || !format || !balance || !tee) {
        for (GstElement* e : {producer, format, balance, clock, tee})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        if (bin) gst_object_unref(bin);
        return MediaResult::failure(MediaError::CreateFailed,
                                    "The test picture source could not be created.");
    }
    gst_util_set_object_arg(G_OBJECT(producer), "pattern", o.pattern.c_str());
    g_object_set(producer, "is-live", o.live ? TRUE : FALSE, "horizontal-speed", o.motion, nullptr);
    GstCaps* caps = virtualCaps(o, o.width, o.height);
    g_object_set(format, "caps", caps, nullptr);
    gst_caps_unref(caps);
    gst_bin_add_many(GST_BIN(bin), producer, format, balance, tee, nullptr);
    bool linked = gst_element_link_many(producer, format, balance, nullptr);
    if (clock) {
        g_object_set(clock, "time-format", "%H:%M:%S", "font-desc", "Sans 14", nullptr);
        gst_bin_add(GST_BIN(bin), clock);
        linked = linked && gst_element_link_many(balance, clock, tee, nullptr);
    } else {
        linked = linked && gst_element_link(balance, tee);
    }
    if (!linked) {
        gst_object_unref(bin);
        return MediaResult::failure(MediaError::ConnectFailed,
                                    "The test picture source could not be connected.");
    }
    auto state = std::make_unique<SourceState>();
    state->deviceName = name;
    state->isVirtual = true;
    state->options = o;
    state->producer = producer;
    state->format = format;
    state->balance = balance;
    state->tee = tee;
    gst_video_info_init(&state->producerInfo);
    GstPad* pad = gst_element_get_static_pad(format, "src");
    gst_pad_add_probe(pad,
                      static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                   GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM),
                      virtualFrameProbe, state.get(), nullptr);
    gst_object_unref(pad);
    return finishSource(bin, std::move(state), out);
}

MediaResult buildCameraSource(const std::string& name, const MonitoredDevice* monitored,
                              const std::string& devicePath, MediaComponent& out) {
    GstElement* bin = makeElement("bin");
    // A camera with a V4L2 node is opened on the node, whichever provider listed it: a sound
    // server's provider (PipeWire) lists the same cameras, and its source answers "any format"
    // until it streams, which leaves nothing to choose the format from.
    const bool onNode = !devicePath.empty();
    GstElement* producer = monitored && !onNode
                               ? gst_device_create_element(monitored->device, "producer")
                               : gst_element_factory_make("v4l2src", "producer");
    // The format filter lets everything through until the camera's format is settled, so the
    // source links whatever the device produces (raw pixels, Motion JPEG, ...).
    GstElement* format = gst_element_factory_make("capsfilter", "format");
    GstElement* tee = newTee();
    if (!bin || !producer || !format || !tee) {
        for (GstElement* e : {producer, format, tee})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        if (bin) gst_object_unref(bin);
        return MediaResult::failure(MediaError::CreateFailed,
                                    "The source of \"" + name + "\" could not be created.");
    }
    if (onNode) g_object_set(producer, "device", devicePath.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(bin), producer, format, tee, nullptr);
    if (!gst_element_link_many(producer, format, tee, nullptr)) {
        gst_object_unref(bin);
        return MediaResult::failure(MediaError::ConnectFailed,
                                    "The source of \"" + name + "\" could not be connected.");
    }
    auto state = std::make_unique<SourceState>();
    state->deviceName = name;
    state->devicePath = devicePath;
    state->producer = producer;
    state->format = format;
    state->balance = producer;  // a V4L2 source offers the camera's colour controls
    state->tee = tee;
    // Counts the camera's frames, so a failure before the first one is told apart from a
    // camera lost while streaming.
    GstPad* pad = gst_element_get_static_pad(format, "src");
    gst_pad_add_probe(
        pad, GST_PAD_PROBE_TYPE_BUFFER,
        [](GstPad*, GstPadProbeInfo*, gpointer data) {
            static_cast<SourceState*>(data)->frames.fetch_add(1, std::memory_order_relaxed);
            return GST_PAD_PROBE_OK;
        },
        state.get(), nullptr);
    gst_object_unref(pad);
    return finishSource(bin, std::move(state), out);
}

bool sourceHasOutput(const MediaComponent::Impl& source, OutputCategory category) {
    const SourceState& s = *source.source;
    switch (category) {
        case OutputCategory::Capture:
            return !s.isVirtual || s.options.hasCapture;
        case OutputCategory::Preview:
            return true;
        case OutputCategory::Still:
            return s.isVirtual && s.options.hasStill;
    }
    return false;
}

GstPad* requestSourceOutput(MediaComponent::Impl& source, OutputCategory category, bool leaky,
                            std::string& why) {
    SourceState& s = *source.source;
    if (!sourceHasOutput(source, category)) {
        why = category == OutputCategory::Still ? "The device has no still output."
                                                : "The device has no capture output.";
        return nullptr;
    }
    if (category == OutputCategory::Still && s.stillTaken) {
        why = "The still output is already connected.";
        return nullptr;
    }
    const int index = s.branchCount++;
    const std::string queueName = "branch" + std::to_string(index);
    GstElement* queue = gst_element_factory_make("queue", queueName.c_str());
    if (!queue) {
        why = "A queue could not be created.";
        return nullptr;
    }
    if (leaky || category == OutputCategory::Still) {
        // Live pictures: the newest frames matter, a slow consumer must not hold up the rest.
        g_object_set(queue, "leaky", 2, "max-size-buffers", 3u, "max-size-bytes", 0u,
                     "max-size-time", G_GUINT64_CONSTANT(0), nullptr);
    } else {
        // A stream being written: nothing may be dropped; up to a second may wait.
        g_object_set(queue, "max-size-buffers", 0u, "max-size-bytes", 0u, "max-size-time",
                     G_GUINT64_CONSTANT(1000000000), nullptr);
    }
    gst_bin_add(GST_BIN(source.element), queue);
    GstPad* teePad = gst_element_request_pad_simple(s.tee, "src_%u");
    GstPad* queueSink = gst_element_get_static_pad(queue, "sink");
    const bool ok = teePad && gst_pad_link(teePad, queueSink) == GST_PAD_LINK_OK;
    gst_object_unref(queueSink);
    if (!ok) {
        if (teePad) {
            gst_element_release_request_pad(s.tee, teePad);
            gst_object_unref(teePad);
        }
        gst_bin_remove(GST_BIN(source.element), queue);
        why = "The device's stream could not be branched.";
        return nullptr;
    }
    gst_object_unref(teePad);
    GstPad* queueSrc = gst_element_get_static_pad(queue, "src");
    if (category == OutputCategory::Still) {
        // Presses are only taken from a runtime folder no other user can write into; without
        // one the still output stays closed.
        s.stillPressPath.clear();
        if (preparePrivateFolder(runtimeDir()).empty())
            s.stillPressPath = stillPressFile(s.deviceName);
        std::uint64_t count = 0;
        s.pressesSeen.store(
            !s.stillPressPath.empty() && readStillPressCount(s.stillPressPath, count) ? count : 0);
        s.stillsOwed.store(0);
        gst_pad_add_probe(queueSrc, GST_PAD_PROBE_TYPE_BUFFER, stillGateProbe, &s, nullptr);
        s.stillTaken = true;
    }
    const char* kind = category == OutputCategory::Still     ? "still"
                       : category == OutputCategory::Preview ? "preview"
                                                             : "capture";
    const std::string padName = std::string(kind) + "_" + std::to_string(index);
    GstPad* ghost = gst_ghost_pad_new(padName.c_str(), queueSrc);
    gst_object_unref(queueSrc);
    gst_pad_set_active(ghost, TRUE);
    gst_element_add_pad(source.element, ghost);
    return ghost;
}

void releaseSourceOutput(MediaComponent::Impl& source, GstPad* output) {
    SourceState& s = *source.source;
    GstPad* target = gst_ghost_pad_get_target(GST_GHOST_PAD(output));
    GstElement* queue = target ? gst_pad_get_parent_element(target) : nullptr;
    if (g_str_has_prefix(GST_PAD_NAME(output), "still")) s.stillTaken = false;
    gst_element_remove_pad(source.element, output);
    if (queue) {
        GstPad* sink = gst_element_get_static_pad(queue, "sink");
        if (GstPad* teePad = gst_pad_get_peer(sink)) {
            gst_pad_unlink(teePad, sink);
            gst_element_release_request_pad(s.tee, teePad);
            gst_object_unref(teePad);
        }
        gst_object_unref(sink);
        gst_element_set_state(queue, GST_STATE_NULL);
        gst_bin_remove(GST_BIN(source.element), queue);
        gst_object_unref(queue);
    }
    if (target) gst_object_unref(target);
}

MediaResult sourceStreamFormat(MediaComponent::Impl& source, VideoFormat& current) {
    SourceState& s = *source.source;
    if (s.configured.width > 0) {
        current = s.configured;
        return MediaResult::success();
    }
    if (s.isVirtual) {
        current = {s.options.width, s.options.height};
        return MediaResult::success();
    }
    // A camera: the size it streams at unless another is asked.
    return cameraDefaultFormat(s, current);
}

MediaResult setSourceStreamFormat(MediaComponent::Impl& source, int width, int height) {
    SourceState& s = *source.source;
    if (width <= 0 || height <= 0)
        return MediaResult::failure(MediaError::Refused, "The picture size is not valid.");
    if (s.isVirtual) {
        const bool own = width == s.options.width && height == s.options.height;
        const bool hd = width == 1280 && height == 720 && s.options.acceptsHd;
        if (!own && !hd)
            return MediaResult::failure(MediaError::Refused,
                                        "The device does not offer that picture size.");
        GstCaps* caps = virtualCaps(s.options, width, height);
        g_object_set(s.format, "caps", caps, nullptr);
        gst_caps_unref(caps);
        s.configured = {width, height};
        return MediaResult::success();
    }
    return settleCameraFormat(s, width, height);
}

}  // namespace qelvo
