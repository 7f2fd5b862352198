#include "capture/DeviceFinder.h"

#include "system/SessionState.h"

namespace qelvo {
namespace {

bool beginsWith(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

DeviceFamily deviceFamilyOf(const std::string& name) {
    if (beginsWith(name, "WDM 2860") || beginsWith(name, "USB 2860")) return DeviceFamily::Chip;
    if (beginsWith(name, "Inspection Microscope.") ||
        beginsWith(name, "USB2.0 PC Camera (SN9C201)"))
        return DeviceFamily::Microscope;
    return DeviceFamily::None;
}

FoundDevice findCaptureDevice(const std::vector<VideoInputDevice>& devices,
                              const std::string& selected, bool hdVariant,
                              const FamilyEffects& effects, const BindDevice& bind) {
    const bool applyFamilies = !hdVariant || selected.empty();
    for (const VideoInputDevice& device : devices) {
        const std::string name = cutUtf8(device.friendlyName, kDeviceNameMaxBytes);
        if (name.empty()) continue;  // a name that cannot be read
        if (!selected.empty() && !beginsWith(name, selected)) continue;
        if (applyFamilies) {
            switch (deviceFamilyOf(name)) {
                case DeviceFamily::Chip:
                    if (effects.chip) effects.chip(name);
                    break;
                case DeviceFamily::Microscope:
                    if (effects.microscope) effects.microscope();
                    break;
                case DeviceFamily::None:
                    break;
            }
        }
        MediaComponent source;
        if (bind && bind(device, source).ok() && source) return {source, name, device.systemId};
    }
    return {};
}

}  // namespace qelvo
