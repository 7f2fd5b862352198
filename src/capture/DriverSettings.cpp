#include "capture/DriverSettings.h"

#include <string>

#include "simulated/RegistryDriverKeys.h"

namespace qelvo {
namespace {

// The driver's texts are read into 512-byte buffers; a longer text does not fit and counts
// as unreadable.
constexpr std::size_t kTextBufferBytes = 512;

bool readableText(const RegistryValue<std::string>& text) {
    return text.ok() && text.value.size() < kTextBufferBytes;
}

bool isAcceptedDescription(const std::string& text) {
    for (const char* accepted : kMicroscopeDriverDescriptions)
        if (text == accepted) return true;
    return false;
}

}  // namespace

int DriverSettings::findDriverSettingsKey() const {
    for (int index = 0; index < kDriverKeyCount; ++index) {
        auto device = store_.openKey(driverDeviceKeyPath(index));
        if (!device) return -1;  // keys are numbered without gaps
        if (!readableText(device->readText("DriverVersion"))) continue;
        auto description = device->readText("DriverDesc");
        if (!readableText(description) || !isAcceptedDescription(description.value)) continue;
        auto settings = store_.openKey(driverSettingsKeyPath(index));
        if (!settings) continue;
        auto active = settings->readNumber("USBActive");
        if (active.ok() && active.value != 0) return index;
    }
    return -1;
}

int DriverSettings::pollDriverSnapshotState(int index) const {
    const std::string path = driverSettingsKeyPath(index);
    if (path.empty()) return 0;
    auto settings = store_.openKey(path);
    if (!settings) return 0;
    auto active = settings->readNumber("USBActive");
    if (!active.ok() || active.value == 0) return 0;
    auto state = settings->readNumber("SnapShotState");
    if (!state.ok() || state.value != kSnapShotPending) return 0;
    // Only a press that was answered counts: were the answer lost, the same press would be
    // taken again at every tick.
    return settings->writeNumber("SnapShotState", kSnapShotTaken) == RegistryStatus::Ok ? 1 : 0;
}

}  // namespace qelvo
