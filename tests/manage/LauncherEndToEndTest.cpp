// From the launcher into the image management window and back, with a virtual microscope
// whose hardware button is pressed from outside by the press tool.
#include "app/LauncherWindow.h"
#include "app/WorkingWindows.h"
#include "capture/Pacing.h"
#include "capture/SnapshotWriter.h"
#include "desktop/LiveTarget.h"
#include "desktop/ScriptedDialogs.h"
#include "manage/ImageManagementWindow.h"
#include "manage/ThumbnailButton.h"
#include "media/DeviceCatalogue.h"
#include "skin/ControlIdentity.h"
#include "support/PressTool.h"
#include "support/TempFolder.h"
#include "support/TestBitmaps.h"
#include "support/WaitUntil.h"
#include "system/Clock.h"
#include "system/SessionState.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <filesystem>

namespace qelvo {
namespace {

namespace fs = std::filesystem;
using test::runPressTool;
using test::waitUntil;

TEST(LauncherEndToEndTest, HardwareButtonSnapshotScrollsTheStripAndClosingResetsTheFolder) {
    test::TempFolder dir;
    const std::string root = dir / "QELVO-LAB";
    // The launcher does not list the microscope itself; choosing the name it begins with
    // opens it, as the device finder takes the first device whose name begins so.
    const std::string device = "USB2.0 PC Camera (SN9C201)";
    const std::string listed = "USB2.0 PC Camera";
    ::setenv("QELVO_VIRTUAL_DEVICES", (device + "{fps=15};" + listed + "{fps=15}").c_str(), 1);
    ::setenv("QELVO_REGISTRY_DIR", (dir / "registry").c_str(), 1);
    ::setenv("QELVO_RUNTIME_DIR", (dir / "run").c_str(), 1);
    auto previousClock = setClock(std::make_unique<FixedClock>(LocalTime{2026, 5, 6, 7, 8, 9}));
    auto previousDialogs = setDialogs(std::make_unique<ScriptedDialogs>());
    setPacingPause(std::chrono::milliseconds(5));

    // Ten older pictures already in today's folder.
    const std::string day = root + "/20260506";
    fs::create_directories(day);
    for (int i = 0; i < 10; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/20260506-0000%02d.jpg", i);
        ASSERT_TRUE(test::writeJpeg(day + name, 32, 24, QColor(50, 50, 50)));
    }

    LauncherWindow launcher(makeSystemDeviceCatalogue(), programWorkingWindows(),
                            StorageLocations{root, dir / "home"});
    launcher.show();
    ASSERT_EQ(selectedDeviceName(), listed);

    bool opened = false, livePicture = false, pressed = false, scrolled = false;
    std::string folderInside, lastClip;
    QTimer::singleShot(0, [&] {
        auto* window = qobject_cast<ImageManagementWindow*>(QApplication::activeModalWidget());
        if (!window) return;
        opened = true;
        folderInside = storageFolder();
        auto* panel =
            qobject_cast<LiveTarget*>(findControl(window, ImageManagementWindow::kViewPanel));
        livePicture = waitUntil([&] { return panel->paintedFrames() > 0; });
        window->stripBarAction(QAbstractSlider::SliderToMinimum);
        pressed = runPressTool(device) == 0;
        scrolled = waitUntil([&] { return window->strip().pictureCount() == 11; });
        waitForSnapshotWriters();
        lastClip = window->clip(7)->path();
        qobject_cast<QAbstractButton*>(findControl(window, ImageManagementWindow::kClose))->click();
    });
    launcher.openImageManagement();

    EXPECT_TRUE(opened);
    EXPECT_EQ(folderInside, day);
    EXPECT_TRUE(livePicture);
    EXPECT_TRUE(pressed);
    EXPECT_TRUE(scrolled);
    EXPECT_EQ(lastClip, day + "/20260506-070809.jpg");
    EXPECT_TRUE(fs::exists(day + "/20260506-070809.jpg"));
    EXPECT_EQ(storageFolder(), root);  // the launcher took the folder back
    EXPECT_TRUE(launcher.isVisible());

    setDialogs(std::move(previousDialogs));
    setClock(std::move(previousClock));
    ::unsetenv("QELVO_VIRTUAL_DEVICES");
}

}  // namespace
}  // namespace qelvo
