#pragma once

#include "media/MediaComponent.h"

namespace qelvo {

// Whether a source component has settings pages (its own controls: a camera's V4L2 controls,
// a virtual device's pattern and picture controls or its simulated camera controls).  The
// pages themselves are shown by showDeviceSettings (widgets/DeviceSettingsDialog.h).
bool hasSettingsPages(const MediaComponent& source);

}  // namespace qelvo
