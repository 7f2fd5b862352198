#include "devices/DeviceSettings.h"

#include "devices/CameraControlAccess.h"
#include "media/SourceControls.h"

namespace qelvo {

bool hasSettingsPages(const MediaComponent& source) {
    const auto device = sourceDevice(source);
    if (!device) return false;
    return device->isVirtual || !SourcePictureControls(source).channels().empty() ||
           cameraControlSource(source).has_value();
}

}  // namespace qelvo
