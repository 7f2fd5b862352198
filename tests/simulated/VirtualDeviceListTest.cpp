// The $QELVO_VIRTUAL_DEVICES list and the options of its devices.
#include "simulated/VirtualDevice.h"
#include "simulated/VirtualDeviceList.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace qelvo {
namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

VirtualDeviceEntry onlyEntry(const std::string& list) {
    const std::vector<VirtualDeviceEntry> entries = parseVirtualDeviceList(list);
    EXPECT_EQ(entries.size(), 1u) << list;
    return entries.empty() ? VirtualDeviceEntry{} : entries.front();
}

TEST(VirtualDeviceList, ParsesNamesAndOptionsInOrder) {
    const auto entries = parseVirtualDeviceList(
        "Demo Camera; Quillmar hd capture device{size=1280x720, fps=30};USB 2860 Device{chip}");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].friendlyName, "Demo Camera");
    EXPECT_TRUE(entries[0].options.empty());
    EXPECT_EQ(entries[1].friendlyName, "Quillmar hd capture device");
    EXPECT_EQ(entries[1].options, (Options{{"size", "1280x720"}, {"fps", "30"}}));
    EXPECT_EQ(entries[2].options, (Options{{"chip", ""}}));
}

TEST(VirtualDeviceList, SkipsEmptyAndMalformedEntriesButKeepsTheRest) {
    testing::internal::CaptureStderr();
    const auto entries =
        parseVirtualDeviceList("A;;{size=1x1};B{size=2x2;C{=x};D}x;E{a}{b};F{size=3x3,still};");
    const std::string errors = testing::internal::GetCapturedStderr();
    std::vector<std::string> names;
    for (const auto& e : entries) names.push_back(e.friendlyName);
    // "B{size=2x2" is cut by the ';' and loses its closing brace.
    EXPECT_EQ(names, (std::vector<std::string>{"A", "F"}));
    EXPECT_NE(errors.find("entry 2"), std::string::npos);
    EXPECT_NE(errors.find("malformed"), std::string::npos);
    int lines = 0;
    for (char c : errors) lines += c == '\n';
    EXPECT_EQ(lines, 6) << errors;  // one line per skipped entry, none for the trailing ';'
}

TEST(VirtualDeviceList, BlankListMeansNoDevicesAndNoComplaint) {
    testing::internal::CaptureStderr();
    EXPECT_TRUE(parseVirtualDeviceList("").empty());
    EXPECT_TRUE(parseVirtualDeviceList("  ").empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(VirtualDeviceOptions, ReadsEveryOptionAndKeepsDefaultsForBadValues) {
    const auto o = parseVirtualDeviceOptions(
        onlyEntry("X{size=1280x720,fps=15,hd=0,still,nocapture,stopafter=9,unplug,live=0,"
                  "pattern=ball,motion=-3,overlay=0}"));
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
        onlyEntry("Y{size=0x480,fps=abc,hd=maybe,stopafter=-2,pattern=Bad!,motion=999,"
                  "size=99999x2}"));
    const VirtualDeviceOptions defaults;
    EXPECT_EQ(d.width, defaults.width);
    EXPECT_EQ(d.height, defaults.height);
    EXPECT_EQ(d.fps, defaults.fps);
    EXPECT_TRUE(d.acceptsHd);
    EXPECT_EQ(d.stopAfter, -1);
    EXPECT_EQ(d.pattern, defaults.pattern);
    EXPECT_EQ(d.motion, defaults.motion);
}

TEST(VirtualDeviceOptions, ReadsTheSpecimenAndTheCameraEffects) {
    const auto o = parseVirtualDeviceOptions(onlyEntry(
        "Scope{specimen=/data/cells 1.jpg,noise=2.5,vignette=.6,dark=12,focus=140,controls}"));
    EXPECT_EQ(o.specimen, "/data/cells 1.jpg");
    EXPECT_DOUBLE_EQ(o.noise, 2.5);
    EXPECT_DOUBLE_EQ(o.vignette, 0.6);
    EXPECT_EQ(o.dark, 12);
    EXPECT_EQ(o.focus, 140);
    EXPECT_TRUE(o.cameraControls);

    // Out of range, signed, not a number, empty: the default stays (no specimen, no effect).
    const VirtualDeviceOptions defaults;
    for (const char* bad :
         {"B{noise=41,vignette=1.5,dark=256,focus=-1,specimen=}",
          "B{noise=-1,vignette=-0.2,dark=-3,focus=1e3}", "B{noise=abc,vignette=0.5x,dark=1.5}",
          "B{noise=1e1,vignette=nan,dark=,focus=x}", "B{noise=..,vignette=inf}"}) {
        SCOPED_TRACE(bad);
        const auto d = parseVirtualDeviceOptions(onlyEntry(bad));
        EXPECT_EQ(d.specimen, "");
        EXPECT_EQ(d.noise, defaults.noise);
        EXPECT_EQ(d.vignette, defaults.vignette);
        EXPECT_EQ(d.dark, defaults.dark);
        EXPECT_EQ(d.focus, defaults.focus);
    }
    // The edges of the ranges are taken.
    const auto edges = parseVirtualDeviceOptions(onlyEntry("E{noise=40,vignette=0,dark=255}"));
    EXPECT_EQ(edges.noise, 40);
    EXPECT_EQ(edges.vignette, 0);
    EXPECT_EQ(edges.dark, 255);
}

}  // namespace
}  // namespace qelvo
