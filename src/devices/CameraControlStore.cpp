#include "devices/CameraControlStore.h"

#include <cstdio>

namespace qelvo {
namespace {

constexpr const char* kControlsKey = "SOFTWARE\\QELVO-TARNEL\\Camera Controls\\";

// The identity becomes one key name: separators and control characters would split it or
// leave the key's place, so they are replaced; a very long name is cut at a fixed length.
std::string keyName(const std::string& identity) {
    std::string name;
    for (unsigned char c : identity.substr(0, 200))
        name.push_back(c < 0x20 || c == 0x7F || c == '/' || c == '\\' ? '_' : static_cast<char>(c));
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    // The store keeps values in files ending ".value"; a key must not look like one.
    if (name.size() >= 6 && name.compare(name.size() - 6, 6, ".value") == 0) name += "_";
    return name;
}

std::string valueName(std::uint32_t id) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(id));
    return text;
}

}  // namespace

CameraControlStore::CameraControlStore(RegistryStore store, const std::string& cameraIdentity)
    : store_(std::move(store)), keyPath_(kControlsKey + keyName(cameraIdentity)) {}

std::map<std::uint32_t, std::int32_t> CameraControlStore::load(
    const std::vector<std::uint32_t>& ids) const {
    std::map<std::uint32_t, std::int32_t> values;
    const auto key = store_.openKey(keyPath_);
    if (!key) return values;
    for (std::uint32_t id : ids) {
        const auto value = key->readNumber(valueName(id));
        if (value.ok()) values[id] = static_cast<std::int32_t>(value.value);
    }
    return values;
}

bool CameraControlStore::save(std::uint32_t id, std::int32_t value) const {
    const auto key = store_.createKey(keyPath_);
    return key &&
           key->writeNumber(valueName(id), static_cast<std::uint32_t>(value)) == RegistryStatus::Ok;
}

}  // namespace qelvo
