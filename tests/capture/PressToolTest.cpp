// Runs the built qelvo-press as a separate process and checks that the program's own polls
// see its presses.

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "capture/BridgeHandle.h"
#include "capture/SnapshotButtonPoll.h"
#include "simulated/RegistryDriverKeys.h"
#include "simulated/VirtualButtonChannel.h"
#include "support/TempFolder.h"

extern char** environ;

namespace qelvo {
namespace {

using test::TempFolder;

// Exit status of the tool run with the given arguments, or -1 when it did not exit normally.
int runPress(std::vector<std::string> args) {
    std::vector<char*> argv;
    std::string tool = QELVO_PRESS_TOOL;
    argv.push_back(tool.data());
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

class PressToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("QELVO_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
        ::setenv("QELVO_REGISTRY_DIR", (dir_ / "registry").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("QELVO_RUNTIME_DIR");
        ::unsetenv("QELVO_REGISTRY_DIR");
    }
    TempFolder dir_;
};

TEST_F(PressToolTest, ChipFamilyPressSetsTheButtonBitTheHandleReportsOnce) {
    VideoInputDevice device;
    device.friendlyName = "USB 2860 Device";
    device.isVirtual = true;
    BridgeDeviceSource source = systemBridgeDeviceSource();
    source.videoInputs = [device] { return std::vector<VideoInputDevice>{device}; };
    BridgeHandle handle(source);
    ASSERT_EQ(handle.open("USB 2860"), 0);
    ASSERT_EQ(handle.set_output(0x04), 0);
    ChipSnapshotButtonPoll poll([&handle] { return &handle; });
    EXPECT_FALSE(poll.onTimer());

    ASSERT_EQ(runPress({"USB 2860 Device"}), 0);
    EXPECT_TRUE(poll.onTimer());
    EXPECT_FALSE(poll.onTimer());
    std::uint8_t output = 0;
    ASSERT_EQ(handle.read_register(0x08, {&output, 1}), 0);
    EXPECT_EQ(output, 0x04);  // the press left the output bits alone

    handle.close();
    EXPECT_FALSE(poll.onTimer());  // a closed handle answers 6, which is no press
}

TEST_F(PressToolTest, MicroscopeFamilyPressIsTakenByTheDriverSettingsPoll) {
    const std::string name = "Inspection Microscope. Bench";
    DriverSnapshotButtonPoll poll;  // the store at $QELVO_REGISTRY_DIR, as the tool uses
    int index = -1;
    EXPECT_FALSE(poll.onTimer(1, index));
    EXPECT_EQ(index, -1);

    ASSERT_EQ(runPress({name}), 0);
    EXPECT_FALSE(poll.onTimer(1, index));  // this tick finds the key
    EXPECT_EQ(index, 0);
    EXPECT_TRUE(poll.onTimer(1, index));
    EXPECT_FALSE(poll.onTimer(1, index));
    const RegistryStore store;
    EXPECT_EQ(store.openKey(driverSettingsKeyPath(0))->readNumber("SnapShotState").value, 2u);

    ASSERT_EQ(runPress({name}), 0);
    EXPECT_TRUE(poll.onTimer(1, index));
    EXPECT_FALSE(store.openKey(driverDeviceKeyPath(1)));  // no second set of keys
}

TEST_F(PressToolTest, OtherDevicesGetAStillFramePress) {
    EXPECT_EQ(stillPressCount("Bench Cam"), 0u);
    ASSERT_EQ(runPress({"Bench Cam"}), 0);
    ASSERT_EQ(runPress({"Bench Cam"}), 0);
    EXPECT_EQ(stillPressCount("Bench Cam"), 2u);
    EXPECT_EQ(stillPressCount("Other Cam"), 0u);
}

TEST_F(PressToolTest, ListedVirtualDevicesGetTheirButtonsThroughTheSystemCatalogue) {
    ::setenv("QELVO_VIRTUAL_DEVICES",
             "Bench Cam{still};WDM 2860 Capture{chipid=0x23};Inspection Microscope. Bench", 1);
    // Listing the devices gives the microscope its driver keys, once.
    makeSystemDeviceCatalogue()->videoInputs();
    makeSystemDeviceCatalogue()->videoInputs();
    const RegistryStore store;
    EXPECT_EQ(findVirtualDriverKeys(store, "Inspection Microscope. Bench"), 0);
    EXPECT_FALSE(store.openKey(driverDeviceKeyPath(1)));

    // The opening sequence finds the chip device among the listed ones.
    ASSERT_EQ(openBridgeHandle("WDM 2860 Capture"), 0);
    ::unsetenv("QELVO_VIRTUAL_DEVICES");

    SnapshotButtonPolls polls;
    int index = -1;
    for (int id : {kChipButtonTimerId, kDriverButtonTimerId, 12345})
        EXPECT_FALSE(polls.onTimer(id, 1, index)) << id;
    EXPECT_EQ(index, 0);

    ASSERT_EQ(runPress({"WDM 2860 Capture"}), 0);
    ASSERT_EQ(runPress({"Inspection Microscope. Bench"}), 0);
    EXPECT_FALSE(polls.onTimer(kDriverButtonTimerId, 0, index));  // flag clear: not polled
    EXPECT_TRUE(polls.onTimer(kChipButtonTimerId, 1, index));
    EXPECT_TRUE(polls.onTimer(kDriverButtonTimerId, 1, index));
    EXPECT_FALSE(polls.onTimer(kChipButtonTimerId, 1, index));
    EXPECT_FALSE(polls.onTimer(kDriverButtonTimerId, 1, index));

    closeBridgeHandle();
    ASSERT_EQ(runPress({"WDM 2860 Capture"}), 0);
    EXPECT_FALSE(polls.onTimer(kChipButtonTimerId, 1, index));  // no handle, no poll
}

TEST_F(PressToolTest, BadUsageAndUnwritableStateFail) {
    EXPECT_EQ(runPress({}), 2);
    EXPECT_EQ(runPress({""}), 2);
    EXPECT_EQ(runPress({"a", "b"}), 2);
    EXPECT_EQ(runPress({"--help"}), 0);

    std::ofstream(dir_ / "blocker") << "x";
    ::setenv("QELVO_RUNTIME_DIR", (dir_ / "blocker/run").c_str(), 1);
    ::setenv("QELVO_REGISTRY_DIR", (dir_ / "blocker/registry").c_str(), 1);
    EXPECT_EQ(runPress({"Bench Cam"}), 1);
    EXPECT_EQ(runPress({"WDM 2860 Capture"}), 1);
    EXPECT_EQ(runPress({"Inspection Microscope."}), 1);
}

}  // namespace
}  // namespace qelvo
