#include "media/MediaFile.h"

#include <atomic>

#include "media/GstInit.h"
#include "media/MediaInternal.h"

namespace qelvo {
namespace {

constexpr GstClockTime kReadTimeout = 60 * GST_SECOND;

struct Reading {
    GstElement* pipeline = nullptr;
    std::atomic<std::uint64_t> frames{0};
    std::atomic<bool> sawVideo{false};
    std::mutex mutex;
    MediaFileInfo info;
};

GstPadProbeReturn countFrame(GstPad*, GstPadProbeInfo*, gpointer data) {
    static_cast<Reading*>(data)->frames.fetch_add(1, std::memory_order_relaxed);
    return GST_PAD_PROBE_OK;
}

// Each stream the demultiplexer finds ends in a sink that takes it as fast as it comes;
// video frames are counted on the way.
void onPadAdded(GstElement*, GstPad* pad, gpointer data) {
    auto* r = static_cast<Reading*>(data);
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    g_object_set(sink, "sync", FALSE, nullptr);
    gst_bin_add(GST_BIN(r->pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    GstPad* in = gst_element_get_static_pad(sink, "sink");
    gst_pad_link(pad, in);
    gst_object_unref(in);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps) caps = gst_pad_query_caps(pad, nullptr);
    if (caps && gst_caps_get_size(caps) > 0) {
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        if (g_str_has_prefix(gst_structure_get_name(s), "video/") && !r->sawVideo.exchange(true)) {
            std::lock_guard<std::mutex> lock(r->mutex);
            r->info.videoCodec = gst_structure_get_name(s);
            gst_structure_get_int(s, "width", &r->info.width);
            gst_structure_get_int(s, "height", &r->info.height);
            gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, countFrame, r, nullptr);
        }
    }
    if (caps) gst_caps_unref(caps);
}

}  // namespace

MediaResult inspectMediaFile(const std::string& path, MediaFileInfo& info) {
    if (!ensureGstreamer())
        return MediaResult::failure(MediaError::General, "GStreamer could not start.");
    Reading r;
    r.pipeline = makeElement("pipeline");
    GstElement* file = gst_element_factory_make("filesrc", nullptr);
    GstElement* demux = gst_element_factory_make("avidemux", nullptr);
    if (!r.pipeline || !file || !demux) {
        for (GstElement* e : {file, demux})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        if (r.pipeline) gst_object_unref(r.pipeline);
        return MediaResult::failure(MediaError::CreateFailed, "The AVI reader is not installed.");
    }
    g_object_set(file, "location", path.c_str(), nullptr);
    gst_bin_add_many(GST_BIN(r.pipeline), file, demux, nullptr);
    gst_element_link(file, demux);
    g_signal_connect(demux, "pad-added", G_CALLBACK(onPadAdded), &r);

    MediaResult result;
    GstBus* bus = gst_element_get_bus(r.pipeline);
    if (gst_element_set_state(r.pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
        result = MediaResult::failure(MediaError::StateFailed, "The file could not be opened.");
    } else {
        GstMessage* msg = gst_bus_timed_pop_filtered(
            bus, kReadTimeout, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
        if (!msg) {
            result = MediaResult::failure(MediaError::Timeout, "The file took too long to read.");
        } else {
            if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
                GError* error = nullptr;
                gst_message_parse_error(msg, &error, nullptr);
                result = MediaResult::failure(MediaError::Stream,
                                              error ? error->message : "The file is unreadable.");
                if (error) g_error_free(error);
            }
            gst_message_unref(msg);
        }
    }
    gint64 duration = 0;
    if (result && gst_element_query_duration(r.pipeline, GST_FORMAT_TIME, &duration) &&
        duration > 0)
        r.info.durationSeconds = static_cast<double>(duration) / GST_SECOND;
    gst_element_set_state(r.pipeline, GST_STATE_NULL);
    gst_object_unref(bus);
    gst_object_unref(r.pipeline);
    if (!result) return result;
    if (!r.sawVideo.load())
        return MediaResult::failure(MediaError::NotFound, "The file has no video stream.");
    info = r.info;
    info.videoFrames = r.frames.load();
    return MediaResult::success();
}

}  // namespace qelvo
