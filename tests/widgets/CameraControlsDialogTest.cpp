#include "widgets/CameraControlsDialog.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>

#include "desktop/ScriptedDialogs.h"
#include "devices/CameraControls.h"
#include "devices/SimulatedCameraControls.h"
#include "support/CameraControlRows.h"

namespace qelvo {
namespace {

using test::controlRowName;

TEST(CameraControlsDialog, RowsFollowTheDeviceAndAFailureIsShownOnce) {
    auto scripted = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs* shown = scripted.get();
    auto previous = setDialogs(std::move(scripted));
    SimulatedCameraControls device;
    CameraControlInfo reset;
    reset.id = V4L2_CID_PAN_RESET;
    reset.type = CameraControlType::Button;
    reset.name = "Pan, Reset";
    reset.flags = CameraControlFlag::WriteOnly;
    device.add(reset);
    CameraControlInfo emptyClass;  // a class whose controls are all disabled: no empty group
    emptyClass.id = V4L2_CTRL_CLASS_FLASH | 1;
    emptyClass.type = CameraControlType::ClassHeading;
    emptyClass.name = "Flash Controls";
    device.add(emptyClass);
    device.refuseWrites(V4L2_CID_CONTRAST);
    CameraControls controls(device);
    controls.load();
    CameraControlsDialog dialog(nullptr, controls, "Test Camera");

    QStringList groups;
    for (auto* box : dialog.findChildren<QGroupBox*>()) groups << box->title();
    EXPECT_EQ(groups, QStringList({"User Controls", "Camera Controls"}));
    auto* brightness = dialog.findChild<QSlider*>(controlRowName(V4L2_CID_BRIGHTNESS));
    auto* focus = dialog.findChild<QSlider*>(controlRowName(V4L2_CID_FOCUS_ABSOLUTE));
    auto* focusValue =
        dialog.findChild<QSpinBox*>(controlRowName(V4L2_CID_FOCUS_ABSOLUTE) + "-value");
    auto* focusAuto = dialog.findChild<QCheckBox*>(controlRowName(V4L2_CID_FOCUS_AUTO));
    auto* power = dialog.findChild<QComboBox*>(controlRowName(V4L2_CID_POWER_LINE_FREQUENCY));
    auto* contrast = dialog.findChild<QSpinBox*>(controlRowName(V4L2_CID_CONTRAST) + "-value");
    auto* pan = dialog.findChild<QPushButton*>(controlRowName(V4L2_CID_PAN_RESET));
    ASSERT_TRUE(brightness && focus && focusValue && focusAuto && power && contrast && pan);
    EXPECT_EQ(brightness->value() - brightness->minimum(), 64);
    EXPECT_EQ(focus->maximum(), 50);  // 0..250 in steps of 5
    EXPECT_EQ(power->currentText(), "50 Hz");

    // Automatic focus on: its manual control is greyed out until the mode is switched off.
    EXPECT_FALSE(focus->isEnabled());
    focusAuto->setChecked(false);
    EXPECT_EQ(device.value(V4L2_CID_FOCUS_AUTO), 0);
    EXPECT_TRUE(focus->isEnabled());
    focus->setValue(10);
    EXPECT_EQ(device.value(V4L2_CID_FOCUS_ABSOLUTE), 50);
    EXPECT_EQ(focusValue->value(), 50);
    power->setCurrentIndex(2);
    EXPECT_EQ(device.value(V4L2_CID_POWER_LINE_FREQUENCY), 2);
    pan->click();
    EXPECT_EQ(device.writes().back(), std::make_pair(std::uint32_t{V4L2_CID_PAN_RESET}, 1));

    // A refused value: the row shows what the device holds, one message, however often.
    contrast->setValue(50);
    contrast->setValue(51);
    EXPECT_EQ(contrast->value(), 32);
    EXPECT_EQ(shown->messages().size(), 1);
    EXPECT_TRUE(shown->messages().value(0).contains("Contrast"))
        << shown->messages().join("|").toStdString();

    dialog.findChild<QPushButton*>("Defaults")->click();
    EXPECT_EQ(device.value(V4L2_CID_FOCUS_AUTO), 1);
    EXPECT_FALSE(focus->isEnabled());
    EXPECT_EQ(power->currentText(), "50 Hz");
    setDialogs(std::move(previous));
}

TEST(CameraControlsDialog, AFaultyDriverAndAnUnpluggedCameraLeaveAUsablePage) {
    auto scripted = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs* shown = scripted.get();
    auto previous = setDialogs(std::move(scripted));
    SimulatedCameraControls device;
    CameraControlInfo odd;  // no step and its range backwards
    odd.id = V4L2_CID_HUE;
    odd.name = "Hue";
    odd.minimum = 10;
    odd.maximum = -10;
    odd.step = 0;
    odd.defaultValue = 99;
    device.add(odd);
    CameraControls controls(device);
    controls.load();
    const CameraControlInfo& hue = controls.find(V4L2_CID_HUE)->info;
    EXPECT_EQ(hue.minimum, -10);
    EXPECT_EQ(hue.maximum, 10);
    EXPECT_EQ(hue.step, 1);
    EXPECT_EQ(hue.defaultValue, 10);
    CameraControlsDialog dialog(nullptr, controls, "Test Camera");
    auto* hueSlider = dialog.findChild<QSlider*>(controlRowName(V4L2_CID_HUE));
    ASSERT_NE(hueSlider, nullptr);
    EXPECT_EQ(hueSlider->maximum(), 20);

    // Unplugged while the page is open: whatever the operator touches, one message, and the
    // page greys out instead of offering controls that cannot work.
    device.unplug();
    dialog.findChild<QSpinBox*>(controlRowName(V4L2_CID_BRIGHTNESS) + "-value")->setValue(10);
    dialog.findChild<QSpinBox*>(controlRowName(V4L2_CID_CONTRAST) + "-value")->setValue(10);
    auto* defaults = dialog.findChild<QPushButton*>("Defaults");
    defaults->click();
    EXPECT_EQ(shown->messages().size(), 1) << shown->messages().join("|").toStdString();
    EXPECT_FALSE(hueSlider->isEnabled());
    EXPECT_FALSE(defaults->isEnabled());
    setDialogs(std::move(previous));
}

}  // namespace
}  // namespace qelvo
