#include "capture/DeviceFinder.h"
#include "capture/FrameRecord.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace qelvo {
namespace {

std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
    return v;
}

TEST(FrameRecord, HeaderAndRowSizeDescribeA24BitBottomUpFrame) {
    EXPECT_EQ(frameRowBytes(640), 1920u);
    EXPECT_EQ(frameRowBytes(642), 1928u);
    EXPECT_EQ(frameRowBytes(1), 4u);
    const FrameHeader h = FrameHeader::forFrame(642, 480);
    EXPECT_EQ(h.size, 40u);
    EXPECT_EQ(h.width, 642);
    EXPECT_EQ(h.height, 480);
    EXPECT_EQ(h.planes, 1);
    EXPECT_EQ(h.bitCount, 24);
    EXPECT_EQ(h.compression, 0u);
    EXPECT_EQ(h.sizeImage, 0u);
}

TEST(FrameRecord, BlockGrowsToTheLargestFrameAndIsReusedForSmallerOnes) {
    FrameRecord record;
    auto big = bytes(1920 * 4, 1);
    auto small = bytes(1920 * 2, 9);
    ASSERT_TRUE(record.assign(big.data(), big.size(), FrameHeader::forFrame(640, 4), 1.5));
    EXPECT_EQ(record.blockSize(), 1920 * 4);
    const std::uint8_t* block = record.pixels();

    ASSERT_TRUE(record.assign(small.data(), small.size(), FrameHeader::forFrame(640, 2), 2.0));
    EXPECT_EQ(record.blockSize(), 1920 * 4) << "the block never shrinks";
    EXPECT_EQ(record.pixels(), block) << "a smaller frame reuses the block";
    EXPECT_EQ(record.length(), small.size());
    EXPECT_EQ(0, std::memcmp(record.pixels(), small.data(), small.size()));
    EXPECT_DOUBLE_EQ(record.sampleTime(), 2.0);
    EXPECT_TRUE(record.isComplete());

    auto bigger = bytes(1920 * 6, 3);
    ASSERT_TRUE(record.assign(bigger.data(), bigger.size(), FrameHeader::forFrame(640, 6), 3));
    EXPECT_EQ(record.blockSize(), 1920 * 6) << "a larger frame gets a block of exactly its size";
}

TEST(FrameRecord, CloneIsIndependentOfLaterWrites) {
    FrameRecord record;
    auto first = bytes(1920 * 2, 1);
    ASSERT_TRUE(record.assign(first.data(), first.size(), FrameHeader::forFrame(640, 2), 1));
    auto copy = record.clone();
    ASSERT_TRUE(copy);
    auto second = bytes(1920 * 2, 77);
    ASSERT_TRUE(record.assign(second.data(), second.size(), FrameHeader::forFrame(640, 2), 2));
    EXPECT_EQ(0, std::memcmp(copy->pixels(), first.data(), first.size()));
    EXPECT_EQ(copy->blockSize(), static_cast<std::int32_t>(first.size()));
    EXPECT_DOUBLE_EQ(copy->sampleTime(), 1);
}

TEST(FrameRecord, ShortFrameIsNotComplete) {
    FrameRecord record;
    auto data = bytes(100, 0);
    ASSERT_TRUE(record.assign(data.data(), data.size(), FrameHeader::forFrame(640, 480), 0));
    EXPECT_FALSE(record.isComplete());
    FrameRecord empty;
    EXPECT_FALSE(empty.isComplete());
    auto copy = empty.clone();
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->pixels(), nullptr);
}

// ---- device finder

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
