#include "simulated/fuzz/VirtualDeviceListInput.h"

#include <iostream>

#include "simulated/BridgeDriver.h"
#include "simulated/RegistryDriverKeys.h"
#include "simulated/VirtualDevice.h"
#include "simulated/VirtualDeviceList.h"
#include "support/FuzzSupport.h"

namespace qelvo::fuzz {
namespace {

std::string formatList(const std::vector<VirtualDeviceEntry>& entries) {
    std::string list;
    for (const VirtualDeviceEntry& entry : entries) {
        if (!list.empty()) list += ';';
        list += entry.friendlyName;
        if (entry.options.empty()) continue;
        list += '{';
        for (std::size_t i = 0; i < entry.options.size(); ++i) {
            if (i) list += ',';
            list += entry.options[i].first;
            if (!entry.options[i].second.empty()) list += '=' + entry.options[i].second;
        }
        list += '}';
    }
    return list;
}

bool isTrimmed(const std::string& text) {
    const std::string blank = " \t\r\n";
    return text.empty() || (blank.find(text.front()) == std::string::npos &&
                            blank.find(text.back()) == std::string::npos);
}

std::string entryProblem(const VirtualDeviceEntry& entry) {
    if (entry.friendlyName.empty() || !isTrimmed(entry.friendlyName) ||
        entry.friendlyName.find_first_of(";{}") != std::string::npos)
        return "unusable friendly name: " + entry.friendlyName;
    for (const auto& [key, value] : entry.options) {
        if (key.empty() || !isTrimmed(key) || !isTrimmed(value) ||
            (key + value).find_first_of(";{},") != std::string::npos)
            return "unusable option: " + key + "=" + value;
    }
    const VirtualDeviceOptions o = parseVirtualDeviceOptions(entry);
    if (o.width < 2 || o.width > 8192 || o.height < 2 || o.height > 8192 || o.fps < 1 ||
        o.fps > 240 || o.startDelayMs < 0 || o.startDelayMs > 60000 || o.motion < -64 ||
        o.motion > 64 || o.stopAfter < -1 || o.pattern.empty() || o.pattern.size() > 32)
        return "option out of range in " + entry.friendlyName;
    if (!(o.noise >= 0 && o.noise <= 40) || !(o.vignette >= 0 && o.vignette <= 1) || o.dark < 0 ||
        o.dark > 255 || o.focus < -1 || o.focus > 100000 || o.specimen.size() > 4096)
        return "camera effect out of range in " + entry.friendlyName;
    if (virtualSourceLaunchDescription(o).empty()) return "no source description";
    chipConfigFromOptions(entry);
    isBridgeChipName(entry.friendlyName);
    microscopeDescriptionOf(entry.friendlyName);
    return {};
}

}  // namespace

std::string checkVirtualDeviceListInput(std::string_view input) {
    // Skipped entries are reported on standard error; at fuzzing speed that is only noise.
    static const bool quiet = [] {
        std::cerr.setstate(std::ios::failbit);
        return true;
    }();
    (void)quiet;
    const auto entries = parseVirtualDeviceList(std::string(input));
    for (const VirtualDeviceEntry& entry : entries)
        if (std::string problem = entryProblem(entry); !problem.empty()) return problem;
    const auto again = parseVirtualDeviceList(formatList(entries));
    if (again.size() != entries.size()) return "the entries written back give another count";
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (again[i].friendlyName != entries[i].friendlyName ||
            again[i].options != entries[i].options)
            return "the entries written back parse differently: " + entries[i].friendlyName;
    return {};
}

int writeVirtualDeviceListSeeds(const std::string& folder) {
    std::vector<std::vector<VirtualDeviceEntry>> lists;
    std::vector<VirtualDeviceEntry> family;
    for (const char* name : kBridgeFamilyNames) family.push_back({name, {}});
    family[0].options = {{"chipid", "0x23"}, {"chipconfig", "64"}, {"noeeprom", ""}};
    family[1].options = {{"eeprom", "eb1a:2861"}, {"still", ""}};
    lists.push_back(family);
    std::vector<VirtualDeviceEntry> scopes;
    for (const char* name : kMicroscopeDriverDescriptions)
        scopes.push_back({name, {{"size", "1280x720"}, {"fps", "15"}, {"hd", "1"}}});
    scopes.push_back({"Quillmar hd capture device", {{"delay", "250"}, {"live", "0"}}});
    lists.push_back(scopes);
    lists.push_back({{"Demo USB Camera",
                      {{"still", ""},
                       {"nocapture", "0"},
                       {"stopafter", "90"},
                       {"unplug", ""},
                       {"pattern", "ball"},
                       {"motion", "-3"},
                       {"overlay", "0"}}},
                     {"WDM 2860 Capture", {}}});
    lists.push_back({{"Lab Microscope",
                      {{"specimen", "blood-smear.jpg"},
                       {"controls", ""},
                       {"noise", "3.5"},
                       {"vignette", ".7"},
                       {"dark", "6"},
                       {"focus", "140"}}}});
    int written = 0;
    for (std::size_t i = 0; i < lists.size(); ++i)
        written += writeFile(folder + "/list-" + std::to_string(i + 1), formatList(lists[i]));
    return written;
}

}  // namespace qelvo::fuzz
