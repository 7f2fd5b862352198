#include "capture/SnapshotSettings.h"

namespace qelvo {

namespace {

constexpr const char* kSnapshotsKey = "SOFTWARE\\QELVO-TARNEL\\Snapshots\\";
constexpr const char* kBurnScaleBar = "BurnScaleBar";
constexpr const char* kAverageFrames = "AverageFrames";
constexpr const char* kFormat = "Format";
constexpr const char* kFlatField = "FlatField";

// The name becomes one key: separators and control characters would split it or leave the
// key's place, so they are replaced; a very long name is cut.
std::string keyName(const std::string& device) {
    std::string name;
    for (unsigned char c : device.substr(0, 200))
        name.push_back(c < 0x20 || c == 0x7F || c == '/' || c == '\\' ? '_' : static_cast<char>(c));
    if (name.empty() || name == "." || name == "..") name = "_" + name;
    if (name.size() >= 6 && name.compare(name.size() - 6, 6, ".value") == 0) name += "_";
    return name;
}

}  // namespace

bool loadBurnScaleBar(const RegistryStore& store, const std::string& deviceName) {
    const auto key = store.openKey(kSnapshotsKey + keyName(deviceName));
    if (!key) return false;
    const RegistryValue<std::uint32_t> value = key->readNumber(kBurnScaleBar);
    return value.ok() && value.value != 0;
}

bool saveBurnScaleBar(const RegistryStore& store, const std::string& deviceName, bool on) {
    const auto key = store.createKey(kSnapshotsKey + keyName(deviceName));
    return key && key->writeNumber(kBurnScaleBar, on ? 1 : 0) == RegistryStatus::Ok;
}

int loadSnapshotAverage(const RegistryStore& store, const std::string& deviceName) {
    const auto key = store.openKey(kSnapshotsKey + keyName(deviceName));
    if (!key) return 1;
    const RegistryValue<std::uint32_t> value = key->readNumber(kAverageFrames);
    return value.ok() && value.value >= 1 && value.value <= kMaxSnapshotAverage
               ? static_cast<int>(value.value)
               : 1;
}

bool saveSnapshotAverage(const RegistryStore& store, const std::string& deviceName, int frames) {
    if (frames < 1 || frames > kMaxSnapshotAverage) return false;
    const auto key = store.createKey(kSnapshotsKey + keyName(deviceName));
    return key && key->writeNumber(kAverageFrames, static_cast<std::uint32_t>(frames)) ==
                      RegistryStatus::Ok;
}

PictureFormat loadSnapshotFormat(const RegistryStore& store, const std::string& deviceName) {
    const auto key = store.openKey(kSnapshotsKey + keyName(deviceName));
    if (!key) return PictureFormat::Jpeg;
    const RegistryValue<std::uint32_t> value = key->readNumber(kFormat);
    if (!value.ok()) return PictureFormat::Jpeg;
    switch (value.value) {
        case 1:
            return PictureFormat::Png;
        case 2:
            return PictureFormat::Tiff;
        default:
            return PictureFormat::Jpeg;
    }
}

bool saveSnapshotFormat(const RegistryStore& store, const std::string& deviceName,
                        PictureFormat format) {
    const std::uint32_t number = format == PictureFormat::Png    ? 1
                                 : format == PictureFormat::Tiff ? 2
                                                                 : 0;
    const auto key = store.createKey(kSnapshotsKey + keyName(deviceName));
    return key && key->writeNumber(kFormat, number) == RegistryStatus::Ok;
}

bool loadFlatFieldOn(const RegistryStore& store, const std::string& deviceName) {
    const auto key = store.openKey(kSnapshotsKey + keyName(deviceName));
    if (!key) return false;
    const RegistryValue<std::uint32_t> value = key->readNumber(kFlatField);
    return value.ok() && value.value != 0;
}

bool saveFlatFieldOn(const RegistryStore& store, const std::string& deviceName, bool on) {
    const auto key = store.createKey(kSnapshotsKey + keyName(deviceName));
    return key && key->writeNumber(kFlatField, on ? 1 : 0) == RegistryStatus::Ok;
}

}  // namespace qelvo
