#include "capture/CameraButtonWatch.h"

#include <cstdio>

namespace qelvo {

void CameraButtonWatch::follow(const std::string& videoDevicePath) {
    if (videoDevicePath == followed_ && (!reader_ || reader_->isOpen())) return;
    stop();
    followed_ = videoDevicePath;
    if (videoDevicePath.empty()) return;
    const ButtonDeviceLookup found = findCameraButtonDevice(videoDevicePath, roots_);
    if (found.eventNode.empty()) {
        std::fprintf(stderr, "camera button: %s; the camera's own button is not used\n",
                     found.problem.c_str());
        return;
    }
    reader_ = KeyPressReader::open(found.eventNode, [this](std::uint16_t code) { onKey(code); });
}

void CameraButtonWatch::watchDescriptor(int fd, const std::string& name) {
    stop();
    reader_ =
        std::make_unique<KeyPressReader>(fd, name, [this](std::uint16_t code) { onKey(code); });
}

void CameraButtonWatch::stop() {
    reader_.reset();
    followed_.clear();
}

void CameraButtonWatch::onKey(std::uint16_t code) {
    if (code == kCameraKeyCode && onPress_) onPress_();
}

}  // namespace qelvo
