#include "devices/CameraControls.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QImage>
#include <QSpinBox>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>

#include "devices/CameraControlAccess.h"
#include "devices/CameraControlStore.h"
#include "devices/CameraIdentity.h"
#include "devices/DeviceSettings.h"
#include "devices/SimulatedCameraControls.h"
#include "media/MediaDevices.h"
#include "media/MediaTestSupport.h"
#include "support/CameraControlRows.h"
#include "support/TempFolder.h"
#include "support/VirtualCameras.h"
#include "widgets/DeviceSettingsDialog.h"

namespace qelvo {
namespace {

using test::controlRowName;
using test::TempFolder;

bool inactive(const CameraControls& controls, std::uint32_t id) {
    return controls.find(id)->info.has(CameraControlFlag::Inactive);
}

TEST(CameraControls, ModesComeFirstAndTheirManualControlsFollowThem) {
    SimulatedCameraControls device;
    CameraControls controls(device);
    controls.load();
    ASSERT_EQ(controls.controls().size(), 18u);
    EXPECT_TRUE(controls.controls().front().isHeading());
    EXPECT_EQ(controls.find(V4L2_CID_POWER_LINE_FREQUENCY)->info.menu.size(), 3u);
    EXPECT_EQ(controls.find(V4L2_CID_CONTRAST)->value, 32);

    // Switching an automatic mode off hands its manual control to the operator at once.
    EXPECT_TRUE(inactive(controls, V4L2_CID_WHITE_BALANCE_TEMPERATURE));
    std::string error;
    ASSERT_TRUE(controls.set(V4L2_CID_AUTO_WHITE_BALANCE, 0, error)) << error;
    EXPECT_FALSE(inactive(controls, V4L2_CID_WHITE_BALANCE_TEMPERATURE));
    ASSERT_TRUE(controls.set(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL, error)) << error;
    EXPECT_FALSE(inactive(controls, V4L2_CID_EXPOSURE_ABSOLUTE));
    ASSERT_TRUE(controls.set(V4L2_CID_EXPOSURE_ABSOLUTE, 900, error)) << error;
    ASSERT_TRUE(controls.set(V4L2_CID_FOCUS_AUTO, 1, error));
    EXPECT_TRUE(inactive(controls, V4L2_CID_FOCUS_ABSOLUTE));

    // Kept values: "Focus, Absolute" comes before its automatic mode in the driver's order,
    // yet it is sent after the mode lets it through.  Out-of-range values are fitted first.
    std::vector<std::pair<std::uint32_t, std::int32_t>> chosen;
    controls.onChosen = [&](std::uint32_t id, std::int32_t v) { chosen.emplace_back(id, v); };
    const std::map<std::uint32_t, std::int32_t> stored = {
        {V4L2_CID_FOCUS_ABSOLUTE, 103},
        {V4L2_CID_FOCUS_AUTO, 0},
        {V4L2_CID_BRIGHTNESS, 500},
        {V4L2_CID_WHITE_BALANCE_TEMPERATURE, 3004},
        {V4L2_CID_POWER_LINE_FREQUENCY, 9},
        {V4L2_CID_EXPOSURE_AUTO, 2},
        {0x00981234, 7},  // a control this camera does not have
    };
    ASSERT_TRUE(controls.applyStored(stored, error)) << error;
    EXPECT_EQ(device.value(V4L2_CID_FOCUS_AUTO), 0);
    EXPECT_EQ(device.value(V4L2_CID_FOCUS_ABSOLUTE), 105);
    EXPECT_EQ(device.value(V4L2_CID_BRIGHTNESS), 64);
    EXPECT_EQ(device.value(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 3000);
    EXPECT_EQ(device.value(V4L2_CID_POWER_LINE_FREQUENCY), 2);
    // Menu item 2 is not offered: the nearest offered item is taken.
    EXPECT_NE(device.value(V4L2_CID_EXPOSURE_AUTO), 2);
    EXPECT_TRUE(chosen.empty()) << "restoring is not a new choice";
    for (const auto& [id, value] : device.writes()) {
        const CameraControlInfo& info = controls.find(id)->info;
        EXPECT_GE(value, info.minimum) << info.name;
        EXPECT_LE(value, info.maximum) << info.name;
    }

    // Defaults: every control back, modes before the manual controls they free.
    ASSERT_TRUE(controls.resetToDefaults(error)) << error;
    for (const CameraControl& c : controls.controls()) {
        if (!c.isHeading() && !c.info.has(CameraControlFlag::Inactive)) {
            EXPECT_EQ(c.value, c.info.defaultValue) << c.info.name;
        }
    }
    EXPECT_TRUE(inactive(controls, V4L2_CID_EXPOSURE_ABSOLUTE));
    EXPECT_FALSE(chosen.empty());
}

TEST(CameraControls, FittingKeepsValuesInRangeOnStepAndOnOfferedItems) {
    CameraControlInfo info;
    info.minimum = 3;
    info.maximum = 2046;
    info.step = 4;
    EXPECT_EQ(CameraControls::fit(info, -100), 3);
    EXPECT_EQ(CameraControls::fit(info, 4), 3);
    EXPECT_EQ(CameraControls::fit(info, 6), 7);
    EXPECT_EQ(CameraControls::fit(info, 99999), 2043);  // the last value on the step
    info.type = CameraControlType::Boolean;
    info.minimum = 0;
    info.maximum = 1;
    EXPECT_EQ(CameraControls::fit(info, 7), 1);
    info.type = CameraControlType::Menu;
    info.maximum = 3;
    info.menu = {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}};
    EXPECT_EQ(CameraControls::fit(info, 0), 1);
    EXPECT_EQ(CameraControls::fit(info, 100), 3);

    // A driver's range and step at the 64-bit limits: no overflow, and the value stays in
    // what a 32-bit control can hold.
    info = {};
    info.minimum = std::numeric_limits<std::int64_t>::min();
    info.maximum = std::numeric_limits<std::int64_t>::max();
    info.step = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(CameraControls::fit(info, 5), std::numeric_limits<std::int32_t>::min());
    info.minimum = -10;
    info.step = 3;
    EXPECT_EQ(CameraControls::fit(info, std::numeric_limits<std::int64_t>::max()),
              std::numeric_limits<std::int32_t>::max() - 2);  // -10 + 3k
}

TEST(CameraControlStore, ValuesChosenInThePageComeBackWhenTheCameraOpensAgain) {
    TempFolder registry;
    ::setenv("QELVO_REGISTRY_DIR", registry.path().c_str(), 1);
    MediaComponent source;
    const auto device = test::virtualDevice("Round Trip Cam{controls}");
    ASSERT_TRUE(bindVideoInput(device, source));
    ASSERT_TRUE(hasSettingsPages(source));

    QTimer::singleShot(0, [] {
        auto* page = QApplication::activeModalWidget();
        ASSERT_NE(page, nullptr);
        page->findChild<QSpinBox*>(controlRowName(V4L2_CID_BRIGHTNESS) + "-value")->setValue(-20);
        page->findChild<QCheckBox*>(controlRowName(V4L2_CID_AUTO_WHITE_BALANCE))->setChecked(false);
        page->findChild<QSpinBox*>(controlRowName(V4L2_CID_WHITE_BALANCE_TEMPERATURE) + "-value")
            ->setValue(3200);
        static_cast<QDialog*>(page)->accept();
    });
    ASSERT_TRUE(showDeviceSettings(nullptr, source));

    // Unplugged and plugged in again: the camera is back at its own defaults.
    auto camera = simulatedCameraControlsOf("Round Trip Cam");
    std::string error;
    ASSERT_TRUE(camera->set(V4L2_CID_AUTO_WHITE_BALANCE, 1, error));
    ASSERT_TRUE(camera->set(V4L2_CID_BRIGHTNESS, 0, error));
    MediaComponent reopened;
    ASSERT_TRUE(bindVideoInput(device, reopened));
    applyStoredCameraControls(reopened);
    EXPECT_EQ(camera->value(V4L2_CID_BRIGHTNESS), -20);
    EXPECT_EQ(camera->value(V4L2_CID_AUTO_WHITE_BALANCE), 0);
    EXPECT_EQ(camera->value(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 3200);

    // A hand-edited store with a value far out of range is fitted, never sent raw.
    const CameraControlStore store(RegistryStore(), "Round Trip Cam @virtual");
    ASSERT_TRUE(store.save(V4L2_CID_BRIGHTNESS, -100000));
    applyStoredCameraControls(reopened);
    EXPECT_EQ(camera->value(V4L2_CID_BRIGHTNESS), -64);
    for (const auto& [id, value] : camera->writes()) {
        if (id == V4L2_CID_BRIGHTNESS) {
            EXPECT_GE(value, -64);
        }
    }

    // A kept value the camera refuses is named once, not at every graph build.
    camera->refuseWrites(V4L2_CID_BRIGHTNESS);
    ::testing::internal::CaptureStderr();
    applyStoredCameraControls(reopened);
    applyStoredCameraControls(reopened);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
    ::unsetenv("QELVO_REGISTRY_DIR");
}

TEST(CameraIdentity, SerialOrBusPositionFromSysfsElseTheNode) {
    TempFolder sys;
    namespace fs = std::filesystem;
    const fs::path usb = sys.path() + "/devices/pci0000:00/usb1/1-1.2";
    fs::create_directories(usb / "1-1.2:1.0");
    std::ofstream(usb / "1-1.2:1.0/bInterfaceNumber") << "00\n";
    fs::create_directories(sys.path() + "/class/video4linux/video0");
    fs::create_directory_symlink(usb / "1-1.2:1.0",
                                 sys.path() + "/class/video4linux/video0/device");
    EXPECT_EQ(cameraIdentity("Scope", "/dev/video0", sys.path()), "Scope @1-1.2");
    std::ofstream(usb / "serial") << "SN0042\n";
    EXPECT_EQ(cameraIdentity("Scope", "/dev/video0", sys.path()), "Scope #SN0042");
    EXPECT_EQ(cameraIdentity("Scope", "/dev/video7", sys.path()), "Scope @/dev/video7");
    // A capture card on PCI has ':' in its name too, but it is the device itself.
    const fs::path card = sys.path() + "/devices/pci0000:00/0000:03:00.0";
    fs::create_directories(card);
    fs::create_directories(sys.path() + "/class/video4linux/video1");
    fs::create_directory_symlink(card, sys.path() + "/class/video4linux/video1/device");
    EXPECT_EQ(cameraIdentity("Card", "/dev/video1", sys.path()), "Card @0000:03:00.0");
    // A serial that would make the key look like one of the store's value files.
    const CameraControlStore odd(RegistryStore(sys.path() + "/reg"), "Scope #A.value");
    EXPECT_TRUE(odd.save(V4L2_CID_BRIGHTNESS, 5));
    EXPECT_EQ(odd.load({V4L2_CID_BRIGHTNESS}).size(), 1u);

    // Separators in an identity stay inside one key.
    const CameraControlStore store(RegistryStore(sys.path()), "A/../B\\C");
    EXPECT_EQ(store.keyPath().substr(store.keyPath().rfind('\\') + 1), "A_.._B_C");

    // Something that is not a video device gives a clear failure, not a backend.
    std::string error;
    EXPECT_EQ(openV4l2ControlBackend("/dev/null", error), nullptr);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(openV4l2ControlBackend(sys.path() + "/missing", error), nullptr);
}

TEST(SimulatedCameraControls, FocusAndPanMoveTheLensOfAVirtualSpecimen) {
    // Stripes one pixel wide: sharp they alternate, blurred they turn grey.
    TempFolder dir;
    QImage stripes(640, 480, QImage::Format_RGB888);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            const int v = ((x / 3 + y / 5) % 2) ? 230 : 30;
            stripes.setPixel(x, y, qRgb(v, v, v));
        }
    const std::string path = dir.path() + "/stripes.png";
    ASSERT_TRUE(stripes.save(QString::fromStdString(path)));
    test::GrabbedDevice device("Lens Cam{specimen=" + path +
                               ",size=160x120,controls,motion=0,overlay=0,live=0}");
    ASSERT_TRUE(device.ok());
    auto contrast = [](const std::vector<std::uint8_t>& frame) {
        double sum = 0;
        for (std::size_t i = 3; i < frame.size(); i += 3) sum += std::abs(frame[i] - frame[i - 3]);
        return sum / (frame.size() / 3);
    };
    const std::vector<std::uint8_t> sharp = device.nextFrame();
    ASSERT_FALSE(sharp.empty());
    const auto controls = simulatedCameraControlsOf("Lens Cam");
    std::string error;
    // Manual focus at 0, half the range from the sharp middle.
    ASSERT_TRUE(controls->set(V4L2_CID_FOCUS_AUTO, 0, error)) << error;
    EXPECT_LT(contrast(device.nextFrame()), contrast(sharp) * 0.3);
    ASSERT_TRUE(controls->set(V4L2_CID_FOCUS_ABSOLUTE, 125, error)) << error;
    EXPECT_EQ(device.nextFrame(), sharp);
    ASSERT_TRUE(controls->set(V4L2_CID_PAN_ABSOLUTE, 3600, error)) << error;
    EXPECT_NE(device.nextFrame(), sharp);
    ASSERT_TRUE(controls->set(V4L2_CID_PAN_ABSOLUTE, 0, error)) << error;
    EXPECT_EQ(device.nextFrame(), sharp);
}

}  // namespace
}  // namespace qelvo
