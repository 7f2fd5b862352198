#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "simulated/VirtualDeviceList.h"

namespace qelvo {

// Status words of the bridge chip's property interface: 0 is success, negative a failure.
namespace bridge_status {
inline constexpr std::int32_t kOk = 0;
inline constexpr std::int32_t kFail = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002u);
inline constexpr std::int32_t kInvalidArg = static_cast<std::int32_t>(0x80070057u);
inline constexpr std::int32_t kNotSupported = static_cast<std::int32_t>(0x80070032u);
}  // namespace bridge_status

// Property codes of the interface.
namespace bridge_code {
inline constexpr std::uint32_t kSelectRegister = 0x1005;  // Set: 32-bit request word
inline constexpr std::uint32_t kRegisterData = 0x1006;    // Get/Set: selected register bytes
inline constexpr std::uint32_t kSelectSerial = 0x1007;    // Set: BridgeSerialRequest
inline constexpr std::uint32_t kSerialData = 0x1008;      // Set (write) / Get (read): bytes
inline constexpr std::uint32_t kProbeSerial = 0x100B;     // Set: 32-bit serial-bus address
inline constexpr std::uint32_t kConfiguration = 0x1000;   // Get: 32-bit configuration word
inline constexpr std::uint32_t kIdentification = 0x101C;  // Get: one identification byte
}  // namespace bridge_code

// The three-word request of a serial-bus selection.  An all-zero request resets it.
struct BridgeSerialRequest {
    std::uint32_t transferWord = 0;
    std::uint8_t* buffer = nullptr;
    std::uint32_t direction = 0;  // 1: write to the bus device, otherwise read
};

// The bridge chip's private property interface {846A4C4E-76D8-42EC-A333-121F365A4DA8}.  Every
// call names the size of the block behind `data`, which the driver checks before touching it.
class BridgePropertyInterface {
public:
    static constexpr const char* kInterfaceId = "{846A4C4E-76D8-42EC-A333-121F365A4DA8}";

    virtual ~BridgePropertyInterface() = default;
    virtual std::int32_t Set(std::uint32_t code, void* data, std::size_t size) = 0;
    virtual std::int32_t Get(std::uint32_t code, void* data, std::size_t size) = 0;
};

// How a simulated chip presents itself.
struct SimulatedChipConfig {
    std::uint8_t identification = 0x22;  // a 2860
    std::uint32_t configuration = 0;
    // The configuration memory at serial address 0xA0; without it the probe of 0xA0 fails.
    bool hasConfigMemory = true;
    std::uint16_t memoryVendor = 0xEB1A;
    std::uint16_t memoryProduct = 0x2860;
};

// Reads a virtual device's chip options: chipid=<byte>, chipconfig=<word>,
// eeprom=<vendor>:<product> (hex), noeeprom.  Unknown or malformed values keep the default.
SimulatedChipConfig chipConfigFromOptions(const VirtualDeviceEntry& entry);

// Friendly names the chip's driver gives its devices, in the order a search tries them.
inline constexpr const char* kBridgeFamilyNames[] = {
    "USB 2800 Device", "USB 2801 Device", "USB 2840 Device", "USB 2841 Device", "USB 2820 Device",
    "USB 2821 Device", "USB 2860 Device", "USB 2861 Device", "USB 2862 Device", "USB 2863 Device",
    "USB 2880 Device", "USB 2881 Device", "USB 2882 Device", "USB 2883 Device", "USB 2870 Device"};
// Name prefixes of the chip family.
inline constexpr const char* kBridgeChipPrefixes[] = {"WDM 2860", "USB 2860"};

// True for names of devices built on the bridge chip: the chip family ("WDM 2860",
// "USB 2860") and the driver's family names ("USB 2800 Device", ...).
bool isBridgeChipName(const std::string& friendlyName);

// The interface of a listed device, or none when it has no such interface: virtual devices
// (`virtualEntry` given) with a bridge-chip name get a simulated driver; real cameras
// (`virtualEntry` null) belong to the kernel driver.
std::unique_ptr<BridgePropertyInterface> queryBridgeInterface(
    const std::string& friendlyName, const VirtualDeviceEntry* virtualEntry);

// The simulated driver of a virtual device.  Registers 0x08 (output bits) and 0x0C (bit 0x20:
// the snapshot button) live in a small file under runtimeDir()/bridge, shared with other
// processes (the press tool); every register access is one locked read or read-modify-write.
std::unique_ptr<BridgePropertyInterface> makeSimulatedBridgeDriver(const std::string& deviceName,
                                                                   const SimulatedChipConfig& chip);

// Register file shared by every process that simulates the named device's chip.
inline constexpr std::uint8_t kBridgeOutputRegister = 0x08;
inline constexpr std::uint8_t kBridgeButtonRegister = 0x0C;
inline constexpr std::uint8_t kBridgeButtonBit = 0x20;
// One locked read of a simulated register; nothing when the state cannot be read.
std::optional<std::uint8_t> readSimulatedRegister(const std::string& deviceName, std::uint8_t reg);
// One locked write; false when the state cannot be stored.
bool writeSimulatedRegister(const std::string& deviceName, std::uint8_t reg, std::uint8_t value);
// Sets bits of a register in one locked step: the chip's button press.
bool setSimulatedRegisterBits(const std::string& deviceName, std::uint8_t reg, std::uint8_t bits);
// The state file of the named device (for tests and tools).
std::string simulatedBridgeStateFile(const std::string& deviceName);

}  // namespace qelvo
