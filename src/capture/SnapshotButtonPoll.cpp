#include "capture/SnapshotButtonPoll.h"

namespace qelvo {

bool DriverSnapshotButtonPoll::onTimer(int microscopeFamily, int& registryDeviceIndex) const {
    if (microscopeFamily != 1) return false;
    if (registryDeviceIndex < 0) {
        registryDeviceIndex = settings_.findDriverSettingsKey();
        return false;
    }
    return settings_.pollDriverSnapshotState(registryDeviceIndex) == 1;
}

}  // namespace qelvo
