#pragma once

#include "devices/CameraButtonDevice.h"
#include "devices/KeyPressReader.h"

#include <functional>
#include <memory>
#include <string>

namespace qelvo {

// The snapshot button of a V4L2 camera whose driver reports it as the camera key on an
// input device of its own (uvcvideo, the gspca drivers).  Beside the two button polls, for
// cameras they do not cover: each press calls the window's press handler, which raises the
// same snapshot request a poll's press does.  GUI thread only.
class CameraButtonWatch {
public:
    explicit CameraButtonWatch(DeviceRoots roots = {}) : roots_(std::move(roots)) {}

    // The window's handling of a button press.
    void setOnPress(std::function<void()> onPress) { onPress_ = std::move(onPress); }

    // Follows the device the window captures from (its V4L2 path; empty for a virtual
    // device, which has no button to read).  A new device is looked up and its button opened;
    // the same device again keeps its reader.  A device whose button could not be found or
    // opened is not tried again, so the reason is said once; one whose reader closed (the
    // camera was unplugged) is tried again.
    void follow(const std::string& videoDevicePath);

    // Reads presses from an open descriptor of event records instead of a device node.
    void watchDescriptor(int fd, const std::string& name);

    void stop();
    bool isWatching() const { return reader_ && reader_->isOpen(); }

private:
    void onKey(std::uint16_t code);

    DeviceRoots roots_;
    std::function<void()> onPress_;
    std::string followed_;
    std::unique_ptr<KeyPressReader> reader_;
};

}  // namespace qelvo
