#pragma once

#include "media/DeviceCatalogue.h"
#include "media/MediaComponent.h"
#include "media/MediaResult.h"

#include <functional>
#include <string>
#include <vector>

namespace qelvo {

// Device families, recognised by the beginning of a device's friendly name.
enum class DeviceFamily { None, Chip, Microscope };

// Chip family: "WDM 2860", "USB 2860"; microscope family: "Inspection Microscope.",
// "USB2.0 PC Camera (SN9C201)".  The chip family is tested first.
DeviceFamily deviceFamilyOf(const std::string& friendlyName);

// What the finder does when it visits a device of a family.
struct FamilyEffects {
    std::function<void(const std::string& friendlyName)> chip;
    std::function<void()> microscope;
};

using BindDevice = std::function<MediaResult(const VideoInputDevice&, MediaComponent&)>;

struct FoundDevice {
    MediaComponent source;  // empty: no device
    std::string friendlyName;
    std::string systemId;  // the V4L2 device path; empty for a virtual device
};

// The device finder.  `selected` is the name chosen in the launcher; a device matches when
// its friendly name (cut to 255 bytes) begins with it, and an empty name matches every
// device.  Devices are visited in catalogue order and the first that binds is returned.
// Standard variants apply the family effects to every matching device visited, before it is
// bound (they stay in force when the bind fails).  HD variants apply them only when
// `selected` is empty.
FoundDevice findCaptureDevice(const std::vector<VideoInputDevice>& devices,
                              const std::string& selected, bool hdVariant,
                              const FamilyEffects& effects, const BindDevice& bind);

}  // namespace qelvo
