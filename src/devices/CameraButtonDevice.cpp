#include "devices/CameraButtonDevice.h"

#include "devices/InputEventDecoder.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <sstream>
#include <vector>

namespace qelvo {
namespace {

namespace fs = std::filesystem;

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::vector<fs::path> childrenStartingWith(const fs::path& folder, const std::string& prefix) {
    std::vector<fs::path> found;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (startsWith(it->path().filename().string(), prefix)) found.push_back(it->path());
    std::sort(found.begin(), found.end());
    return found;
}

// The first line of a small attribute file.  Only regular files are opened, and only their
// first bytes are read: a pipe or device node in a damaged or fake tree would block the GUI
// thread or never end.  The kernel's attribute files are regular and at most a page long.
bool readAttributeLine(const fs::path& file, std::string& line) {
    constexpr std::size_t kMaxAttributeBytes = 4096;
    std::error_code error;
    if (!fs::is_regular_file(file, error)) return false;
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    line.resize(kMaxAttributeBytes);
    in.read(line.data(), std::streamsize(line.size()));
    line.resize(std::size_t(in.gcount()));
    line.erase(std::min(line.find('\n'), line.size()));
    return !line.empty();
}

// Whether the input device's "capabilities/key" bitmap (hexadecimal words of the kernel's
// long, most significant first, separated by spaces) has the camera key.  A bitmap that
// cannot be read does not rule the device out.
bool mayReportCameraKey(const fs::path& inputDevice) {
    std::string line;
    if (!readAttributeLine(inputDevice / "capabilities" / "key", line)) return true;
    std::vector<std::string> words;
    std::istringstream split(line);
    for (std::string word; split >> word;) words.push_back(word);
    constexpr std::size_t kBitsPerWord = sizeof(long) * CHAR_BIT;
    const std::size_t wordIndex = kCameraKeyCode / kBitsPerWord;  // counted from the right
    if (wordIndex >= words.size()) return false;
    const std::string& word = words[words.size() - 1 - wordIndex];
    unsigned long long bits = 0;
    try {
        bits = std::stoull(word, nullptr, 16);
    } catch (...) {
        return true;
    }
    return (bits >> (kCameraKeyCode % kBitsPerWord)) & 1u;
}

bool isUsbDevice(const fs::path& folder) {
    std::error_code error;
    return fs::exists(folder / "idVendor", error);
}

}  // namespace

ButtonDeviceLookup findCameraButtonDevice(const std::string& videoDevicePath,
                                          const DeviceRoots& roots) {
    std::error_code error;
    // /dev/v4l/by-id/... names are links to the /dev/videoN node.
    fs::path video = fs::canonical(videoDevicePath, error);
    if (error) video = videoDevicePath;
    const std::string name = video.filename().string();
    if (!startsWith(name, "video"))
        return {{}, videoDevicePath + " is not a V4L2 video device node"};

    const fs::path link = roots.sysfs / "class" / "video4linux" / name / "device";
    const fs::path parent = fs::canonical(link, error);
    if (error) return {{}, "no device entry for " + name + " in " + link.parent_path().string()};
    // The video device hangs off a USB interface ("1-2:1.0") of the USB device ("1-2"); a
    // driver may also attach it to the USB device directly.
    const fs::path usbDevice = isUsbDevice(parent) ? parent : parent.parent_path();
    if (!isUsbDevice(usbDevice)) return {{}, name + " is not a USB device"};

    std::vector<fs::path> holders{usbDevice};
    for (const fs::path& interface :
         childrenStartingWith(usbDevice, usbDevice.filename().string() + ":"))
        holders.push_back(interface);
    bool sawInput = false;
    for (const fs::path& holder : holders) {
        for (const fs::path& input : childrenStartingWith(holder / "input", "input")) {
            sawInput = true;
            if (!mayReportCameraKey(input)) continue;
            const std::vector<fs::path> events = childrenStartingWith(input, "event");
            if (!events.empty())
                return {(roots.dev / "input" / events.front().filename()).string(), {}};
        }
    }
    return {{},
            sawInput ? "the input devices of " + name + " report no camera key"
                     : name + " has no button input device"};
}

}  // namespace qelvo
