#pragma once

// Private to the media layer: what a component handle holds.  Only src/media includes it.

#include "frames/FramePool.h"
#include "frames/GrabberCallback.h"
#include "media/FormatChoice.h"
#include "media/MediaComponent.h"
#include "media/VirtualSpecimenInternal.h"
#include "simulated/VirtualDevice.h"

#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qelvo {

class MediaGraph;

// A camera as GStreamer's device monitor reported it; it makes the camera's source element.
struct MonitoredDevice {
    explicit MonitoredDevice(GstDevice* d) : device(GST_DEVICE(gst_object_ref(d))) {}
    ~MonitoredDevice() { gst_object_unref(device); }
    MonitoredDevice(const MonitoredDevice&) = delete;
    MonitoredDevice& operator=(const MonitoredDevice&) = delete;
    GstDevice* device;
};

// A video input's source bin: producer ! format filter ! (picture controls) ! tee.  Each
// output is a queue on the tee, exposed as a ghost pad of the bin.
struct SourceState {
    std::string deviceName;
    bool isVirtual = false;
    VirtualDeviceOptions options;    // virtual devices
    GstElement* producer = nullptr;  // videotestsrc or v4l2src (held by the bin)
    GstElement* format = nullptr;    // capsfilter holding the stream configuration
    GstElement* balance = nullptr;   // the element with the colour controls
    GstElement* tee = nullptr;
    int branchCount = 0;
    bool stillTaken = false;
    VideoFormat configured;  // the size set through the stream configuration (0: none)

    // Cameras: what the device offers (read once, when its format is first needed) and the
    // format it streams in, settled before its first output is connected.
    std::string devicePath;      // V4L2 node, where the camera has one
    GstCaps* offered = nullptr;  // owned
    bool formatSettled = false;
    // The driver's current size, read once (0 x 0: none); -1 until read.
    int ownWidth = -1;
    int ownHeight = -1;
    GstElement* decoder = nullptr;  // jpegdec between the format filter and the tee, or null

    // Streaming thread.
    std::atomic<std::uint64_t> frames{0};
    std::atomic<bool> unplugReported{false};
    GstVideoInfo producerInfo{};  // format at the format filter (streaming thread only)
    bool delayServed = false;     // the start delay of a slow virtual device (streaming thread)
    // A virtual device showing a specimen: the picture (read when the device was opened), its
    // lens, and the horizontal movement asked of it (any thread).  The renderer and the
    // distance moved so far belong to the streaming thread.
    std::shared_ptr<const QImage> specimen;
    std::shared_ptr<VirtualLensState> lens;
    std::atomic<int> specimenMotion{0};
    std::unique_ptr<SpecimenRenderer> renderer;
    std::int64_t drift = 0;
    // Still output: presses seen (baseline taken when the branch is made) and still owed.
    std::string stillPressPath;  // the press counter file, fixed when the still output is made
    std::atomic<std::uint64_t> pressesSeen{0};
    std::atomic<std::int64_t> stillsOwed{0};

    SourceState() = default;
    SourceState(const SourceState&) = delete;
    SourceState& operator=(const SourceState&) = delete;
    ~SourceState() {
        if (offered) gst_caps_unref(offered);
    }
};

// A frame grabber: videoconvert ! BGR with a probe on its output that hands the callback
// the frame turned bottom-up.
struct GrabberState {
    GstElement* convert = nullptr;
    bool linked = false;

    std::mutex callbackMutex;  // held while the callback runs
    GrabberCallback* callback = nullptr;

    std::mutex formatMutex;
    std::condition_variable formatChanged;
    bool negotiated = false;
    VideoFormat format;

    // Streaming thread only.
    GstVideoInfo info{};
    bool infoValid = false;
    FramePool frames;  // the blocks each frame is copied into once
};

struct MediaComponent::Impl {
    ComponentKind kind = ComponentKind::Source;
    GstElement* element = nullptr;  // owned reference
    std::string name;
    const void* graph = nullptr;  // the graph holding it
    std::unique_ptr<SourceState> source;
    std::unique_ptr<GrabberState> grabber;
    GstElement* fileWriter = nullptr;  // multiplexer: its filesink (owned reference)
    std::string filePath;

