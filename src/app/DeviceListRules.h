#pragma once

#include <string>
#include <vector>

namespace qelvo {

// The device name the HD windows serve, compared byte for byte.
inline constexpr const char* kHdDeviceName = "Quillmar hd capture device";

// Names beginning with one of these are never offered in the launcher, tested in this order.
inline constexpr const char* kExcludedNamePrefixes[] = {
    "Inspection Microscope.",
    "USB2.0 PC Camera (SN9C201)",
    "Inspection Microscope",
};

bool isHdDeviceName(const std::string& name);
bool isExcludedDeviceName(const std::string& name);

// The launcher's list from the enumerated friendly names, in enumeration order: names cut to
// 255 bytes, excluded prefixes left out, duplicates kept.
std::vector<std::string> listableDeviceNames(const std::vector<std::string>& enumerated);

// Which entry a rescan selects: the operator's chosen name when an entry of that name is
// still listed (the first such entry), else entry 0; -1 for an empty list.
int rescanSelection(const std::vector<std::string>& entries, const std::string& operatorChoice);

}  // namespace qelvo
