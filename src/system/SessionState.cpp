#include "system/SessionState.h"

#include <mutex>

namespace qelvo {
namespace {

std::string& deviceName() {
    static std::string name;
    return name;
}

std::string& folder() {
    static std::string path;
    return path;
}

std::mutex& folderMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

const std::string& selectedDeviceName() {
    return deviceName();
}
void setSelectedDeviceName(const std::string& name) {
    deviceName() = cutUtf8(name, kDeviceNameMaxBytes);
}

const std::string& storageFolder() {
    return folder();
}
void setStorageFolder(const std::string& path) {
    std::lock_guard lock(folderMutex());
    folder() = path;
}
std::string storageFolderCopy() {
    std::lock_guard lock(folderMutex());
    return folder();
}

std::string cutUtf8(const std::string& text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    // Step back over continuation bytes so the cut lands on a character boundary.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

}  // namespace qelvo
