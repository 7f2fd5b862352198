#include "media/MediaGraph.h"

#include <QPointer>

#include "media/GstInit.h"
#include "media/MediaGraphImpl.h"

namespace qelvo {

void EventRelay::post(MediaEvent event) {
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        wake = pending_.empty();
        pending_.push_back(std::move(event));
    }
    if (wake) QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
}

void EventRelay::deliver() {
    std::vector<MediaEvent> events;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        events.swap(pending_);
    }
    // The handler may destroy the graph, and this relay with it.
    QPointer<EventRelay> alive(this);
    for (const MediaEvent& e : events) {
        if (!alive) return;
        const auto call = handler;
        if (call) call(e);
    }
}

MediaGraph::Impl::~Impl() {
    if (pipeline) {
        gst_element_set_state(pipeline, GST_STATE_NULL);
        detachBus();
        gst_object_unref(pipeline);
    }
    for (GstElement* r : renderers) gst_object_unref(r);
    for (auto& c : components) c->graph = nullptr;
}

GstBusSyncReply MediaGraph::Impl::onBusMessage(GstBus*, GstMessage* message, gpointer data) {
    auto* self = static_cast<Impl*>(data);
    switch (GST_MESSAGE_TYPE(message)) {
        case GST_MESSAGE_ERROR: {
            GError* error = nullptr;
            gchar* debug = nullptr;
            gst_message_parse_error(message, &error, &debug);
            std::string text = error && error->message ? error->message : "Unknown error.";
            if (error) g_error_free(error);
            g_free(debug);
            bool first = false;
            bool beforeFirstFrame = false;
            {
                std::lock_guard<std::mutex> lock(self->busMutex);
                first = self->firstError.empty();
                if (first) self->firstError = text;
                self->lastError = text;
                beforeFirstFrame = !self->sources.empty();
                for (const SourceState* s : self->sources)
                    if (s->frames.load(std::memory_order_relaxed) > 0) beforeFirstFrame = false;
            }
            self->errored.store(true);
            self->busChanged.notify_all();
            // One report per failure: the elements after the first one only echo it.
            if (first) self->post({MediaEvent::Kind::Error, text, beforeFirstFrame});
            break;
        }
        case GST_MESSAGE_EOS: {
            {
                std::lock_guard<std::mutex> lock(self->busMutex);
                self->endOfStream = true;
            }
            self->busChanged.notify_all();
            // A stream that ended because of an error was already reported as that error.
            if (!self->errored.load()) self->post({MediaEvent::Kind::EndOfStream, {}});
            break;
        }
        case GST_MESSAGE_ASYNC_DONE: {
            {
                std::lock_guard<std::mutex> lock(self->busMutex);
                self->asyncDone = true;
            }
            self->busChanged.notify_all();
            break;
        }
        default:
            break;
    }
    gst_message_unref(message);
    return GST_BUS_DROP;
}

std::unique_ptr<MediaGraph> MediaGraph::create(MediaResult* result) {
    if (!ensureGstreamer()) {
        if (result)
            *result = MediaResult::failure(MediaError::General, "GStreamer could not start.");
        return nullptr;
    }
    std::unique_ptr<MediaGraph> graph(new MediaGraph);
    graph->impl_->pipeline = makeElement("pipeline");
    if (!graph->impl_->pipeline) {
        if (result)
            *result = MediaResult::failure(MediaError::CreateFailed,
                                           "The media graph could not be created.");
        return nullptr;
    }
    graph->impl_->attachBus();
    if (result) *result = MediaResult::success();
    return graph;
}

MediaGraph::MediaGraph() : impl_(std::make_unique<Impl>()) {}

MediaGraph::~MediaGraph() {
    stop();
}

