#include "widgets/DeviceSettingsDialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPointer>
#include <QSlider>
#include <QTimer>

#include <algorithm>

#include "devices/DeviceSettings.h"
#include "media/MediaDevices.h"
#include "media/SourceControls.h"
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

TEST(DeviceSettings, AnOwnerDestroyedWhileTheControlsAreOpenTakesThemAlong) {
    MediaComponent source;
    ASSERT_TRUE(bindVideoInput(test::virtualDevice("Owner Cam{controls}"), source));
    auto* owner = new QWidget;
    QPointer<QWidget> page;
    QTimer::singleShot(0, [&] {
        page = QApplication::activeModalWidget();
        delete owner;
    });
    EXPECT_TRUE(showDeviceSettings(owner, source));
    EXPECT_TRUE(page.isNull());
}

}  // namespace
}  // namespace qelvo
