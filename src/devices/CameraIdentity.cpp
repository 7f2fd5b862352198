#include "devices/CameraIdentity.h"

#include <filesystem>
#include <fstream>

namespace qelvo {
namespace {

namespace fs = std::filesystem;

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    if (!in) return {};
    // Only the start is read: an attribute is short, and a file that is not must not be
    // loaded whole.
    char start[256];
    in.read(start, sizeof start);
    std::string line(start, static_cast<std::size_t>(in.gcount()));
    line = line.substr(0, line.find('\n'));
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
        // and the bus position belong to the USB device above it ("1-1.2").  Other buses
        // use ':' in their names too ("0000:03:00.0"), so the interface is known by its
        // interface number.
        const bool usbInterface = fs::exists(device / "bInterfaceNumber", error);
        const fs::path usb = usbInterface ? device.parent_path() : device;
        const std::string serial = firstLine(usb / "serial");
        if (!serial.empty()) return friendlyName + " #" + serial;
        return friendlyName + " @" + usb.filename().string();
    }
    return friendlyName + " @" + node.string();
}

}  // namespace qelvo
