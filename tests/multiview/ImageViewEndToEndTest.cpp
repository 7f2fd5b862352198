// From the launcher's IMAGE VIEW into the multi-view window and back, with a virtual camera
// whose hardware button (its still output) is pressed from outside by the press tool.
#include "app/LauncherWindow.h"
#include "app/WorkingWindows.h"
#include "capture/Pacing.h"
#include "desktop/LiveTarget.h"
#include "desktop/ScriptedDialogs.h"
#include "media/DeviceCatalogue.h"
#include "multiview/MultiViewWindow.h"
#include "multiview/ViewCycle.h"
#include "multiview/ViewPane.h"
#include "support/PressTool.h"
#include "support/TempFolder.h"
#include "support/WaitUntil.h"
#include "system/Clock.h"
#include "system/SessionState.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>

namespace qelvo {
namespace {

using test::runPressTool;
using test::waitUntil;

TEST(ImageViewEndToEndTest, HardwareButtonFillsThePanesAndClosingResumesTheLauncher) {
    test::TempFolder dir;
    const std::string root = dir / "QELVO-LAB";
    const std::string device = "Image View Camera";
    ::setenv("QELVO_VIRTUAL_DEVICES", (device + "{fps=15,still}").c_str(), 1);
    ::setenv("QELVO_REGISTRY_DIR", (dir / "registry").c_str(), 1);
    ::setenv("QELVO_RUNTIME_DIR", (dir / "run").c_str(), 1);
    auto previousClock = setClock(std::make_unique<FixedClock>(LocalTime{2026, 5, 6, 7, 8, 9}));
    auto previousDialogs = setDialogs(std::make_unique<ScriptedDialogs>());
    setPacingPause(std::chrono::milliseconds(5));

    LauncherWindow launcher(makeSystemDeviceCatalogue(), programWorkingWindows(),
                            StorageLocations{root, dir / "home"});
    launcher.show();
    ASSERT_EQ(selectedDeviceName(), device);

    bool opened = false, rescanStopped = false, filled = false;
    std::string folderInside;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<MultiViewWindow*>(QApplication::activeModalWidget());
        if (!window) return;
        opened = true;
        rescanStopped = !launcher.rescanTimer().isActive();
        folderInside = storageFolder();
        window->applyLayout(2);
        waitUntil([&] { return window->pane(0)->surface()->paintedFrames() > 0; });
        // Each press is one still frame: one snapshot-frame message, one pane frozen.
        for (int press = 0; press < 2; ++press) {
            if (runPressTool(device) != 0) break;
            waitUntil([&] { return window->cycle().picture(press).holdsPicture(); });
        }
        filled = window->cycle().picture(0).holdsPicture() &&
                 window->cycle().picture(1).holdsPicture() && window->cycle().frozen();
        qobject_cast<QAbstractButton*>(window->findChild<QWidget*>("2"))->click();
    });
    launcher.openImageView();

    EXPECT_TRUE(opened);
    EXPECT_TRUE(rescanStopped);
    EXPECT_EQ(folderInside, root + "/20260506");
    EXPECT_TRUE(filled);
    EXPECT_EQ(storageFolder(), root);  // the launcher took the folder back
    EXPECT_TRUE(launcher.rescanTimer().isActive());

    setDialogs(std::move(previousDialogs));
    setClock(std::move(previousClock));
    ::unsetenv("QELVO_VIRTUAL_DEVICES");
}

}  // namespace
}  // namespace qelvo
