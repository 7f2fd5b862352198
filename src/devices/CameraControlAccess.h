#pragma once

#include "devices/CameraControlBackend.h"
#include "media/MediaComponent.h"

#include <memory>
#include <optional>
#include <string>

namespace qelvo {

// A source's camera controls and the identity its chosen values are kept under.
struct CameraControlSource {
    std::shared_ptr<CameraControlBackend> backend;
    std::string identity;
};

// The controls of a V4L2 camera source (a second handle on its device node) or of a virtual
// device that simulates a camera's controls; nothing for other sources or a device that
// cannot be opened.
std::optional<CameraControlSource> cameraControlSource(const MediaComponent& source);

// Sends the values kept for the source's camera to it (fitted to each control's range and
// step; controls the camera lacks are skipped).  Called when a graph takes the source, so
// a camera opens with the settings chosen for it last time.  A camera that refuses a value
// is reported once on standard error; nothing else happens.
void applyStoredCameraControls(const MediaComponent& source);

}  // namespace qelvo
