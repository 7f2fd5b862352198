#pragma once

#include "media/MediaComponent.h"
#include "media/MediaResult.h"

class QWidget;

namespace qelvo {

// Shows the source's settings pages in a modal dialog at (30, 30) over `owner`, without a
// caption of its own, and returns when it closes.  Changes take effect in the device at
// once.  A camera's controls are kept per camera and sent again when it next opens
// (devices/CameraControlAccess.h); the colour-control page stores nothing.  NoInterface when
// the source has no pages (devices/DeviceSettings.h), an empty handle included.
MediaResult showDeviceSettings(QWidget* owner, const MediaComponent& source);

}  // namespace qelvo
