#include "simulated/fuzz/ChipStateInput.h"

#include <cstdlib>
#include <optional>

#include "simulated/BridgeDriver.h"
#include "support/FuzzSupport.h"

namespace qelvo::fuzz {
namespace {

const std::string kDevice = "USB 2860 Device";

// The simulated chips keep their state under the runtime folder; this process gets its own.
std::string stateFile() {
    static const std::string file = [] {
        ::setenv("QELVO_RUNTIME_DIR", scratchFolder("chip").c_str(), 1);
        // The first register access makes the chip's state folder.
        readSimulatedRegister(kDevice, kBridgeOutputRegister);
        return simulatedBridgeStateFile(kDevice);
    }();
    return file;
}

std::optional<std::uint8_t> readThroughDriver(BridgePropertyInterface& driver, std::uint8_t reg) {
    std::uint32_t request = std::uint32_t{reg} << 8 | 1;
    std::uint8_t value = 0;
    if (driver.Set(bridge_code::kSelectRegister, &request, sizeof request) != bridge_status::kOk)
        return std::nullopt;
    if (driver.Get(bridge_code::kRegisterData, &value, 1) != bridge_status::kOk)
        return std::nullopt;
    return value;
}

}  // namespace

std::string checkChipStateInput(std::string_view input) {
    const std::string file = stateFile();
    if (!writeFile(file, input)) return {};
    const auto output = readSimulatedRegister(kDevice, kBridgeOutputRegister);
    const auto button = readSimulatedRegister(kDevice, kBridgeButtonRegister);
    if (output.has_value() != button.has_value()) return "only one register of the file reads";

    auto driver = makeSimulatedBridgeDriver(kDevice, SimulatedChipConfig{});
    const auto seen = readThroughDriver(*driver, kBridgeButtonRegister);
    if (seen != button) return "the driver reads another button register than the file holds";

    if (!button) {
        // The button of a chip whose file is unreadable: the press rewrites a cleared state.
        if (!setSimulatedRegisterBits(kDevice, kBridgeButtonRegister, kBridgeButtonBit))
            return "a press over an unreadable file was not stored";
        if (readSimulatedRegister(kDevice, kBridgeButtonRegister) != kBridgeButtonBit ||
            readSimulatedRegister(kDevice, kBridgeOutputRegister) != std::uint8_t{0})
            return "a press over an unreadable file left another state";
        return {};
    }
    if (*button & kBridgeButtonBit) {
        // The chip poll: write the register back with the button bit cleared.
        std::uint8_t cleared = *button & ~kBridgeButtonBit;
        if (driver->Set(bridge_code::kRegisterData, &cleared, 1) != bridge_status::kOk)
            return "the button register could not be written back";
        if (readSimulatedRegister(kDevice, kBridgeButtonRegister) != cleared)
            return "the button bit is still set after the poll";
        if (readSimulatedRegister(kDevice, kBridgeOutputRegister) != output)
            return "the poll changed the output register";
    }
    return {};
}

int writeChipStateSeeds(const std::string& folder) {
    const std::string file = stateFile();
    int written = 0;
    auto keep = [&](const char* name) {
        written += writeFile(folder + "/" + name, readFile(file));
    };
    writeSimulatedRegister(kDevice, kBridgeOutputRegister, 0);
    keep("powered-up.chip");
    setSimulatedRegisterBits(kDevice, kBridgeButtonRegister, kBridgeButtonBit);
    keep("pressed.chip");
    writeSimulatedRegister(kDevice, kBridgeOutputRegister, 0xFF);
    keep("outputs-set.chip");
    writeSimulatedRegister(kDevice, kBridgeButtonRegister, 0x5A);
    keep("other-bits.chip");
    return written;
}

}  // namespace qelvo::fuzz
