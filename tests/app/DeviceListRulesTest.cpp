#include "app/DeviceListRules.h"

#include <gtest/gtest.h>

namespace qelvo {
namespace {

TEST(DeviceListRules, ExcludedPrefixesMatchOverTheirWholeLength) {
    EXPECT_TRUE(isExcludedDeviceName("Inspection Microscope.  2.0"));
    EXPECT_TRUE(isExcludedDeviceName("USB2.0 PC Camera (SN9C201) rev B"));
    EXPECT_TRUE(isExcludedDeviceName("Inspection Microscope"));
    EXPECT_TRUE(isExcludedDeviceName("Inspection Microscope X"));
    // Only the beginning of a prefix, or a different letter case, is an ordinary device.
    EXPECT_FALSE(isExcludedDeviceName("USB2.0 PC Camera"));
    EXPECT_FALSE(isExcludedDeviceName("USB2.0 PC Camera (SN9C20"));
    EXPECT_FALSE(isExcludedDeviceName("Inspection Micro"));
    EXPECT_FALSE(isExcludedDeviceName("inspection microscope"));
    EXPECT_FALSE(isExcludedDeviceName(""));
}

TEST(DeviceListRules, ListKeepsOrderAndDuplicatesAndDropsExcludedNames) {
    const std::vector<std::string> enumerated = {
        "Cam B", "Inspection Microscope. 1", "Cam A",
        "Cam B", "USB2.0 PC Camera",         "USB2.0 PC Camera (SN9C201)",
    };
    EXPECT_EQ(listableDeviceNames(enumerated),
              (std::vector<std::string>{"Cam B", "Cam A", "Cam B", "USB2.0 PC Camera"}));
}

TEST(DeviceListRules, LongNamesAreCutTo255BytesBeforeTheyAreListed) {
    const std::string longName(300, 'x');
    const auto entries = listableDeviceNames({longName});
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0], std::string(255, 'x'));

    // A multi-byte character straddling byte 255 is dropped whole, never split.
    std::string accented = std::string(254, 'a') + "\xC3\xA9" + "tail";
    EXPECT_EQ(listableDeviceNames({accented})[0], std::string(254, 'a'));
}

TEST(DeviceListRules, HdNameIsExactAndCaseSensitive) {
    EXPECT_TRUE(isHdDeviceName("Quillmar hd capture device"));
    EXPECT_FALSE(isHdDeviceName("Quillmar HD capture device"));
    EXPECT_FALSE(isHdDeviceName("Quillmar hd capture device "));
    EXPECT_FALSE(isHdDeviceName("Quillmar hd capture"));
}

TEST(DeviceListRules, RescanKeepsTheOperatorsChoiceWhileItIsListed) {
    const std::vector<std::string> entries = {"Cam A", "Cam B", "Cam B"};
    EXPECT_EQ(rescanSelection(entries, ""), 0);
    EXPECT_EQ(rescanSelection(entries, "Cam B"), 1);
    EXPECT_EQ(rescanSelection(entries, "Cam C"), 0);
    EXPECT_EQ(rescanSelection({}, "Cam B"), -1);
}

}  // namespace
}  // namespace qelvo