    ~Impl();
};

// Creates an element or returns null (without the floating reference issue: the result is
// a full reference the caller owns).
GstElement* makeElement(const char* factory, const char* name = nullptr);

// Source bin construction.  Both kinds end their bin in the output tee and hand it over
// through finishSource (MediaSource.cpp).
GstElement* makeOutputTee();
MediaResult finishSource(GstElement* bin, std::unique_ptr<SourceState> state, MediaComponent& out);
// A virtual device (VirtualSource.cpp): its source bin; the size asked of it (its own, or
// 1280x720 where it accepts HD); and the gate that lets one frame through its still output
// per press of its hardware button, put on the still branch's output.
MediaResult buildVirtualSource(const std::string& name, const VirtualDeviceOptions& options,
                               MediaComponent& source);
MediaResult setVirtualSourceFormat(SourceState& source, int width, int height);
void gateStillOutput(SourceState& source, GstPad* output);
// A camera's source: made by the device monitor's handle where there is one, else a V4L2
// source on `devicePath`.
MediaResult buildCameraSource(const std::string& name, const MonitoredDevice* monitored,
                              const std::string& devicePath, MediaComponent& source);
// Cameras (CameraFormat.cpp): the size a camera streams at when nothing is asked of it, and
// settling the format it streams in, at `width` x `height` (0 x 0: its own size).  Settling
// reads what the device offers, picks the format (FormatChoice), sets the format filter and
// puts the Motion JPEG decoder in or takes it out; it is done once, before the first output
// is connected, and again only when another size is asked.  Fails, with a message the
// operator can act on, when the device cannot be opened or offers nothing decodable.
MediaResult cameraDefaultFormat(SourceState& source, VideoFormat& format);
MediaResult settleCameraFormat(SourceState& source, int width, int height);
// Settles a source's format before a chain is connected to it (nothing to do for virtual
// devices or an already settled camera).
MediaResult prepareSourceFormat(MediaComponent::Impl& source);
// Reads a camera's offers and own size and settles its format (opens it for the moment).
MediaResult probeCamera(SourceState& source);
// Opens a virtual device for a moment, as a camera is probed.
MediaResult probeVirtualSource(const MediaComponent::Impl& source);
// A new output branch of a source; returns the ghost pad (owned by the bin) or null.
GstPad* requestSourceOutput(MediaComponent::Impl& source, OutputCategory category, bool leaky,
                            std::string& why);
// Undoes requestSourceOutput after a failed connection.
void releaseSourceOutput(MediaComponent::Impl& source, GstPad* output);
bool sourceHasOutput(const MediaComponent::Impl& source, OutputCategory category);
MediaResult sourceStreamFormat(MediaComponent::Impl& source, VideoFormat& current);
MediaResult setSourceStreamFormat(MediaComponent::Impl& source, int width, int height);

// Buffer pools hand frame memory back to the producer through atomics ThreadSanitizer cannot
// see.  Code of ours that reads a frame reports when it is done with it, and code of ours that
// writes into a recycled frame reports that it takes it over (no-ops outside such builds).
void tsanFrameReleased(const void* pixels);
void tsanFrameReused(const void* pixels);

// Frame grabber internals (MediaGrabber.cpp).
bool grabberFormat(GrabberState& grabber, VideoFormat& format, int timeoutMs,
                   const std::atomic<bool>* abandon);
// The size a connected grabber's chain allows before it streams, when only one is possible.
bool fixedGrabberFormat(GrabberState& grabber, VideoFormat& format);

}  // namespace qelvo

namespace qelvo {
class VideoWindow;
// A renderer feeding the video window's picture: videoconvert ! BGR ! appsink.  Creates the
// picture widget on first use (GUI thread).  `prerolls` makes it hold the pipeline until
// a first frame is shown (playback cues its first frame that way).  Returns a full reference.
GstElement* makeWindowRenderer(VideoWindow& window, bool prerolls);
}  // namespace qelvo
