#pragma once

#include "platform/MediaComponent.h"
#include "platform/MediaResult.h"

class QWidget;

namespace qelvo {

// Whether a source component has settings pages (its own controls: a camera's V4L2 colour
// controls, a virtual device's pattern and picture controls).
bool hasSettingsPages(const MediaComponent& source);

// Shows the source's settings pages in a modal dialog at (30, 30) over `owner`, without a
// caption of its own, and returns when it closes.  Changes take effect in the device at
// once; nothing is stored.  NoInterface when the source has no pages.
MediaResult showDeviceSettings(QWidget* owner, const MediaComponent& source);

}  // namespace qelvo
