#include "media/MediaGraph.h"

#include <QObject>
#include <QPointer>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include <sys/stat.h>

#include "media/GstInit.h"
#include "media/MediaInternal.h"

namespace qelvo {
namespace {

// Ending a recording: the multiplexer writes its index once the end of the stream reaches
// it, after everything queued before it.  On slow media that drain takes a while, so the wait
// goes on while the file still grows, up to a limit; a file that stops growing without the
// end arriving is given up on sooner.
constexpr int kEndOfStreamCheckMs = 250;
constexpr int kEndOfStreamStallMs = 1500;
constexpr int kEndOfStreamLimitMs = 10000;
constexpr int kCueWaitMs = 5000;

// Lives on the thread that made the graph and hands it the events posted by GStreamer's
// threads.  Wake-ups queued to it after it is gone are dropped by Qt, so nothing reaches a
// destroyed graph.
class EventRelay : public QObject {
    Q_OBJECT
public:
    std::function<void(const MediaEvent&)> handler;

    // Any thread.
    void post(MediaEvent event) {
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            wake = pending_.empty();
            pending_.push_back(std::move(event));
        }
        if (wake) QMetaObject::invokeMethod(this, "deliver", Qt::QueuedConnection);
    }

private:
    Q_INVOKABLE void deliver() {
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

    std::mutex mutex_;
    std::vector<MediaEvent> pending_;
};

std::atomic<int> writeDelayUs{0};
std::atomic<bool> failAtEndOfStream{false};

GstPadProbeReturn slowWrite(GstPad*, GstPadProbeInfo*, gpointer data) {
    g_usleep(static_cast<gulong>(GPOINTER_TO_INT(data)));
    return GST_PAD_PROBE_OK;
}

// The first end-of-stream reaching a multiplexer input is lost in a failure; a later one
// (sent straight to the input) passes.
GstPadProbeReturn failFirstEndOfStream(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) != GST_EVENT_EOS) return GST_PAD_PROBE_OK;
    if (static_cast<std::atomic<bool>*>(data)->exchange(true)) return GST_PAD_PROBE_OK;
    GstElement* mux = gst_pad_get_parent_element(pad);
    GError* error = g_error_new_literal(GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_WRITE,
                                        "Simulated write failure at the end of the stream.");
    gst_element_post_message(mux, gst_message_new_error(GST_OBJECT(mux), error, nullptr));
    g_error_free(error);
    gst_object_unref(mux);
    return GST_PAD_PROBE_DROP;
}

void onMultiplexerInput(GstElement*, GstPad* pad, gpointer) {
    if (GST_PAD_DIRECTION(pad) != GST_PAD_SINK) return;
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, failFirstEndOfStream,
                      new std::atomic<bool>(false),
                      [](gpointer data) { delete static_cast<std::atomic<bool>*>(data); });
}

}  // namespace

void setFileWriterFaultsForTesting(const FileWriterFaults& faults) {
    writeDelayUs.store(faults.microsecondsPerWrite);
    failAtEndOfStream.store(faults.failAtEndOfStream);
}

struct MediaGraph::Impl {
    GstElement* pipeline = nullptr;
    bool playback = false;
    std::vector<std::shared_ptr<MediaComponent::Impl>> components;
    std::vector<std::string> names;
    std::vector<GstElement*> renderers;  // default renderers added by renderStream
    VideoWindow window;
    GraphState state = GraphState::Stopped;
    std::unique_ptr<EventRelay> relay = std::make_unique<EventRelay>();

    // Written by the bus handler on any thread.
    std::mutex busMutex;
    std::condition_variable busChanged;
    bool endOfStream = false;
    bool asyncDone = false;
    std::string firstError;  // first error since the graph last ran
    std::string lastError;
    std::atomic<bool> errored{false};
    std::vector<const SourceState*> sources;  // the sources of the running graph

    ~Impl() {
        if (pipeline) {
            gst_element_set_state(pipeline, GST_STATE_NULL);
            detachBus();
            gst_object_unref(pipeline);
        }
        for (GstElement* r : renderers) gst_object_unref(r);
        for (auto& c : components) c->graph = nullptr;
    }

    void attachBus() {
        GstBus* bus = gst_element_get_bus(pipeline);
        gst_bus_set_sync_handler(bus, &Impl::onBusMessage, this, nullptr);
        gst_object_unref(bus);
    }
    void detachBus() {
        GstBus* bus = gst_element_get_bus(pipeline);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
    }

