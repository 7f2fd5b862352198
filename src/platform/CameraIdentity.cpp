#include "platform/CameraIdentity.h"

#include <filesystem>
#include <fstream>

namespace qelvo {
namespace {

namespace fs = std::filesystem;

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line)) return {};
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t'))
        line.pop_back();
    return line.substr(0, 128);
}

}  // namespace

std::string cameraIdentity(const std::string& friendlyName, const std::string& devicePath,
                           const std::string& sysfsRoot) {
    std::error_code error;
    // A /dev/v4l/by-id link names the same node as /dev/videoN.
    fs::path node = fs::canonical(devicePath, error);
    if (error) node = devicePath;
    const fs::path device = fs::canonical(
        fs::path(sysfsRoot) / "class/video4linux" / node.filename() / "device", error);
    if (!error) {
        // A USB camera's video node hangs off one interface ("1-1.2:1.0"); the serial number
        // and the bus position belong to the USB device above it ("1-1.2").
        const bool usbInterface = device.filename().string().find(':') != std::string::npos;
        const fs::path usb = usbInterface ? device.parent_path() : device;
        const std::string serial = firstLine(usb / "serial");
        if (!serial.empty()) return friendlyName + " #" + serial;
        return friendlyName + " @" + usb.filename().string();
    }
    return friendlyName + " @" + node.string();
}

}  // namespace qelvo
