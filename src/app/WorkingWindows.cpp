#include "app/WorkingWindows.h"

#include "manage/ImageManagementWindow.h"

namespace qelvo {

// The multi-view display window is not part of this build yet: its opener returns at once,
// so the launcher's stop-timer / folder-check / rescan sequence around it still runs.
WorkingWindowOpeners programWorkingWindows() {
    return {
        [](QWidget*, bool) {},
        [](QWidget* launcher, bool hd) {
            ImageManagementWindow window(launcher, hd);
            window.exec();
        },
    };
}

}  // namespace qelvo
