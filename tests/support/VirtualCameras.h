#pragma once

#include "media/DeviceCatalogue.h"

#include <string>
#include <vector>

namespace qelvo::test {

// The virtual devices a list in the $QELVO_VIRTUAL_DEVICES form describes, e.g.
// "Cam A{size=160x120};Cam B", in their order.
inline std::vector<VideoInputDevice> virtualDevices(const std::string& list) {
    std::vector<VideoInputDevice> devices;
    for (const VirtualDeviceEntry& entry : parseVirtualDeviceList(list)) {
        VideoInputDevice device;
        device.friendlyName = entry.friendlyName;
        device.isVirtual = true;
        device.virtualEntry = entry;
        devices.push_back(device);
    }
    return devices;
}

// The first device of such a list; a device with no name when the list holds none.
inline VideoInputDevice virtualDevice(const std::string& list) {
    const std::vector<VideoInputDevice> devices = virtualDevices(list);
    return devices.empty() ? VideoInputDevice{} : devices.front();
}

// A device list made of virtual devices only, so that a test never depends on the cameras
// plugged into the machine.
class VirtualCameraList : public DeviceCatalogue {
public:
    explicit VirtualCameraList(const std::string& list) : devices_(virtualDevices(list)) {}
    std::vector<VideoInputDevice> videoInputs() override { return devices_; }

private:
    std::vector<VideoInputDevice> devices_;
};

}  // namespace qelvo::test
