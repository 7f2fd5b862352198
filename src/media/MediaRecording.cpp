// Writing a graph's stream to an AVI file: the multiplexer and its file writer, ending a
// recording so the file is complete, and the faults tests put into the writer.
#include <sys/stat.h>

#include "media/MediaGraphImpl.h"

namespace qelvo {
namespace {

// Ending a recording: the multiplexer writes its index once the end of the stream reaches
// it, after everything queued before it.  On slow media that drain takes a while, so the wait
// goes on while the file still grows, up to a limit; a file that stops growing without the
// end arriving is given up on sooner.
constexpr int kEndOfStreamCheckMs = 250;
constexpr int kEndOfStreamStallMs = 1500;
constexpr int kEndOfStreamLimitMs = 10000;

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

// Bytes handed to the file writers so far (what they buffer included, so a writer that
// collects small frames before writing still shows progress).
std::uint64_t MediaGraph::Impl::bytesWritten() const {
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
        if (::stat(c->filePath.c_str(), &st) == 0) total += static_cast<std::uint64_t>(st.st_size);
    }
    return total;
}

// Sends end-of-stream and waits until it reached the files' ends or an error came.  False
// when the files stopped growing, or took too long, without the end arriving.
bool MediaGraph::Impl::endFiles() {
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

// After a streaming error no end-of-stream can travel from the source, so it is handed
// to the multiplexers' inputs directly: they write their index (on this thread) and the
// file keeps what was recorded up to the failure.
void MediaGraph::Impl::endFilesAfterError() {
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

}  // namespace qelvo
