#pragma once

#include <memory>
#include <string>
#include <vector>

#include "simulated/VirtualDeviceList.h"

namespace qelvo {

// A device found by the system's device monitor (private to the media layer).
struct MonitoredDevice;

// A video input device as the catalogue lists it.
struct VideoInputDevice {
    std::string friendlyName;
    bool isVirtual = false;
    std::string systemId;             // V4L2: the device path; virtual: empty
    VirtualDeviceEntry virtualEntry;  // virtual devices only
    // The monitor's own handle on the device, which makes its source; null for virtual
    // devices and for devices described only by a path.
    std::shared_ptr<const MonitoredDevice> monitored = nullptr;
};

// The video input device category: the cameras of every video source provider GStreamer's
// device monitor knows (V4L2 and any other) in the monitor's order, then the virtual
// devices in their configured order.  Listing may be called every few seconds.
class DeviceCatalogue {
public:
    virtual ~DeviceCatalogue() = default;
    virtual std::vector<VideoInputDevice> videoInputs() = 0;
};

// How the system catalogue finds cameras.  RunningMonitor starts GStreamer's device monitor
// at the first listing and keeps it running while the catalogue lives: later listings read
// the list the providers keep current and open no device (a provider that cannot watch for
// cameras is still probed at each listing).  ProbeEachCall asks every provider to probe at
// each listing, which opens every camera; it is what RunningMonitor falls back to when no
// monitor can start, and probes only providers that no running monitor has started.
enum class CameraListing { RunningMonitor, ProbeEachCall };

// The system catalogue: GStreamer's device monitor plus $QELVO_VIRTUAL_DEVICES (read on every
// call, so a changed environment shows at the next rescan).
std::unique_ptr<DeviceCatalogue> makeSystemDeviceCatalogue(
    CameraListing listing = CameraListing::RunningMonitor);

}  // namespace qelvo
