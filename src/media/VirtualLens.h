#pragma once

#include <string>

namespace qelvo {

// The simulated lens of a virtual device that shows a specimen: its camera controls move it
// (any thread), and the device's picture follows from the next frame on.  The lens belongs to
// the device name, like the simulated controls, so it keeps its place while the device is
// closed and opened again.  Until a control is set the lens focuses by itself and looks at the
// middle of the specimen.
enum class VirtualLensControl { AutoFocus, Focus, Pan, Tilt };

// `value` within `minimum`..`maximum`, the control's range (AutoFocus: 0 off, else on).
void setVirtualLensControl(const std::string& deviceName, VirtualLensControl control, int value,
                           int minimum, int maximum);

}  // namespace qelvo