MediaResult MediaGraph::add(MediaComponent& component, const std::string& name) {
    if (component.empty())
        return MediaResult::failure(MediaError::AddFailed, "No component to add.");
    if (impl_->playback)
        return MediaResult::failure(MediaError::AddFailed, "A playback graph takes no components.");
    auto c = component.impl();
    if (c->graph)
        return MediaResult::failure(MediaError::AddFailed, "The component is already in a graph.");
    const std::string unique = impl_->uniqueName(name);
    gst_object_set_name(GST_OBJECT(c->element), unique.c_str());
    // The component keeps its own reference; the pipeline takes one of its own (adding an
    // element that is not floating adds a reference and, when it fails, leaves ours alone).
    if (!gst_bin_add(GST_BIN(impl_->pipeline), c->element)) {
        return MediaResult::failure(MediaError::AddFailed,
                                    "\"" + unique + "\" could not be added.");
    }
    if (c->fileWriter) {
        gst_bin_add(GST_BIN(impl_->pipeline), c->fileWriter);
        if (!gst_element_link(c->element, c->fileWriter)) {
            gst_bin_remove(GST_BIN(impl_->pipeline), c->fileWriter);
            gst_bin_remove(GST_BIN(impl_->pipeline), c->element);
            return MediaResult::failure(MediaError::ConnectFailed,
                                        "The file writer could not be connected.");
        }
    }
    c->graph = impl_.get();
    c->name = unique;
    impl_->components.push_back(c);
    impl_->names.push_back(unique);
    return MediaResult::success();
}

std::vector<std::string> MediaGraph::componentNames() const {
    return impl_->names;
}

bool MediaGraph::hasOutput(const MediaComponent& source, OutputCategory category) const {
    if (source.empty() || source.kind() != ComponentKind::Source) return false;
    return sourceHasOutput(*source.impl(), category);
}

MediaResult MediaGraph::streamFormat(const MediaComponent& source, OutputCategory category,
                                     VideoFormat& current) const {
    if (source.empty() || source.kind() != ComponentKind::Source)
        return MediaResult::failure(MediaError::NoInterface, "Not a video source.");
    if (!sourceHasOutput(*source.impl(), category))
        return MediaResult::failure(MediaError::NotFound, "The device has no such output.");
    return sourceStreamFormat(*source.impl(), current);
}

MediaResult MediaGraph::setStreamFormat(const MediaComponent& source, OutputCategory category,
                                        int width, int height) {
    if (source.empty() || source.kind() != ComponentKind::Source)
        return MediaResult::failure(MediaError::NoInterface, "Not a video source.");
    if (!sourceHasOutput(*source.impl(), category))
        return MediaResult::failure(MediaError::NotFound, "The device has no such output.");
    if (impl_->state != GraphState::Stopped)
        return MediaResult::failure(MediaError::StateFailed,
                                    "The format cannot change while the graph runs.");
    return setSourceStreamFormat(*source.impl(), width, height);
}

