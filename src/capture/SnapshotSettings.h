#pragma once

#include <string>

#include "system/RegistryStore.h"

namespace qelvo {

// Snapshot settings kept per device (by friendly name) in the registry store, under
// SOFTWARE\QELVO-TARNEL\Snapshots\<device>.  Unreadable or missing values read as off.

// Whether snapshots of the device get the scale bar burnt in (off by default).
bool loadBurnScaleBar(const RegistryStore& store, const std::string& deviceName);
// False when the setting could not be written.
bool saveBurnScaleBar(const RegistryStore& store, const std::string& deviceName, bool on);

}  // namespace qelvo
