// A source component's bin: a camera's source, and the outputs every source offers (queues
// on its tee) with their stream format.  Virtual devices build theirs in VirtualSource.cpp.
#include <string>

#include "media/MediaInternal.h"

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

MediaResult finishSource(GstElement* bin, std::unique_ptr<SourceState> state, MediaComponent& out) {
    auto impl = std::make_shared<MediaComponent::Impl>();
    impl->kind = ComponentKind::Source;
    impl->element = bin;
    impl->source = std::move(state);
    out = MediaComponent(impl);
    return MediaResult::success();
}

GstElement* makeOutputTee() {
    GstElement* tee = gst_element_factory_make("tee", "outputs");
    if (tee) g_object_set(tee, "allow-not-linked", TRUE, nullptr);
    return tee;
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
    GstElement* tee = makeOutputTee();
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

MediaResult probeSource(const MediaComponent& source) {
    const auto& impl = source.impl();
    if (!impl || impl->kind != ComponentKind::Source || !impl->source)
        return MediaResult::failure(MediaError::NoInterface, "not a device source");
    if (impl->source->isVirtual) return probeVirtualSource(*impl);
    return probeCamera(*impl->source);
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
        gateStillOutput(s, queueSrc);
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
    if (s.isVirtual) return setVirtualSourceFormat(s, width, height);
    return settleCameraFormat(s, width, height);
}

}  // namespace qelvo
