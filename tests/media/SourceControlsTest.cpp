#include "media/SourceControls.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "media/MediaDevices.h"
#include "support/VirtualCameras.h"

namespace qelvo {
namespace {

using test::virtualDevice;

TEST(SourceDevice, NamesTheDeviceOfSourcesOnly) {
    MediaComponent plain, simulating, grabber;
    ASSERT_TRUE(bindVideoInput(virtualDevice("Plain Cam"), plain));
    ASSERT_TRUE(bindVideoInput(virtualDevice("Knob Cam{controls}"), simulating));
    ASSERT_TRUE(createFrameGrabber(grabber));

    const auto device = sourceDevice(plain);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->deviceName, "Plain Cam");
    EXPECT_TRUE(device->isVirtual);
    EXPECT_FALSE(device->simulatesCameraControls);
    EXPECT_TRUE(device->devicePath.empty());
    EXPECT_TRUE(sourceDevice(simulating)->simulatesCameraControls);
    EXPECT_FALSE(sourceDevice(grabber));
    EXPECT_FALSE(sourceDevice(MediaComponent()));
}

TEST(SourcePictureControls, ChangesReachTheVirtualDeviceAndUnknownNamesChangeNothing) {
    MediaComponent source;
    ASSERT_TRUE(bindVideoInput(virtualDevice("Picture Cam{motion=5}"), source));
    SourcePictureControls controls(source);

    const auto channels = controls.channels();
    const auto hue = std::find_if(channels.begin(), channels.end(),
                                  [](const auto& c) { return c.label == "HUE"; });
    ASSERT_NE(hue, channels.end());
    ASSERT_LT(hue->minimum, hue->maximum);
    controls.setChannelValue("HUE", hue->maximum);
    EXPECT_EQ(controls.channelValue("HUE"), hue->maximum);
    controls.setChannelValue("NO SUCH CONTROL", 1);
    EXPECT_FALSE(controls.channelValue("NO SUCH CONTROL"));

    ASSERT_TRUE(controls.hasPattern());
    const auto patterns = controls.patterns();
    const auto snow = std::find_if(patterns.begin(), patterns.end(),
                                   [](const auto& p) { return p.first == "snow"; });
    ASSERT_NE(snow, patterns.end());
    controls.setPattern(snow->second);
    EXPECT_EQ(controls.pattern(), snow->second);

    ASSERT_TRUE(controls.hasMotion());
    EXPECT_EQ(controls.motion(), 5);
    controls.setMotion(-7);
    EXPECT_EQ(controls.motion(), -7);
    // Another handle on the same source sees the same device.
    EXPECT_EQ(SourcePictureControls(source).motion(), -7);
}

TEST(SourcePictureControls, OtherComponentsOfferNothing) {
    MediaComponent grabber;
    ASSERT_TRUE(createFrameGrabber(grabber));
    SourcePictureControls controls(grabber);
    EXPECT_TRUE(controls.channels().empty());
    EXPECT_FALSE(controls.hasPattern());
    EXPECT_FALSE(controls.hasMotion());
    controls.setMotion(3);  // nothing to change, and no failure
    EXPECT_EQ(controls.motion(), 0);
}

}  // namespace
}  // namespace qelvo
