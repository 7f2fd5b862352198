#pragma once

#include <functional>

class QWidget;

namespace qelvo {

// How the launcher opens its two working windows.  Each opener runs its window modally and
// returns when the window has closed.  `hd` chooses the HD variant.
struct WorkingWindowOpeners {
    std::function<void(QWidget* launcher, bool hd)> imageView;        // multi-view display
    std::function<void(QWidget* launcher, bool hd)> imageManagement;  // image management
};

// The program's own working windows.
WorkingWindowOpeners programWorkingWindows();

}  // namespace qelvo
