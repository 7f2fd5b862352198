#pragma once

#include <string>

namespace qelvo {

// What tells one camera from another of the same model across replugging and restarts: the
// friendly name plus the USB serial number, or where the device sits on the bus when it has
// no serial.  Read from sysfs under `sysfsRoot` (tests pass a tree of their own); where sysfs
// says nothing the device node is used instead.
std::string cameraIdentity(const std::string& friendlyName, const std::string& devicePath,
                           const std::string& sysfsRoot = "/sys");

}  // namespace qelvo
