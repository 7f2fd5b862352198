#pragma once

#include <filesystem>
#include <string>

namespace qelvo {

// Where the kernel's device tree and device nodes are mounted; tests point both at a fake
// tree in a temporary folder.
struct DeviceRoots {
    std::filesystem::path sysfs = "/sys";
    std::filesystem::path dev = "/dev";
};

struct ButtonDeviceLookup {
    std::string eventNode;  // e.g. "/dev/input/event5"; empty when none was found
    std::string problem;    // why none was found, one line
};

// Finds the input device through which the camera at `videoDevicePath` ("/dev/videoN", or a
// link to it) reports its snapshot button.  Camera drivers create that input device under
// the same USB device as the video device: uvcvideo under the video device's USB interface,
// the gspca drivers under the USB device itself, so every interface of the USB device is
// searched.  Input devices whose key capabilities lack the camera key are skipped.
ButtonDeviceLookup findCameraButtonDevice(const std::string& videoDevicePath,
                                          const DeviceRoots& roots = {});

}  // namespace qelvo
