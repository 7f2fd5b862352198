#pragma once

#include "media/MediaResult.h"

#include <memory>
#include <string>

namespace qelvo {

class GrabberCallback;

// Outputs of a source component.  Capture is the device's stream; preview is a branch of
// that stream (cameras have no separate preview output); still exists only on devices with
// a still-image output and delivers a frame per hardware button press.
enum class OutputCategory { Capture, Preview, Still };

enum class ComponentKind {
    Source,        // a video input device bound to its source
    FrameGrabber,  // hands every frame to a GrabberCallback as bottom-up 24-bit rows
    NullRenderer,  // discards what reaches it
    Encoder,       // a video compressor
    Multiplexer,   // the AVI multiplexer with its file writer
};

struct VideoFormat {
    int width = 0;
    int height = 0;
};

// A handle on one component of a media graph.  Copies share the component; the graph keeps
// what it holds alive, so handles may be dropped at any time.  An empty handle is a failure.
class MediaComponent {
public:
    MediaComponent() = default;

    bool empty() const { return !impl_; }
    explicit operator bool() const { return !empty(); }
    ComponentKind kind() const;
    // The name it was added under (made unique by the graph); empty before it is added.
    std::string name() const;

    struct Impl;
    explicit MediaComponent(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}
    const std::shared_ptr<Impl>& impl() const { return impl_; }

private:
    std::shared_ptr<Impl> impl_;
};

// Opens a device's source for the moment it takes to read what the device offers and its own
// size, and settles the format it will stream in, so that building and configuring a graph
// with it later touches the device no more.  A real camera takes 0.3-2 s here: any thread,
// before the source is added to a graph.  Failure says why the device cannot be shown.
MediaResult probeSource(const MediaComponent& source);

// A frame grabber.  It accepts only 24-bit RGB (it converts whatever reaches it), keeps no
// samples and runs continuously: every frame goes to the installed callback on the streaming
// thread as bottom-up B,G,R rows padded to a multiple of 4 bytes.
MediaResult createFrameGrabber(MediaComponent& grabber);

// Installs or (with nullptr) removes the grabber's callback.  The callback is not owned.
// Once this returns, a removed callback is not running and will not be called again.
MediaResult setGrabberCallback(const MediaComponent& grabber, GrabberCallback* callback);

// A renderer that discards samples.
MediaResult createNullRenderer(MediaComponent& renderer);

}  // namespace qelvo
