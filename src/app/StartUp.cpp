#include "app/StartUp.h"

#include "app/LauncherWindow.h"

#include <QTimer>

namespace qelvo {

std::string applyStartOptions(LauncherWindow& launcher, const StartOptions& options) {
    if (options.device && !launcher.preselectDevice(*options.device))
        return std::string(kProgramName) + ": the device \"" + *options.device +
               "\" is not attached; choose one in the launcher";
    const StartWindow window = options.startWindow;
    if (window == StartWindow::None) return {};
    // Opened once the launcher's own loop runs, so the window is modal over it as usual.
    QTimer::singleShot(0, &launcher, [&launcher, window] {
        if (window == StartWindow::ImageManagement)
            launcher.openImageManagement();
        else
            launcher.openImageView();
    });
    return {};
}

}  // namespace qelvo
