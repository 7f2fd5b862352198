#pragma once

#include <QRect>
#include <vector>

namespace qelvo {

// The display devices in the platform's order, each with its desktop position and size.
// Never empty while a GUI application runs: without screens it answers one 1024 x 768 area.
std::vector<QRect> displayDevices();

}  // namespace qelvo
