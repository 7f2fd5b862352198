#include "capture/DeviceFinder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qelvo {
namespace {

struct FinderLog {
    std::vector<std::string> chips;
    int microscopes = 0;
    std::vector<std::string> bindAttempts;
};

std::vector<VideoInputDevice> devices(std::initializer_list<const char*> names) {
    std::vector<VideoInputDevice> list;
    for (const char* n : names) {
        VideoInputDevice d;
        d.friendlyName = n;
        list.push_back(d);
    }
    return list;
}

FoundDevice find(const std::vector<VideoInputDevice>& list, const std::string& selected, bool hd,
                 FinderLog& log, const std::string& failingBind = {}) {
    FamilyEffects effects;
    effects.chip = [&log](const std::string& name) { log.chips.push_back(name); };
    effects.microscope = [&log] { ++log.microscopes; };
    // A fake binding: every device binds except `failingBind`; the component is a grabber
    // because any non-empty component will do here.
    BindDevice bind = [&](const VideoInputDevice& d, MediaComponent& out) {
        log.bindAttempts.push_back(d.friendlyName);
        if (d.friendlyName == failingBind) return MediaResult::failure(MediaError::NotFound, "");
        out = MediaComponent(std::shared_ptr<MediaComponent::Impl>(
            reinterpret_cast<MediaComponent::Impl*>(new int(1)),
            [](MediaComponent::Impl* p) { delete reinterpret_cast<int*>(p); }));
        return MediaResult::success();
    };
    return findCaptureDevice(list, selected, hd, effects, bind);
}

TEST(DeviceFinder, FamiliesAreRecognisedByPrefixChipFirst) {
    EXPECT_EQ(deviceFamilyOf("USB 2860 Device"), DeviceFamily::Chip);
    EXPECT_EQ(deviceFamilyOf("WDM 2860 Capture"), DeviceFamily::Chip);
    EXPECT_EQ(deviceFamilyOf("Inspection Microscope. X"), DeviceFamily::Microscope);
    EXPECT_EQ(deviceFamilyOf("USB2.0 PC Camera (SN9C201)"), DeviceFamily::Microscope);
    EXPECT_EQ(deviceFamilyOf("Inspection Microscope"), DeviceFamily::None);
    EXPECT_EQ(deviceFamilyOf("USB 286"), DeviceFamily::None);
    EXPECT_EQ(deviceFamilyOf("usb 2860"), DeviceFamily::None) << "case-sensitive";
}

TEST(DeviceFinder, SelectedNamePrefixPicksFirstInEnumerationOrder) {
    FinderLog log;
    auto list = devices({"Other Cam", "Lab Camera B", "Lab Camera A"});
    FoundDevice found = find(list, "Lab Camera", false, log);
    EXPECT_TRUE(found.source);
    EXPECT_EQ(found.friendlyName, "Lab Camera B");
    EXPECT_EQ(log.bindAttempts, std::vector<std::string>{"Lab Camera B"});

    FinderLog none;
    EXPECT_FALSE(find(list, "Nope", false, none).source);
    EXPECT_TRUE(none.bindAttempts.empty());

    FinderLog any;
    EXPECT_EQ(find(list, "", false, any).friendlyName, "Other Cam") << "empty name matches all";
}

TEST(DeviceFinder, StandardVariantAppliesFamilyEffectsEvenWhenBindFails) {
    FinderLog log;
    auto list = devices({"USB 2860 Device", "USB2.0 PC Camera (SN9C201) X", "Plain"});
    FoundDevice found = find(list, "", false, log, "USB 2860 Device");
    EXPECT_EQ(found.friendlyName, "USB2.0 PC Camera (SN9C201) X");
    EXPECT_EQ(log.chips, std::vector<std::string>{"USB 2860 Device"});
    EXPECT_EQ(log.microscopes, 1);

    // A shorter beginning of a microscope name reaches that device.
    FinderLog micro;
    auto list2 = devices({"USB2.0 PC Camera (SN9C201)", "USB2.0 PC Camera Other"});
    EXPECT_EQ(find(list2, "USB2.0 PC Camera", false, micro).friendlyName,
              "USB2.0 PC Camera (SN9C201)");
    EXPECT_EQ(micro.microscopes, 1);
    EXPECT_TRUE(micro.chips.empty());
}

TEST(DeviceFinder, HdVariantAppliesFamiliesOnlyWithoutASelectedName) {
    auto list = devices({"USB 2860 Device", "Quillmar hd capture device"});
    FinderLog named;
    EXPECT_EQ(find(list, "USB 2860", true, named).friendlyName, "USB 2860 Device");
    EXPECT_TRUE(named.chips.empty());

    FinderLog unnamed;
    EXPECT_EQ(find(list, "", true, unnamed).friendlyName, "USB 2860 Device");
    EXPECT_EQ(unnamed.chips, std::vector<std::string>{"USB 2860 Device"});
}

TEST(DeviceFinder, NamesAreComparedCutTo255BytesAndUnreadableNamesSkipped) {
    const std::string longName(300, 'x');
    auto list = devices({"", longName.c_str()});
    FinderLog log;
    EXPECT_FALSE(find(list, std::string(256, 'x'), false, log).source)
        << "a 256-byte selection cannot match a name cut to 255 bytes";
    FinderLog ok;
    FoundDevice found = find(list, std::string(255, 'x'), false, ok);
    EXPECT_EQ(found.friendlyName.size(), 255u);
    EXPECT_EQ(ok.bindAttempts.size(), 1u) << "the device without a name is skipped";
}

}  // namespace
}  // namespace qelvo
