#pragma once

#include <string>

#include "system/RegistryStore.h"

namespace qelvo {

// The per-device driver keys of imaging devices: "<class key>\%04d" with the values
// "DriverDesc" and "DriverVersion", and its "Settings" subkey with "USBActive" and
// "SnapShotState" (3: a button press not yet taken, 2: taken).
inline constexpr int kDriverKeyCount = 9999;  // indexes 0 to 9998
inline constexpr const char* kMicroscopeDriverDescriptions[] = {"Inspection Microscope.",
                                                                "USB2.0 PC Camera (SN9C201)"};
inline constexpr unsigned kSnapShotPending = 3;
inline constexpr unsigned kSnapShotTaken = 2;

// "<class key>\0042" for 42; empty for an index outside 0 to 9998.
std::string driverDeviceKeyPath(int index);
std::string driverSettingsKeyPath(int index);

// The microscope-family driver description a friendly name begins with, or "" when none.
std::string microscopeDescriptionOf(const std::string& friendlyName);

// Gives a virtual microscope-family device its driver keys, once: "DriverDesc" (the family's
// description), "DriverVersion", "Settings\USBActive" = 1 and "Settings\SnapShotState" = 0,
// at the first free index, marked with the device's friendly name so that later calls, from
// this or another process, find them instead of adding more.  Returns the index, or -1 for
// other devices and when the store cannot be written.
int ensureVirtualDriverKeys(const RegistryStore& store, const std::string& friendlyName);
// The index of the keys made for the named virtual device, or -1.
int findVirtualDriverKeys(const RegistryStore& store, const std::string& friendlyName);

}  // namespace qelvo