    void post(MediaEvent event) { relay->post(std::move(event)); }

    // Runs on whichever thread posted the message; nothing is queued on the bus.
    static GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data) {
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

    template <class Pred>
    bool waitBus(int timeoutMs, Pred pred) {
        std::unique_lock<std::mutex> lock(busMutex);
        return busChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), pred);
    }

    void resetRunState() {
        std::lock_guard<std::mutex> lock(busMutex);
        endOfStream = false;
        asyncDone = false;
        firstError.clear();
        errored.store(false);
    }

    std::string errorText(const char* fallback) {
        std::lock_guard<std::mutex> lock(busMutex);
        return firstError.empty() ? fallback : firstError;
    }

    bool holds(const MediaComponent& c) const { return !c.empty() && c.impl()->graph == this; }

    bool writesFile() const {
        for (const auto& c : components)
            if (c->kind == ComponentKind::Multiplexer) return true;
        return false;
    }

    // After a streaming error no end-of-stream can travel from the source, so it is handed
    // to the multiplexers' inputs directly: they write their index (on this thread) and the
    // file keeps what was recorded up to the failure.
    void endFilesAfterError() {
        for (const auto& c : components) {
            if (c->kind != ComponentKind::Multiplexer || !c->element) continue;
            GstIterator* pads = gst_element_iterate_sink_pads(c->element);
            GValue item = G_VALUE_INIT;
            while (gst_iterator_next(pads, &item) == GST_ITERATOR_OK) {
                auto* pad = GST_PAD(g_value_get_object(&item));
                gst_pad_send_event(pad, gst_event_new_eos());
                g_value_reset(&item);
            }
            g_value_unset(&item);
            gst_iterator_free(pads);
        }
    }

    // Bytes handed to the file writers so far (what they buffer included, so a writer that
    // collects small frames before writing still shows progress).
    std::uint64_t bytesWritten() const {
        std::uint64_t total = 0;
        for (const auto& c : components) {
            if (c->kind != ComponentKind::Multiplexer || !c->fileWriter) continue;
            gint64 position = 0;
            if (gst_element_query_position(c->fileWriter, GST_FORMAT_BYTES, &position) &&
                position > 0) {
                total += static_cast<std::uint64_t>(position);
                continue;
            }
            struct stat st;
            if (::stat(c->filePath.c_str(), &st) == 0)
                total += static_cast<std::uint64_t>(st.st_size);
        }
        return total;
    }

    // Sends end-of-stream and waits until it reached the files' ends or an error came.  False
    // when the files stopped growing, or took too long, without the end arriving.
    bool endFiles() {
        {
            std::lock_guard<std::mutex> lock(busMutex);
            if (endOfStream) return true;
        }
        if (state == GraphState::Paused) gst_element_set_state(pipeline, GST_STATE_PLAYING);
        gst_element_send_event(pipeline, gst_event_new_eos());
        using Clock = std::chrono::steady_clock;
        const auto started = Clock::now();
        auto lastGrowth = started;
        std::uint64_t written = bytesWritten();
        while (!waitBus(kEndOfStreamCheckMs, [&] { return endOfStream || !firstError.empty(); })) {
            const auto now = Clock::now();
            const std::uint64_t nowWritten = bytesWritten();
            if (nowWritten != written) {
                written = nowWritten;
                lastGrowth = now;
            }
            if (now - lastGrowth >= std::chrono::milliseconds(kEndOfStreamStallMs) ||
                now - started >= std::chrono::milliseconds(kEndOfStreamLimitMs))
                return false;
        }
        return true;
    }

    std::string uniqueName(const std::string& wanted) const {
        auto used = [&](const std::string& n) {
            return std::find(names.begin(), names.end(), n) != names.end();
        };
        if (!used(wanted)) return wanted;
        for (int i = 1;; ++i) {
            char suffix[16];
            std::snprintf(suffix, sizeof suffix, " %04d", i);
            if (!used(wanted + suffix)) return wanted + suffix;
        }
    }
};

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

