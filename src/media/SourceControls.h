#pragma once

#include "media/MediaComponent.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qelvo {

// The device a source component streams from, as its settings and camera controls find it.
struct SourceDevice {
    std::string deviceName;
    bool isVirtual = false;
    // Virtual devices: they simulate a typical camera's controls (the "controls" option).
    bool simulatesCameraControls = false;
    // Cameras: the V4L2 node the source streams from; empty for other sources.
    std::string devicePath;
};

// The device behind a source component; nothing for an empty handle or another component.
std::optional<SourceDevice> sourceDevice(const MediaComponent& source);

// The picture controls a source's own elements offer: the colour channels (brightness,
// contrast, ...) of a camera or of a virtual device, and a virtual device's test pattern and
// its movement.  Every change reaches the stream at once.  GUI thread.  Channels are looked
// up by label at every call: a camera that closes forgets its channels, and a call for a
// channel that is gone does nothing.  An object for another component offers nothing.
class SourcePictureControls {
public:
    explicit SourcePictureControls(MediaComponent source);

    struct Channel {
        std::string label;
        int minimum = 0;
        int maximum = 0;
    };
    // In the device's order; empty when it offers none (a camera lists them once opened).
    std::vector<Channel> channels() const;
    std::optional<int> channelValue(const std::string& label) const;
    void setChannelValue(const std::string& label, int value);

    // Virtual devices only: the test pattern (its names and values in the element's order;
    // none where the device shows a specimen instead) and the horizontal movement of the
    // pattern or specimen in pixels per frame.
    bool hasPattern() const;
    std::vector<std::pair<std::string, int>> patterns() const;
    int pattern() const;
    void setPattern(int value);
    bool hasMotion() const;
    int motion() const;
    void setMotion(int pixelsPerFrame);

private:
    MediaComponent source_;
};

}  // namespace qelvo
