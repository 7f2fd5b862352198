#pragma once

#include "media/MediaComponent.h"
#include "media/MediaResult.h"
#include "media/VideoWindow.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qelvo {

// Something the graph reports to its owner, always on the thread that created the graph
// (the GUI thread), never from inside a graph call.
struct MediaEvent {
    enum class Kind { Error, EndOfStream };
    Kind kind = Kind::Error;
    std::string message;  // errors: what went wrong, readable
    // Errors: no source of the graph had delivered a frame yet (a device lost or refusing
    // while its stream was being set up, rather than one lost while streaming).
    bool beforeFirstFrame = false;
};

enum class GraphState { Stopped, Paused, Running };

// A media graph: components added under names, chains connected between them, run, paused
// and stopped as a whole.  Create, build and destroy it on the GUI thread.  Destroying it
// stops it first (a recording is completed) and releases every component.
class MediaGraph {
public:
    // Returns null (and the reason in `result`) when the media framework cannot start.
    static std::unique_ptr<MediaGraph> create(MediaResult* result = nullptr);
    ~MediaGraph();
    MediaGraph(const MediaGraph&) = delete;
    MediaGraph& operator=(const MediaGraph&) = delete;

    // Adds a component under `name`; a name already used gets " 0001", " 0002", ... appended.
    // A component belongs to one graph at a time.
    MediaResult add(MediaComponent& component, const std::string& name);
    // The names of the components in the graph, in the order they were added.
    std::vector<std::string> componentNames() const;

    // Whether the source has an output of that category (preview: a branch of the capture
    // stream, so it exists wherever either output does).
    bool hasOutput(const MediaComponent& source, OutputCategory category) const;

    // The stream configuration of an output.  NoInterface when the device offers none.
    MediaResult streamFormat(const MediaComponent& source, OutputCategory category,
                             VideoFormat& current) const;
    // Asks the device for width x height on all its outputs.  Refused, and the device keeps
    // its own size, when its formats do not allow that size.
    MediaResult setStreamFormat(const MediaComponent& source, OutputCategory category, int width,
                                int height);

    // Connects source output -> middle -> sink.  `middle` may be null (direct connection);
    // `sink` null means the graph's default renderer, whose picture the video window shows.
    // Every component given must already be in this graph.  Rendering the preview of a
    // device without a separate preview output branches the capture stream (success).
    MediaResult renderStream(OutputCategory category, const MediaComponent& source,
                             const MediaComponent* middle, const MediaComponent* sink);

    // Adds the AVI multiplexer and its file writer for `path` (used whole) to the graph.
    MediaResult setOutputFile(const std::string& path, MediaComponent& multiplexer);

    // The negotiated format at a grabber: after connection, the size of the frames it
    // delivers.  Never waits for a frame: before streaming it succeeds only where the chain
    // fixes the size; otherwise the grabber's callback learns it when the device starts
    // (GrabberCallback::FormatCB).
    MediaResult connectedFormat(const MediaComponent& grabber, VideoFormat& format);

    // Builds a playback graph for a movie file; only on a graph that holds nothing yet.
    // The movie is cued (paused on its first frame) when this succeeds; a file that cannot
    // be played or has no video fails.
    MediaResult renderFile(const std::string& path);
    // Playback position and length, in seconds (0 when unknown).
    double durationSeconds() const;
    double positionSeconds() const;

    MediaResult run();
    MediaResult pause();
    // Stops streaming.  A graph writing a file first sends end-of-stream and waits for it to
    // reach the file, for as long as the file keeps growing (at most 10 s), so the file is
    // complete.  After a streaming error, or when the wait runs out, the file is closed with
    // its index where it got to and the result says what went wrong: Stream (the error) or
    // Timeout (frames still queued were lost).  When this returns no grabber callback is
    // running and none will run until the graph runs again.
    MediaResult stop();
    GraphState state() const;

    VideoWindow& videoWindow();

    // Receives errors (device gone, disk full) and end-of-stream, on the GUI thread.  The
    // handler may stop or destroy the graph.
    void setEventHandler(std::function<void(const MediaEvent&)> handler);
    // The last error posted by the graph, or empty.
    std::string lastError() const;

    struct Impl;

private:
    MediaGraph();
    std::unique_ptr<Impl> impl_;
};

// Faults of the AVI file writer, for tests; they apply to output files set afterwards.
struct FileWriterFaults {
    int microsecondsPerWrite = 0;    // every write to the file is held up this long
    bool failAtEndOfStream = false;  // the end of the stream fails before the multiplexer
};
void setFileWriterFaultsForTesting(const FileWriterFaults& faults);

}  // namespace qelvo