MediaResult MediaGraph::renderStream(OutputCategory category, const MediaComponent& source,
                                     const MediaComponent* middle, const MediaComponent* sink) {
    Impl& g = *impl_;
    if (!g.holds(source) || source.kind() != ComponentKind::Source)
        return MediaResult::failure(MediaError::NotFound, "The source is not in the graph.");
    if (middle && (!g.holds(*middle) || (middle->kind() != ComponentKind::FrameGrabber &&
                                         middle->kind() != ComponentKind::Encoder)))
        return MediaResult::failure(MediaError::NotFound, "The middle component is not usable.");
    if (sink && (!g.holds(*sink) || (sink->kind() != ComponentKind::NullRenderer &&
                                     sink->kind() != ComponentKind::Multiplexer)))
        return MediaResult::failure(MediaError::NotFound, "The sink is not usable.");
    if (g.state != GraphState::Stopped)
        return MediaResult::failure(MediaError::StateFailed, "Stop the graph before connecting.");
    if (middle && middle->kind() == ComponentKind::FrameGrabber && middle->impl()->grabber->linked)
        return MediaResult::failure(MediaError::ConnectFailed, "The grabber is already connected.");

    const bool writing = (sink && sink->kind() == ComponentKind::Multiplexer) ||
                         (middle && middle->kind() == ComponentKind::Encoder);
    // A camera's format is settled before its first chain: every chain then carries it.
    if (MediaResult settled = prepareSourceFormat(*source.impl()); !settled) return settled;
    std::string why;
    GstPad* output = requestSourceOutput(*source.impl(), category, !writing, why);
    if (!output) return MediaResult::failure(MediaError::NotFound, why);

    std::vector<GstElement*> added;  // elements this call put into the pipeline
    auto fail = [&](const std::string& text) {
        if (GstPad* peer = gst_pad_get_peer(output)) {
            gst_pad_unlink(output, peer);
            gst_object_unref(peer);
        }
        for (GstElement* e : added) {
            gst_element_set_state(e, GST_STATE_NULL);
            gst_bin_remove(GST_BIN(g.pipeline), e);
        }
        releaseSourceOutput(*source.impl(), output);
        return MediaResult::failure(MediaError::ConnectFailed, text);
    };
    auto linkPads = [](GstPad* from, GstElement* to, const char* padName) {
        GstPad* in = gst_element_get_static_pad(to, padName);
        bool ok = in && gst_pad_link(from, in) == GST_PAD_LINK_OK;
        if (in) gst_object_unref(in);
        return ok;
    };

    GstPad* upstream = GST_PAD(gst_object_ref(output));
    if (middle) {
        GstElement* m = middle->impl()->element;
        if (!linkPads(upstream, m, "sink")) {
            gst_object_unref(upstream);
            return fail("The device's stream could not reach \"" + middle->name() + "\".");
        }
        gst_object_unref(upstream);
        upstream = gst_element_get_static_pad(m, "src");
    }

    bool linked = false;
    if (!sink) {
        GstElement* renderer = makeWindowRenderer(g.window, false);
        if (renderer) {
            const std::string name = g.uniqueName("Video Renderer");
            gst_object_set_name(GST_OBJECT(renderer), name.c_str());
            gst_bin_add(GST_BIN(g.pipeline), renderer);
            added.push_back(renderer);
            linked = linkPads(upstream, renderer, "sink");
            if (linked) {
                g.renderers.push_back(renderer);
                g.names.push_back(name);
            } else {
                gst_object_unref(renderer);
            }
        }
    } else if (sink->kind() == ComponentKind::Multiplexer) {
        GstElement* mux = sink->impl()->element;
        // The stream as the device delivers it when there is no encoder: the converter only
        // steps in where the multiplexer cannot take that format.
        GstElement* convert = nullptr;
        if (!middle) {
            convert = gst_element_factory_make("videoconvert", nullptr);
            if (convert) {
                gst_bin_add(GST_BIN(g.pipeline), convert);
                added.push_back(convert);
                linked = linkPads(upstream, convert, "sink");
                gst_object_unref(upstream);
                upstream = gst_element_get_static_pad(convert, "src");
            }
        }
        if (!middle && !convert) {
            linked = false;
        } else {
            GstPad* in = gst_element_request_pad_simple(mux, "video_%u");
            linked = (middle || linked) && in && gst_pad_link(upstream, in) == GST_PAD_LINK_OK;
            if (!linked && in) gst_element_release_request_pad(mux, in);
            if (in) gst_object_unref(in);
        }
    } else {
        linked = linkPads(upstream, sink->impl()->element, "sink");
    }
    gst_object_unref(upstream);
    if (!linked) {
        if (middle) {
            GstPad* src = gst_element_get_static_pad(middle->impl()->element, "src");
            if (GstPad* peer = gst_pad_get_peer(src)) {
                gst_pad_unlink(src, peer);
                gst_object_unref(peer);
            }
            gst_object_unref(src);
        }
        return fail("The stream could not be connected to its renderer.");
    }
    if (middle && middle->kind() == ComponentKind::FrameGrabber)
        middle->impl()->grabber->linked = true;
    return MediaResult::success();
}

