#include "simulated/BridgeDriver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "support/TempFolder.h"

namespace qelvo {
namespace {

using namespace bridge_status;
using test::TempFolder;

class BridgeDriverTest : public ::testing::Test {
protected:
    void SetUp() override { ::setenv("QELVO_RUNTIME_DIR", dir_.path().c_str(), 1); }
    void TearDown() override { ::unsetenv("QELVO_RUNTIME_DIR"); }

    std::int32_t select(BridgePropertyInterface& chip, std::uint32_t request) {
        return chip.Set(bridge_code::kSelectRegister, &request, sizeof request);
    }

    TempFolder dir_;
    const std::string name_ = "USB 2860 Test Camera";
};

TEST_F(BridgeDriverTest, RegistersAreSharedBetweenDriversOfTheSameDevice) {
    auto a = makeSimulatedBridgeDriver(name_, {});
    auto b = makeSimulatedBridgeDriver(name_, {});
    auto other = makeSimulatedBridgeDriver("USB 2860 Other", {});
    std::uint8_t value = 0x5A;
    ASSERT_EQ(select(*a, 0x0801), kOk);
    ASSERT_EQ(a->Set(bridge_code::kRegisterData, &value, 1), kOk);

    std::uint8_t seen = 0;
    ASSERT_EQ(select(*b, 0x0801), kOk);
    ASSERT_EQ(b->Get(bridge_code::kRegisterData, &seen, 1), kOk);
    EXPECT_EQ(seen, 0x5A);
    ASSERT_EQ(select(*other, 0x0801), kOk);
    ASSERT_EQ(other->Get(bridge_code::kRegisterData, &seen, 1), kOk);
    EXPECT_EQ(seen, 0);

    // A press from outside sets bit 0x20 of register 0x0C and keeps register 0x08.
    ASSERT_TRUE(setSimulatedRegisterBits(name_, kBridgeButtonRegister, kBridgeButtonBit));
    ASSERT_EQ(select(*b, 0x0C01), kOk);
    ASSERT_EQ(b->Get(bridge_code::kRegisterData, &seen, 1), kOk);
    EXPECT_EQ(seen, 0x20);
    EXPECT_EQ(readSimulatedRegister(name_, kBridgeOutputRegister), 0x5A);
}

TEST_F(BridgeDriverTest, RequestsAreCheckedBeforeAnythingIsTouched) {
    auto chip = makeSimulatedBridgeDriver(name_, {});
    std::uint8_t byte = 0;
    // No selection, unknown registers, wrong lengths, short or missing blocks.
    EXPECT_LT(chip->Get(bridge_code::kRegisterData, &byte, 1), 0);
    EXPECT_LT(select(*chip, 0x1001), 0);
    EXPECT_LT(chip->Get(bridge_code::kRegisterData, &byte, 1), 0);
    EXPECT_LT(select(*chip, 0x0802), 0);
    EXPECT_LT(chip->Set(bridge_code::kSelectRegister, &byte, 1), 0);
    EXPECT_LT(chip->Set(bridge_code::kSelectRegister, nullptr, 4), 0);
    ASSERT_EQ(select(*chip, 0x0801), kOk);
    EXPECT_LT(chip->Get(bridge_code::kRegisterData, nullptr, 1), 0);
    EXPECT_LT(chip->Get(bridge_code::kRegisterData, &byte, 0), 0);
    // Resetting the selection with 0 succeeds and leaves nothing selected.
    EXPECT_EQ(select(*chip, 0), kOk);
    EXPECT_LT(chip->Get(bridge_code::kRegisterData, &byte, 1), 0);
    EXPECT_EQ(chip->Get(0x4242, &byte, 1), kNotSupported);
}

TEST_F(BridgeDriverTest, ConfigMemoryHoldsVendorAndProductAtOffsetFour) {
    SimulatedChipConfig config;
    config.memoryVendor = 0x1234;
    config.memoryProduct = 0xABCD;
    auto chip = makeSimulatedBridgeDriver(name_, config);
    std::uint32_t address = 0xA0;
    EXPECT_EQ(chip->Set(bridge_code::kProbeSerial, &address, sizeof address), kOk);
    address = 0xB0;
    EXPECT_LT(chip->Set(bridge_code::kProbeSerial, &address, sizeof address), 0);

    std::uint8_t bytes[4] = {};
    const std::uint32_t word = ((((0xA0u << 8) & 0xFFFF) | 4 | 0x10000) << 8) | 4;
    BridgeSerialRequest request{word, bytes, 0};
    ASSERT_EQ(chip->Set(bridge_code::kSelectSerial, &request, sizeof request), kOk);
    EXPECT_LT(chip->Get(bridge_code::kSerialData, bytes, 3), 0);  // shorter than the length
    ASSERT_EQ(chip->Get(bridge_code::kSerialData, bytes, sizeof bytes), kOk);
    EXPECT_EQ(bytes[0] | (bytes[1] << 8), 0x1234);
    EXPECT_EQ(bytes[2] | (bytes[3] << 8), 0xABCD);

    // The memory is write-protected; transfers past its end are refused.
    request.direction = 1;
    ASSERT_EQ(chip->Set(bridge_code::kSelectSerial, &request, sizeof request), kOk);
    EXPECT_LT(chip->Set(bridge_code::kSerialData, bytes, sizeof bytes), 0);
    request.transferWord = ((((0xA0u << 8) & 0xFFFF) | 8 | 0x10000) << 8) | 0xFC;
    EXPECT_LT(chip->Set(bridge_code::kSelectSerial, &request, sizeof request), 0);

    config.hasConfigMemory = false;
    auto bare = makeSimulatedBridgeDriver(name_, config);
    address = 0xA0;
    EXPECT_LT(bare->Set(bridge_code::kProbeSerial, &address, sizeof address), 0);
}

TEST_F(BridgeDriverTest, CorruptStateReadsAsFailureAndAWriteRepairsIt) {
    ASSERT_TRUE(writeSimulatedRegister(name_, kBridgeOutputRegister, 1));
    std::ofstream(simulatedBridgeStateFile(name_), std::ios::trunc) << "08=zz\nrubbish";
    EXPECT_FALSE(readSimulatedRegister(name_, kBridgeOutputRegister));
    auto chip = makeSimulatedBridgeDriver(name_, {});
    std::uint8_t byte = 0;
    ASSERT_EQ(select(*chip, 0x0C01), kOk);
    EXPECT_EQ(chip->Get(bridge_code::kRegisterData, &byte, 1), kFail);
    std::ofstream(simulatedBridgeStateFile(name_), std::ios::trunc) << "08=01\n08=02\n";
    EXPECT_FALSE(readSimulatedRegister(name_, kBridgeButtonRegister)) << "0C is missing";
    std::ofstream(simulatedBridgeStateFile(name_), std::ios::trunc) << std::string(100000, '0');
    EXPECT_FALSE(readSimulatedRegister(name_, kBridgeOutputRegister));
    ASSERT_TRUE(setSimulatedRegisterBits(name_, kBridgeButtonRegister, kBridgeButtonBit));
    EXPECT_EQ(readSimulatedRegister(name_, kBridgeButtonRegister), 0x20);
    EXPECT_EQ(readSimulatedRegister(name_, kBridgeOutputRegister), 0);
    // A pipe in the file's place reads as corrupt at once instead of blocking, and is replaced.
    const std::string file = simulatedBridgeStateFile(name_);
    ASSERT_TRUE(::unlink(file.c_str()) == 0 && ::mkfifo(file.c_str(), 0600) == 0);
    EXPECT_FALSE(readSimulatedRegister(name_, kBridgeButtonRegister));
    ASSERT_TRUE(setSimulatedRegisterBits(name_, kBridgeButtonRegister, kBridgeButtonBit));
    EXPECT_EQ(readSimulatedRegister(name_, kBridgeButtonRegister), 0x20);

    // State behind a runtime folder that is a symbolic link is neither read nor written.
    ASSERT_EQ(::symlink(dir_.path().c_str(), (dir_ / "link").c_str()), 0);
    ::setenv("QELVO_RUNTIME_DIR", (dir_ / "link").c_str(), 1);
    EXPECT_FALSE(readSimulatedRegister(name_, kBridgeButtonRegister));
    EXPECT_FALSE(writeSimulatedRegister(name_, kBridgeOutputRegister, 1));
}

TEST_F(BridgeDriverTest, PressesFromOtherProcessesAreNotLostByRegisterWrites) {
    // Children set the button bit of their own device while the parent rewrites register
    // 0x08: the locked read-modify-write keeps both.
    constexpr int kChildren = 3;
    for (int c = 0; c < kChildren; ++c) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            bool ok = true;
            for (int i = 0; i < 50; ++i)
                ok = setSimulatedRegisterBits(name_, kBridgeButtonRegister,
                                              static_cast<std::uint8_t>(1u << c)) &&
                     ok;
            ::_exit(ok ? 0 : 1);
        }
    }
    for (int i = 0; i < 100; ++i)
        writeSimulatedRegister(name_, kBridgeOutputRegister, static_cast<std::uint8_t>(i));
    for (int c = 0; c < kChildren; ++c) {
        int status = 0;
        ::wait(&status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(readSimulatedRegister(name_, kBridgeButtonRegister), 0x07);
    EXPECT_EQ(readSimulatedRegister(name_, kBridgeOutputRegister), 99);
}

TEST_F(BridgeDriverTest, OnlyVirtualChipDevicesHaveTheInterface) {
    EXPECT_TRUE(isBridgeChipName("WDM 2860 Capture"));
    EXPECT_TRUE(isBridgeChipName("USB 2861 Device"));
    EXPECT_FALSE(isBridgeChipName("USB2.0 PC Camera (SN9C201)"));
    EXPECT_FALSE(isBridgeChipName("usb 2860"));

    const VirtualDeviceEntry plain;
    // A real camera: the kernel's driver.
    EXPECT_FALSE(queryBridgeInterface("USB 2860 Device", nullptr));
    EXPECT_TRUE(queryBridgeInterface("USB 2860 Device", &plain));
    EXPECT_FALSE(queryBridgeInterface("Plain Cam", &plain));

    VirtualDeviceEntry entry;
    entry.options = {{"chipid", "0x23"}, {"chipconfig", "0x40"}, {"eeprom", "eb1a:2861"}};
    SimulatedChipConfig chip = chipConfigFromOptions(entry);
    EXPECT_EQ(chip.identification, 0x23);
    EXPECT_EQ(chip.configuration, 0x40u);
    EXPECT_EQ(chip.memoryProduct, 0x2861);
    entry.options = {{"chipid", "0x1FF"}, {"eeprom", "zz"}, {"noeeprom", ""}};
    chip = chipConfigFromOptions(entry);
    EXPECT_EQ(chip.identification, 0x22);
    EXPECT_FALSE(chip.hasConfigMemory);
}

}  // namespace
}  // namespace qelvo
