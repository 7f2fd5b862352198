#include "app/WorkingWindows.h"

#include "manage/ImageManagementWindow.h"
#include "multiview/MultiViewWindow.h"

namespace qelvo {

WorkingWindowOpeners programWorkingWindows() {
    return {
        [](QWidget* launcher, bool hd) {
            MultiViewWindow window(launcher, hd);
            window.exec();
        },
        [](QWidget* launcher, bool hd) {
            ImageManagementWindow window(launcher, hd);
            window.exec();
        },
    };
}

}  // namespace qelvo
