#include "capture/DriverSettings.h"

#include <gtest/gtest.h>

#include "capture/SnapshotButtonPoll.h"
#include "simulated/RegistryDriverKeys.h"
#include "support/TempFolder.h"

namespace qelvo {
namespace {

using test::TempFolder;

class DriverSettingsTest : public ::testing::Test {
protected:
    // A device key with the given description and "USBActive"; "SnapShotState" 0.
    void addDevice(int index, const std::string& description, std::uint32_t active,
                   bool withVersion = true) {
        auto device = store_.createKey(driverDeviceKeyPath(index));
        ASSERT_TRUE(device);
        if (withVersion) device->writeText("DriverVersion", "6.1.0.0");
        device->writeText("DriverDesc", description);
        auto settings = store_.createKey(driverSettingsKeyPath(index));
        ASSERT_TRUE(settings);
        settings->writeNumber("USBActive", active);
        settings->writeNumber("SnapShotState", 0);
    }
    void setState(int index, std::uint32_t value) {
        store_.openKey(driverSettingsKeyPath(index))->writeNumber("SnapShotState", value);
    }
    RegistryValue<std::uint32_t> state(int index) {
        return store_.openKey(driverSettingsKeyPath(index))->readNumber("SnapShotState");
    }

    TempFolder dir_;
    RegistryStore store_{dir_ / "registry"};
    DriverSettings settings_{store_};
};

TEST_F(DriverSettingsTest, LookupTakesTheFirstActiveExactDescription) {
    EXPECT_EQ(settings_.findDriverSettingsKey(), -1);  // no keys at all
    addDevice(0, "Some Webcam", 1);
    addDevice(1, "Inspection Microscope", 1);   // no full stop
    addDevice(2, "Inspection Microscope.", 0);  // inactive
    addDevice(3, "USB2.0 PC Camera (SN9C201)", 1, /*withVersion=*/false);
    addDevice(4, "Inspection Microscope. ", 1);  // trailing space
    EXPECT_EQ(settings_.findDriverSettingsKey(), -1);
    addDevice(5, "USB2.0 PC Camera (SN9C201)", 1);
    addDevice(6, "Inspection Microscope.", 1);
    EXPECT_EQ(settings_.findDriverSettingsKey(), 5);

    // A key that becomes active is found at the next search.
    store_.openKey(driverSettingsKeyPath(2))->writeNumber("USBActive", 7);
    EXPECT_EQ(settings_.findDriverSettingsKey(), 2);
}

TEST_F(DriverSettingsTest, FirstMissingKeyNumberEndsTheSearch) {
    for (int i = 0; i < 5; ++i) addDevice(i, "Other", 1);
    addDevice(7, "Inspection Microscope.", 1);
    EXPECT_EQ(settings_.findDriverSettingsKey(), -1);
    addDevice(5, "Other", 1);
    addDevice(6, "Other", 1);
    EXPECT_EQ(settings_.findDriverSettingsKey(), 7);
}

TEST_F(DriverSettingsTest, UnreadableValuesAreSkippedNotFatal) {
    addDevice(0, "Inspection Microscope.", 1);
    auto settings = store_.openKey(driverSettingsKeyPath(0));
    settings->writeText("USBActive", "1");   // wrong type
    addDevice(1, std::string(600, 'x'), 1);  // longer than the driver's buffer
    addDevice(2, "Inspection Microscope.", 1);
    store_.deleteKey(driverSettingsKeyPath(2));  // settings key missing
    addDevice(3, "Inspection Microscope.", 1);
    EXPECT_EQ(settings_.findDriverSettingsKey(), 3);
}

TEST_F(DriverSettingsTest, PendingPressIsTakenOnceAndAnsweredWithTwo) {
    addDevice(0, "Inspection Microscope.", 1);
    EXPECT_EQ(settings_.pollDriverSnapshotState(0), 0);
    setState(0, 3);
    EXPECT_EQ(settings_.pollDriverSnapshotState(0), 1);
    EXPECT_EQ(state(0).value, 2u);
    EXPECT_EQ(settings_.pollDriverSnapshotState(0), 0);

    for (std::uint32_t other : {0u, 1u, 2u, 4u, 0xFFFFFFFFu}) {
        setState(0, other);
        EXPECT_EQ(settings_.pollDriverSnapshotState(0), 0) << other;
        EXPECT_EQ(state(0).value, other);
    }
}

TEST_F(DriverSettingsTest, InactiveMissingOrBrokenKeysReportNoPress) {
    addDevice(0, "Inspection Microscope.", 0);
    setState(0, 3);
    EXPECT_EQ(settings_.pollDriverSnapshotState(0), 0);
    EXPECT_EQ(state(0).value, 3u);

    EXPECT_EQ(settings_.pollDriverSnapshotState(1), 0);
    EXPECT_EQ(settings_.pollDriverSnapshotState(-1), 0);
    EXPECT_EQ(settings_.pollDriverSnapshotState(12345), 0);

    auto settings = store_.openKey(driverSettingsKeyPath(0));
    settings->writeNumber("USBActive", 1);
    settings->writeText("SnapShotState", "3");
    EXPECT_EQ(settings_.pollDriverSnapshotState(0), 0);
    settings->deleteValue("USBActive");
    settings->writeNumber("SnapShotState", 3);
    EXPECT_EQ(settings_.pollDriverSnapshotState(0), 0);
}

TEST_F(DriverSettingsTest, TimerPollSearchesUntilFoundThenKeepsTheIndex) {
    DriverSnapshotButtonPoll poll(store_);
    int index = -1;
    // Not a microscope-family pipeline: nothing happens at all.
    addDevice(0, "Inspection Microscope.", 1);
    setState(0, 3);
    EXPECT_FALSE(poll.onTimer(0, index));
    EXPECT_EQ(index, -1);

    // The first tick only finds the key; the next one takes the press.
    EXPECT_FALSE(poll.onTimer(1, index));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(state(0).value, 3u);
    EXPECT_TRUE(poll.onTimer(1, index));
    EXPECT_FALSE(poll.onTimer(1, index));

    // The device goes away: no press, and the index is not searched again.
    store_.deleteKey(driverDeviceKeyPath(0));
    addDevice(0, "Other", 1);
    addDevice(1, "Inspection Microscope.", 1);
    setState(1, 3);
    EXPECT_FALSE(poll.onTimer(1, index));
    EXPECT_EQ(index, 0);
}

TEST_F(DriverSettingsTest, VirtualDeviceKeysAreMadeOnceAtTheFirstFreeIndex) {
    addDevice(0, "Some Webcam", 1);
    EXPECT_EQ(ensureVirtualDriverKeys(store_, "Plain Camera"), -1);
    EXPECT_FALSE(store_.openKey(driverDeviceKeyPath(1)));

    EXPECT_EQ(ensureVirtualDriverKeys(store_, "Inspection Microscope. Bench"), 1);
    EXPECT_EQ(ensureVirtualDriverKeys(store_, "Inspection Microscope. Bench"), 1);
    EXPECT_EQ(ensureVirtualDriverKeys(store_, "USB2.0 PC Camera (SN9C201) #2"), 2);
    EXPECT_FALSE(store_.openKey(driverDeviceKeyPath(3)));
    EXPECT_EQ(findVirtualDriverKeys(store_, "USB2.0 PC Camera (SN9C201) #2"), 2);
    EXPECT_EQ(findVirtualDriverKeys(store_, "Inspection Microscope. Other"), -1);

    auto device = store_.openKey(driverDeviceKeyPath(1));
    EXPECT_EQ(device->readText("DriverDesc").value, "Inspection Microscope.");
    EXPECT_TRUE(device->readText("DriverVersion").ok());
    EXPECT_EQ(store_.openKey(driverDeviceKeyPath(2))->readText("DriverDesc").value,
              "USB2.0 PC Camera (SN9C201)");
    auto settings = store_.openKey(driverSettingsKeyPath(1));
    EXPECT_EQ(settings->readNumber("USBActive").value, 1u);
    EXPECT_TRUE(settings->readNumber("SnapShotState").ok());
    // The lookup finds the virtual device's keys.
    EXPECT_EQ(settings_.findDriverSettingsKey(), 1);
}

}  // namespace
}  // namespace qelvo
