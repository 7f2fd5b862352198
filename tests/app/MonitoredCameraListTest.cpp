// The launcher's list over the system's device list: cameras of any video source provider
// the device monitor knows are listed by the same rules, and plugging one in or pulling it
// out shows at the next rescan.
#include "app/LauncherWindow.h"
#include "media/DeviceCatalogue.h"
#include "support/TempFolder.h"
#include "support/TestCameraProvider.h"
#include "system/SessionState.h"

#include <gtest/gtest.h>
#include <QComboBox>

#include <cstdlib>
#include <filesystem>

namespace qelvo {
namespace {

namespace fs = std::filesystem;
using test::TestCameraKind;

QStringList listed(const LauncherWindow& w) {
    QStringList items;
    for (int i = 0; i < w.deviceList()->count(); ++i) items << w.deviceList()->itemText(i);
    return items;
}

TEST(MonitoredCameraListTest, ProviderCamerasFollowTheListRulesAndHotPlugWithinOneRescan) {
    ::unsetenv("QELVO_VIRTUAL_DEVICES");
    test::registerTestCameraProvider();
    const test::TempFolder folder;
    const fs::path base = folder.path();
    fs::create_directories(base / "home");
    setSelectedDeviceName("");
    test::plugTestCamera({"Provider Cam A", TestCameraKind::Raw});
    test::plugTestCamera({"Inspection Microscope.2 (provider)", TestCameraKind::Raw});
    test::plugTestCamera({"Provider Cam A", TestCameraKind::MotionJpeg});

    LauncherWindow w(makeSystemDeviceCatalogue(), {},
                     StorageLocations{(base / "QELVO-LAB").string(), (base / "home").string()});
    QStringList items = listed(w);
    EXPECT_EQ(items.count("Provider Cam A"), 2) << "duplicate names are both listed";
    EXPECT_FALSE(items.contains("Inspection Microscope.2 (provider)"));
    EXPECT_FALSE(w.deviceList()->isHidden());

    test::plugTestCamera({"Provider Cam B", TestCameraKind::Raw});
    w.rescanDevices();
    EXPECT_TRUE(listed(w).contains("Provider Cam B"));

    test::unplugTestCamera("Provider Cam A");
    w.rescanDevices();
    items = listed(w);
    EXPECT_FALSE(items.contains("Provider Cam A"));
    EXPECT_TRUE(items.contains("Provider Cam B"));

    test::unplugAllTestCameras();
    w.rescanDevices();
    EXPECT_FALSE(listed(w).contains("Provider Cam B"));
}

// The catalogue keeps the device monitor running between listings; a provider that cannot
// announce hot-plug is asked afresh each time, and no camera is listed twice.
TEST(MonitoredCameraListTest,
     CamerasOfProvidersWithAndWithoutHotPlugEventsAreListedOnceAndCurrent) {
    ::unsetenv("QELVO_VIRTUAL_DEVICES");
    test::registerTestCameraProvider();
    test::plugTestCamera({"Watched Cam", TestCameraKind::Raw});
    test::plugTestCamera({"Probed Cam 1", TestCameraKind::Raw, 320, 240, 30, true});
    auto catalogue = makeSystemDeviceCatalogue();
    const auto names = [&] {
        QStringList items;
        for (const VideoInputDevice& d : catalogue->videoInputs())
            if (d.monitored) items << QString::fromStdString(d.friendlyName);
        return items;
    };
    QStringList items = names();
    EXPECT_EQ(items.count("Watched Cam"), 1) << items.join("|").toStdString();
    EXPECT_EQ(items.count("Probed Cam 1"), 1) << items.join("|").toStdString();

    test::plugTestCamera({"Probed Cam 2", TestCameraKind::Raw, 320, 240, 30, true});
    test::plugTestCamera({"Watched Cam 2", TestCameraKind::Raw});
    items = names();
    for (const char* name : {"Watched Cam", "Watched Cam 2", "Probed Cam 1", "Probed Cam 2"})
        EXPECT_EQ(items.count(name), 1) << name << ": " << items.join("|").toStdString();

    test::unplugTestCamera("Probed Cam 1");
    test::unplugTestCamera("Watched Cam");
    items = names();
    EXPECT_FALSE(items.contains("Probed Cam 1"));
    EXPECT_FALSE(items.contains("Watched Cam"));
    EXPECT_EQ(items.count("Probed Cam 2"), 1);
    test::unplugAllTestCameras();
}

}  // namespace
}  // namespace qelvo
