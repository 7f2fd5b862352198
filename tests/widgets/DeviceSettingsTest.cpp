#include "widgets/DeviceSettingsDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QSlider>
#include <QTimer>

#include <algorithm>

#include "devices/DeviceSettings.h"
#include "media/MediaDevices.h"
#include "media/SourceControls.h"
#include "simulated/VirtualDevice.h"
#include "support/VirtualCameras.h"

namespace qelvo {
namespace {

using test::virtualDevice;

TEST(DeviceSettings, VirtualDevicePagesOpenModallyAt30x30OverTheOwner) {
    MediaComponent source;
    ASSERT_TRUE(bindVideoInput(virtualDevice("Settings Cam"), source));
    ASSERT_TRUE(hasSettingsPages(source));
    QWidget owner;
    owner.setGeometry(200, 100, 400, 300);
    owner.show();

    int opened = 0;
    QPoint where;
    QStringList controls;
    QString title = "unset";
    auto inspectAndClose = [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        ++opened;
        where = dialog->pos();
        title = dialog->windowTitle();
        for (auto* slider : dialog->findChildren<QSlider*>()) controls << slider->accessibleName();
        auto* pattern = dialog->findChild<QComboBox*>("Pattern");
        if (pattern) {
            controls << "Pattern";
            pattern->setCurrentText("ball");
        }
        if (auto* brightness = dialog->findChild<QSlider*>("BRIGHTNESS"))
            brightness->setValue(brightness->minimum());
        dialog->accept();
    };
    // Pressed twice: two modal sessions in a row.
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, inspectAndClose);
        EXPECT_TRUE(showDeviceSettings(&owner, source));
    }
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(where, owner.mapToGlobal(QPoint(30, 30)));
    EXPECT_TRUE(title.isEmpty());
    EXPECT_TRUE(controls.contains("BRIGHTNESS")) << controls.join(",").toStdString();
    EXPECT_TRUE(controls.contains("HUE"));
    EXPECT_TRUE(controls.contains("Pattern"));
    // What was chosen in the pages reached the device.
    const SourcePictureControls device(source);
    const auto patterns = device.patterns();
    const auto ball = std::find_if(patterns.begin(), patterns.end(),
                                   [](const auto& p) { return p.first == "ball"; });
    ASSERT_NE(ball, patterns.end());
    EXPECT_EQ(device.pattern(), ball->second);
    const auto channels = device.channels();
    const auto brightness = std::find_if(channels.begin(), channels.end(),
                                         [](const auto& c) { return c.label == "BRIGHTNESS"; });
    ASSERT_NE(brightness, channels.end());
    EXPECT_EQ(device.channelValue("BRIGHTNESS"), brightness->minimum);
}

TEST(DeviceSettings, ComponentsWithoutPagesShowNothing) {
    MediaComponent none, grabber;
    EXPECT_FALSE(hasSettingsPages(none));
    ASSERT_TRUE(createFrameGrabber(grabber));
    EXPECT_EQ(showDeviceSettings(nullptr, grabber).error(), MediaError::NoInterface);
}

TEST(VirtualDeviceOptions, ReadsEveryOptionAndKeepsDefaultsForBadValues) {
    const auto o = parseVirtualDeviceOptions(
        virtualDevice("X{size=1280x720,fps=15,hd=0,still,nocapture,stopafter=9,unplug,live=0,"
                      "pattern=ball,motion=-3,overlay=0}")
            .virtualEntry);
    EXPECT_EQ(o.width, 1280);
    EXPECT_EQ(o.height, 720);
    EXPECT_EQ(o.fps, 15);
    EXPECT_FALSE(o.acceptsHd);
    EXPECT_TRUE(o.hasStill);
    EXPECT_FALSE(o.hasCapture);
    EXPECT_EQ(o.stopAfter, 9);
    EXPECT_TRUE(o.unplugError);
    EXPECT_FALSE(o.live);
    EXPECT_EQ(o.pattern, "ball");
    EXPECT_EQ(o.motion, -3);
    EXPECT_FALSE(o.overlay);

    const auto d = parseVirtualDeviceOptions(
        virtualDevice("Y{size=0x480,fps=abc,hd=maybe,stopafter=-2,pattern=Bad!,motion=999,"
                      "size=99999x2}")
            .virtualEntry);
    const VirtualDeviceOptions defaults;
    EXPECT_EQ(d.width, defaults.width);
    EXPECT_EQ(d.height, defaults.height);
    EXPECT_EQ(d.fps, defaults.fps);
    EXPECT_TRUE(d.acceptsHd);
    EXPECT_EQ(d.stopAfter, -1);
    EXPECT_EQ(d.pattern, defaults.pattern);
    EXPECT_EQ(d.motion, defaults.motion);
}

}  // namespace
}  // namespace qelvo