MediaResult MediaGraph::setOutputFile(const std::string& path, MediaComponent& multiplexer) {
    if (path.empty()) return MediaResult::failure(MediaError::NotFound, "No file name was given.");
    GstElement* mux = makeElement("avimux");
    GstElement* writer = makeElement("filesink");
    if (!mux || !writer) {
        if (mux) gst_object_unref(mux);
        if (writer) gst_object_unref(writer);
        return MediaResult::failure(MediaError::CreateFailed,
                                    "The AVI writer could not be created.");
    }
    g_object_set(writer, "location", path.c_str(), "async", FALSE, nullptr);
    if (const int delay = writeDelayUs.load(); delay > 0) {
        GstPad* in = gst_element_get_static_pad(writer, "sink");
        gst_pad_add_probe(in,
                          static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER |
                                                       GST_PAD_PROBE_TYPE_BUFFER_LIST),
                          slowWrite, GINT_TO_POINTER(delay), nullptr);
        gst_object_unref(in);
    }
    if (failAtEndOfStream.load())
        g_signal_connect(mux, "pad-added", G_CALLBACK(onMultiplexerInput), nullptr);
    gst_object_set_name(GST_OBJECT(writer), impl_->uniqueName("File writer").c_str());
    auto impl = std::make_shared<MediaComponent::Impl>();
    impl->kind = ComponentKind::Multiplexer;
    impl->element = mux;
    impl->fileWriter = writer;
    impl->filePath = path;
    MediaComponent component(impl);
    MediaResult added = add(component, "AVI Mux");
    if (!added) return added;
    impl_->names.push_back(GST_OBJECT_NAME(writer));
    multiplexer = component;
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

MediaResult MediaGraph::renderFile(const std::string& path) {
    Impl& g = *impl_;
    if (!g.components.empty() || g.playback)
        return MediaResult::failure(MediaError::General, "The graph is not empty.");
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(path.c_str(), &error);
    if (!uri) {
        std::string text = error ? error->message : "The file name is not valid.";
        if (error) g_error_free(error);
        return MediaResult::failure(MediaError::NotFound, text);
    }
    GstElement* player = makeElement("playbin");
    GstElement* renderer = makeWindowRenderer(g.window, true);
    GstElement* silence = gst_element_factory_make("fakesink", nullptr);
    if (!player || !renderer || !silence) {
        g_free(uri);
        for (GstElement* e : {player, renderer})
            if (e) gst_object_unref(e);
        if (silence) gst_object_unref(gst_object_ref_sink(silence));
        return MediaResult::failure(MediaError::CreateFailed, "The player could not be created.");
    }
    g_object_set(silence, "sync", TRUE, nullptr);
    // Video only: sound is not played, and subtitles are not drawn.
    g_object_set(player, "uri", uri, "video-sink", renderer, "audio-sink", silence, nullptr);
    g_free(uri);
    g.renderers.push_back(renderer);
    g.detachBus();
    gst_object_unref(g.pipeline);
    g.pipeline = player;
    g.playback = true;
    g.attachBus();
    g.resetRunState();

    auto failWith = [&](MediaError e, const std::string& text) {
        gst_element_set_state(g.pipeline, GST_STATE_NULL);
        g.state = GraphState::Stopped;
        return MediaResult::failure(e, text);
    };
    const GstStateChangeReturn r = gst_element_set_state(g.pipeline, GST_STATE_PAUSED);
    if (r == GST_STATE_CHANGE_FAILURE)
        return failWith(MediaError::StateFailed, g.errorText("The file could not be opened."));
    if (r == GST_STATE_CHANGE_ASYNC &&
        !g.waitBus(kCueWaitMs, [&] { return g.asyncDone || !g.firstError.empty(); }))
        return failWith(MediaError::Timeout, "The movie could not be cued.");
    if (g.errored.load())
        return failWith(MediaError::Stream, g.errorText("The file cannot be played."));
    gint videoStreams = 0;
    g_object_get(g.pipeline, "n-video", &videoStreams, nullptr);
    if (videoStreams <= 0) return failWith(MediaError::NotFound, "The file has no video.");
    g.state = GraphState::Paused;
    return MediaResult::success();
}

double MediaGraph::durationSeconds() const {
    gint64 duration = 0;
    if (!gst_element_query_duration(impl_->pipeline, GST_FORMAT_TIME, &duration) || duration < 0)
        return 0;
    return static_cast<double>(duration) / GST_SECOND;
}

double MediaGraph::positionSeconds() const {
    gint64 position = 0;
    if (!gst_element_query_position(impl_->pipeline, GST_FORMAT_TIME, &position) || position < 0)
        return 0;
    return static_cast<double>(position) / GST_SECOND;
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

#include "MediaGraph.moc"
