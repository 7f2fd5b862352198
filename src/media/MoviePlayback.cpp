// Playing a movie file through a graph of its own: playbin with the video window's renderer.
#include "media/MediaGraphImpl.h"

namespace qelvo {
namespace {

constexpr int kCueWaitMs = 5000;

}  // namespace

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

}  // namespace qelvo
