#pragma once

#include <string>

#include "picturefiles/PictureFile.h"
#include "system/RegistryStore.h"

namespace qelvo {

// Snapshot settings kept per device (by friendly name) in the registry store, under
// SOFTWARE\QELVO-TARNEL\Snapshots\<device>.  Unreadable or missing values read as off.

// Whether snapshots of the device get the scale bar burnt in (off by default).
bool loadBurnScaleBar(const RegistryStore& store, const std::string& deviceName);
// False when the setting could not be written.
bool saveBurnScaleBar(const RegistryStore& store, const std::string& deviceName, bool on);

// How many consecutive frames a snapshot averages (value AverageFrames, 1 by default and when
// unreadable or outside 1..kMaxSnapshotAverage).
constexpr int kMaxSnapshotAverage = 256;
int loadSnapshotAverage(const RegistryStore& store, const std::string& deviceName);
bool saveSnapshotAverage(const RegistryStore& store, const std::string& deviceName, int frames);

// The snapshot file format (value Format: 0 JPEG, the default; 1 PNG; 2 TIFF).
PictureFormat loadSnapshotFormat(const RegistryStore& store, const std::string& deviceName);
bool saveSnapshotFormat(const RegistryStore& store, const std::string& deviceName,
                        PictureFormat format);

// Whether flat-field correction is on for the device (value FlatField, off by default).
bool loadFlatFieldOn(const RegistryStore& store, const std::string& deviceName);
bool saveFlatFieldOn(const RegistryStore& store, const std::string& deviceName, bool on);

}  // namespace qelvo