MediaResult MediaGraph::connectedFormat(const MediaComponent& grabber, VideoFormat& format) {
    if (grabber.empty() || grabber.kind() != ComponentKind::FrameGrabber)
        return MediaResult::failure(MediaError::NoInterface, "Not a frame grabber.");
    GrabberState& g = *grabber.impl()->grabber;
    if (grabberFormat(g, format, 0, nullptr)) return MediaResult::success();
    if (!g.linked || !impl_->holds(grabber))
        return MediaResult::failure(MediaError::NotConnected, "The grabber is not connected.");
    // Not streamed yet: a chain whose size is fixed upstream (a device with one size, or the
    // size set through the stream configuration) already tells it.  Nothing waits for frames:
    // a device with several sizes settles one when it starts, and the grabber's callback
    // learns it then.
    if (fixedGrabberFormat(g, format)) return MediaResult::success();
    return MediaResult::failure(MediaError::NotConnected,
                                "The format is settled when the device starts.");
}

MediaResult MediaGraph::run() {
    Impl& g = *impl_;
    if (g.state == GraphState::Running) return MediaResult::success();
    if (g.state == GraphState::Stopped) g.resetRunState();
    {
        std::lock_guard<std::mutex> lock(g.busMutex);
        g.sources.clear();
        for (const auto& c : g.components)
            if (c->kind == ComponentKind::Source && c->source) g.sources.push_back(c->source.get());
    }
    if (gst_element_set_state(g.pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        const std::string text = g.errorText("The graph could not be started.");
        gst_element_set_state(g.pipeline, GST_STATE_NULL);
        g.state = GraphState::Stopped;
        return MediaResult::failure(MediaError::StateFailed, text);
    }
    g.state = GraphState::Running;
    return MediaResult::success();
}

MediaResult MediaGraph::pause() {
    Impl& g = *impl_;
    if (g.state == GraphState::Paused) return MediaResult::success();
    if (g.state == GraphState::Stopped) g.resetRunState();
    if (gst_element_set_state(g.pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) {
        const std::string text = g.errorText("The graph could not be paused.");
        gst_element_set_state(g.pipeline, GST_STATE_NULL);
        g.state = GraphState::Stopped;
        return MediaResult::failure(MediaError::StateFailed, text);
    }
    g.state = GraphState::Paused;
    return MediaResult::success();
}

MediaResult MediaGraph::stop() {
    Impl& g = *impl_;
    if (!g.pipeline) return MediaResult::success();
    MediaResult result;
    if (g.state != GraphState::Stopped && g.writesFile()) {
        // The multiplexer writes its index on end-of-stream; without it the file would not
        // be a complete AVI file.
        const bool ended = !g.errored.load() && g.endFiles();
        if (g.errored.load()) {
            // No end-of-stream travels after an error: the files end where they got to.
            g.endFilesAfterError();
            result = MediaResult::failure(MediaError::Stream, g.errorText("The recording failed."));
        } else if (!ended) {
            // What is still queued is lost, but the file gets its index.
            g.endFilesAfterError();
            result = MediaResult::failure(MediaError::Timeout,
                                          "The file could not be written to its end in time.");
        }
    }
    gst_element_set_state(g.pipeline, GST_STATE_NULL);
    g.state = GraphState::Stopped;
    return result;
}

GraphState MediaGraph::state() const {
    return impl_->state;
}

VideoWindow& MediaGraph::videoWindow() {
    return impl_->window;
}

void MediaGraph::setEventHandler(std::function<void(const MediaEvent&)> handler) {
    impl_->relay->handler = std::move(handler);
}

std::string MediaGraph::lastError() const {
    std::lock_guard<std::mutex> lock(impl_->busMutex);
    return impl_->lastError;
}

}  // namespace qelvo
