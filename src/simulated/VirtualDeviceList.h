#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qelvo {

// One entry of QELVO_VIRTUAL_DEVICES: "Friendly Name{option,option=value,...}".
struct VirtualDeviceEntry {
    std::string friendlyName;
    std::vector<std::pair<std::string, std::string>> options;  // key, value ("" for flags)
};

// Parses a ';'-separated list.  Empty or malformed entries are skipped with one line on
// standard error each.
std::vector<VirtualDeviceEntry> parseVirtualDeviceList(const std::string& list);

}  // namespace qelvo
