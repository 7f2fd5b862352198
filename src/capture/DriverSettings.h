#pragma once

#include <utility>

#include "system/RegistryStore.h"

namespace qelvo {

// The microscope family's snapshot button as its driver publishes it in the registry: the
// active device's settings key holds "USBActive" (non-zero: active) and "SnapShotState"
// (3: a press waiting; the program answers 2).  GUI thread only.
class DriverSettings {
public:
    explicit DriverSettings(RegistryStore store) : store_(std::move(store)) {}

    // The index of the first device key (0 to 9998) whose "DriverDesc" is exactly one of the
    // microscope family's descriptions, that has a "DriverVersion", and whose settings mark
    // it active; -1 when none.  The first missing key number ends the search.
    int findDriverSettingsKey() const;

    // 1 when the key's device is active and a press is waiting, which is then answered;
    // else 0.
    int pollDriverSnapshotState(int index) const;

private:
    RegistryStore store_;
};

}  // namespace qelvo
