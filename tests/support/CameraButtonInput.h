#pragma once

// What the camera-button tests feed the button code: event records as an event node
// delivers them, and a made-up device tree in which the camera's button is looked for.
#include "devices/CameraButtonDevice.h"
#include "devices/InputEventDecoder.h"
#include "support/TempFolder.h"

#include <linux/input.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace qelvo::test {

using InputBytes = std::vector<std::uint8_t>;

inline InputBytes operator+(InputBytes a, const InputBytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One key event followed by its report marker.  `value` is 1 for a press, 2 for a repeat and
// 0 for a release.
inline InputBytes keyEvent(std::uint16_t code, std::int32_t value) {
    return encodeInputEvent(EV_KEY, code, value) + encodeInputEvent(EV_SYN, SYN_REPORT, 0);
}

// The lines the button code wrote among what else went to standard error.
inline std::vector<std::string> buttonLines(const std::string& said) {
    std::vector<std::string> lines;
    std::istringstream in(said);
    for (std::string line; std::getline(in, line);)
        if (line.rfind("camera button: ", 0) == 0) lines.push_back(line);
    return lines;
}

// A fake device tree: a USB device "1-2" with its video interface "1-2:1.0" (the camera's
// /dev/video2), and the /dev folder its event nodes are named under.
class FakeSysfs {
public:
    FakeSysfs() {
        namespace fs = std::filesystem;
        usbDevice = fs::path(root.path()) / "sys/devices/pci0000:00/usb1/1-2";
        fs::create_directories(usbDevice / "1-2:1.0");
        fs::create_directories(usbDevice / "1-2:1.1");
        write(usbDevice / "idVendor", "0c45");
        fs::create_directories(roots.sysfs / "class/video4linux/video2");
        fs::create_symlink(usbDevice / "1-2:1.0", roots.sysfs / "class/video4linux/video2/device");
    }
    // An input device with its event node under `holder`; `keyCapabilities` as the kernel
    // writes them ("" for no capabilities file).
    void addInput(const std::filesystem::path& holder, const std::string& input,
                  const std::string& event, const std::string& keyCapabilities = {}) {
        std::filesystem::create_directories(holder / "input" / input / event);
        if (!keyCapabilities.empty()) {
            std::filesystem::create_directories(holder / "input" / input / "capabilities");
            write(holder / "input" / input / "capabilities/key", keyCapabilities + "\n");
        }
    }
    static void write(const std::filesystem::path& file, const std::string& text) {
        std::ofstream(file) << text;
    }

    TempFolder root;
    DeviceRoots roots{std::filesystem::path(root.path()) / "sys",
                      std::filesystem::path(root.path()) / "dev"};
    std::filesystem::path usbDevice;
};

// The camera key's bit in the key capabilities, as a 64-bit kernel writes it.
inline const std::string kCameraKeyBits = "100000 0 0 0";
inline const std::string kKeyboardBits = "ffffffff 0";  // keys 0-31 only

}  // namespace qelvo::test
