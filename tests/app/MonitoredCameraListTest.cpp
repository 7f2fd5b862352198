// The launcher's list over the system's device list: cameras of any video source provider
// the device monitor knows are listed by the same rules, and plugging one in or pulling it
// out shows at the next rescan.
#include "app/LauncherWindow.h"
#include "platform/SessionState.h"
#include "support/TestCameraProvider.h"

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
    const fs::path base = fs::temp_directory_path() / "qelvo-monitored-list";
    fs::remove_all(base);
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
    fs::remove_all(base);
}

}  // namespace
}  // namespace qelvo
