#pragma once

// Private to the media layer (includes GStreamer).  Only src/media includes it.

#include "media/DeviceCatalogue.h"

#include <gst/gst.h>

#include <vector>

namespace qelvo {

// GStreamer's device monitor for video sources, kept running for the object's lifetime so
// that listing the cameras reads the providers' own lists instead of opening every device
// again.  Providers that watch the system (V4L2 through udev, PipeWire) keep their lists
// current as cameras come and go.  A provider that cannot watch would only be probed once,
// when the monitor starts, so it is probed afresh at every listing instead, as it was before
// any monitor ran: its cameras still come and go.
class VideoSourceMonitor {
public:
    VideoSourceMonitor();
    ~VideoSourceMonitor();
    VideoSourceMonitor(const VideoSourceMonitor&) = delete;
    VideoSourceMonitor& operator=(const VideoSourceMonitor&) = delete;

    // False when GStreamer did not start or no video source provider could be started.
    bool running() const { return monitor_ != nullptr; }

    // The watching providers' cameras in the monitor's order, then those of the providers
    // that can only be probed.  Empty when not running.
    std::vector<VideoInputDevice> cameras() const;

private:
    GstDeviceMonitor* monitor_ = nullptr;
    std::vector<GstDeviceProvider*> probedOnly_;  // each holds a reference
};

// The cameras of every video source provider, probed afresh: each provider that no running
// monitor has started opens its devices again.  For when no monitor can run.
std::vector<VideoInputDevice> probedCameras();

// Takes messages off `bus` until one of exactly `type` comes, waiting `timeout` in all, and
// drops the others; null when none came in time.  The bus's own type filter is a bit mask in
// which all the extended types (device added, removed, monitor started, ...) share one bit, so
// on its own it would stop at the first message of any of them.
GstMessage* popMessageOfType(GstBus* bus, GstMessageType type, GstClockTime timeout);

}  // namespace qelvo
