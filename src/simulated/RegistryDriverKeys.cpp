#include "simulated/RegistryDriverKeys.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "system/Paths.h"

namespace qelvo {
namespace {

constexpr const char* kVirtualMarker = "QelvoVirtualDevice";
constexpr const char* kVirtualDriverVersion = "1.0.0.0";

// Serialises key creation between processes, so two of them never give one device two keys.
class StoreLock {
public:
    explicit StoreLock(const RegistryStore& store) {
        if (!store.createKey("")) return;
        const std::string path = joinPath(store.root(), ".driver-keys.lock");
        fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
            }
        }
    }
    ~StoreLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

enum class Made { Yes, Taken, Failed };

Made writeKeys(const RegistryStore& store, int index, const std::string& description,
               const std::string& friendlyName) {
    const std::string path = driverDeviceKeyPath(index);
    auto device = store.createNewKey(path);
    // Someone outside made this key in the meantime: it is not ours to fill.
    if (!device) return store.openKey(path) ? Made::Taken : Made::Failed;
    // The marker goes first: a key found without it belongs to someone else.
    bool ok = device->writeText(kVirtualMarker, friendlyName) == RegistryStatus::Ok &&
              device->writeText("DriverVersion", kVirtualDriverVersion) == RegistryStatus::Ok &&
              device->writeText("DriverDesc", description) == RegistryStatus::Ok;
    if (ok) {
        auto settings = store.createKey(driverSettingsKeyPath(index));
        ok = settings && settings->writeNumber("SnapShotState", 0) == RegistryStatus::Ok &&
             settings->writeNumber("USBActive", 1) == RegistryStatus::Ok;
    }
    if (ok) return Made::Yes;
    // Leave no half-made key behind for the lookup to stumble over.
    store.deleteKey(path);
    return Made::Failed;
}

}  // namespace

std::string driverDeviceKeyPath(int index) {
    if (index < 0 || index >= kDriverKeyCount) return {};
    char number[8];
    std::snprintf(number, sizeof number, "%04d", index);
    return std::string(kImagingDeviceClassKey) + "\\" + number;
}

std::string driverSettingsKeyPath(int index) {
    const std::string device = driverDeviceKeyPath(index);
    return device.empty() ? device : device + "\\Settings";
}

std::string microscopeDescriptionOf(const std::string& friendlyName) {
    for (const char* description : kMicroscopeDriverDescriptions) {
        const std::string prefix = description;
        if (friendlyName.compare(0, prefix.size(), prefix) == 0) return prefix;
    }
    return {};
}

int findVirtualDriverKeys(const RegistryStore& store, const std::string& friendlyName) {
    for (int index = 0; index < kDriverKeyCount; ++index) {
        auto device = store.openKey(driverDeviceKeyPath(index));
        if (!device) return -1;
        auto marker = device->readText(kVirtualMarker);
        if (marker.ok() && marker.value == friendlyName) return index;
    }
    return -1;
}

int ensureVirtualDriverKeys(const RegistryStore& store, const std::string& friendlyName) {
    const std::string description = microscopeDescriptionOf(friendlyName);
    if (description.empty()) return -1;
    StoreLock lock(store);
    if (!lock.held()) return -1;
    for (int index = 0; index < kDriverKeyCount; ++index) {
        auto device = store.openKey(driverDeviceKeyPath(index));
        if (device) {
            auto marker = device->readText(kVirtualMarker);
            if (marker.ok() && marker.value == friendlyName) return index;
            continue;
        }
        // The first free index: the keys stay numbered without gaps.
        switch (writeKeys(store, index, description, friendlyName)) {
            case Made::Yes:
                return index;
            case Made::Taken:
                continue;
            case Made::Failed:
                return -1;
        }
    }
    return -1;
}

}  // namespace qelvo
