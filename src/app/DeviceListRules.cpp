#include "app/DeviceListRules.h"

#include "system/SessionState.h"

namespace qelvo {

bool isHdDeviceName(const std::string& name) {
    return name == kHdDeviceName;
}

bool isExcludedDeviceName(const std::string& name) {
    for (const char* prefix : kExcludedNamePrefixes)
        if (name.rfind(prefix, 0) == 0) return true;
    return false;
}

std::vector<std::string> listableDeviceNames(const std::vector<std::string>& enumerated) {
    std::vector<std::string> entries;
    for (const std::string& raw : enumerated) {
        std::string name = cutUtf8(raw, kDeviceNameMaxBytes);
        if (!isExcludedDeviceName(name)) entries.push_back(std::move(name));
    }
    return entries;
}

int rescanSelection(const std::vector<std::string>& entries, const std::string& operatorChoice) {
    if (entries.empty()) return -1;
    if (!operatorChoice.empty())
        for (std::size_t i = 0; i < entries.size(); ++i)
            if (entries[i] == operatorChoice) return static_cast<int>(i);
    return 0;
}

}  // namespace qelvo
