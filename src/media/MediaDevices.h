#pragma once

#include "media/DeviceCatalogue.h"
#include "media/MediaComponent.h"

#include <string>
#include <vector>

namespace qelvo {

enum class DeviceCategory { VideoInput, VideoCompressor, ReceiverComponent };

// One device of a category, as the system device enumerator lists it.
struct MediaDevice {
    std::string friendlyName;
    DeviceCategory category = DeviceCategory::VideoInput;
    VideoInputDevice input;  // video inputs
    std::string element;     // compressors: the GStreamer element behind the friendly name
};

// The devices of a category in a stable order.  Video inputs come from `catalogue` (the
// system catalogue when null).  Compressors are the installed encoders under their friendly
// names, "ffdshow video encoder" (MPEG-4 part 2) first.  There are no receiver components on
// this platform: that category is always empty.
std::vector<MediaDevice> enumerateDevices(DeviceCategory category,
                                          DeviceCatalogue* catalogue = nullptr);

// Binds a device to its component: a video input to its source, a compressor to an encoder.
MediaResult bindDevice(const MediaDevice& device, MediaComponent& component);
// Binds a video input (V4L2 camera or virtual device) to its source component.
MediaResult bindVideoInput(const VideoInputDevice& device, MediaComponent& source);

// The friendly name of the MPEG-4 encoder.
inline constexpr const char* kMpeg4EncoderName = "ffdshow video encoder";

}  // namespace qelvo
