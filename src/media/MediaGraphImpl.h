#pragma once

// Private to the media layer: what a media graph holds.  The graph's parts live in
// MediaGraph.cpp (capture graphs), MediaRecording.cpp (file writing and its test faults) and
// MoviePlayback.cpp (playing a movie file).

#include "media/MediaGraph.h"
#include "media/MediaInternal.h"

#include <QObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qelvo {

// Lives on the thread that made the graph and hands it the events posted by GStreamer's
// threads.  Wake-ups queued to it after it is gone are dropped by Qt, so nothing reaches a
// destroyed graph.
class EventRelay : public QObject {
    Q_OBJECT
public:
    std::function<void(const MediaEvent&)> handler;

    // Any thread.
    void post(MediaEvent event);

private:
    Q_INVOKABLE void deliver();

    std::mutex mutex_;
    std::vector<MediaEvent> pending_;
};

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

    ~Impl();

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
    static GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer data);

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
    // file keeps what was recorded up to the failure.  (MediaRecording.cpp)
    void endFilesAfterError();

    // Bytes handed to the file writers so far (MediaRecording.cpp).
    std::uint64_t bytesWritten() const;

    // Sends end-of-stream and waits until it reached the files' ends or an error came.  False
    // when the files stopped growing, or took too long, without the end arriving.
    // (MediaRecording.cpp)
    bool endFiles();

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

}  // namespace qelvo
