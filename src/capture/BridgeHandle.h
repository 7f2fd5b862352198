#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/DeviceCatalogue.h"
#include "simulated/BridgeDriver.h"

namespace qelvo {

// Where the bridge handle looks for devices: the video input category, then the
// receiver-component category, and how it asks a device for the chip's property interface.
struct BridgeDeviceSource {
    std::function<std::vector<VideoInputDevice>()> videoInputs;
    std::function<std::vector<VideoInputDevice>()> receivers;
    std::function<std::unique_ptr<BridgePropertyInterface>(const VideoInputDevice&)> query;
};

// The system's devices (DeviceCatalogue) and drivers (queryBridgeInterface).  There are no
// receiver components on this platform.
BridgeDeviceSource systemBridgeDeviceSource();
// The devices of `catalogue` (which must outlive the source), with the system's drivers.
BridgeDeviceSource bridgeDeviceSourceFrom(DeviceCatalogue& catalogue);

// ((((address << 8) & 0xFFFF) | length | 0x10000) << 8) | (offset & 0xFF)
std::uint32_t serialTransferWord(std::uint32_t address, std::uint32_t length, std::uint32_t offset);

// Register access to a USB bridge chip through its driver's private property interface.
// Every call returns the status of the last driver call (0 success, negative failure), or
// kClosed without touching anything while no interface is open.  GUI thread only.
class BridgeHandle {
public:
    static constexpr std::int32_t kClosed = 6;

    explicit BridgeHandle(BridgeDeviceSource source = systemBridgeDeviceSource());
    ~BridgeHandle();
    BridgeHandle(const BridgeHandle&) = delete;
    BridgeHandle& operator=(const BridgeHandle&) = delete;

    // Opens the first device whose friendly name begins with `name` (case-sensitive), else
    // the first device of the chip's family names, and queries its interface.
    std::int32_t open(const std::string& name);
    void close();
    bool isOpen() const { return interface_ != nullptr; }

    // The register's length is the buffer's size (1 to 255 bytes).
    std::int32_t read_register(std::uint32_t reg, std::span<std::uint8_t> buffer);
    std::int32_t write_register(std::uint32_t reg, std::span<std::uint8_t> buffer);
    // Moves buffer.size() bytes to (direction 1) or from the serial-bus device named by the
    // transfer word; the buffer must hold the word's length.
    std::int32_t serial_transfer(std::uint32_t transferWord, std::span<std::uint8_t> buffer,
                                 std::uint32_t direction);
    // ORs `value` into the output register 0x08.
    std::int32_t set_output(std::uint32_t value);
    // 1 when the snapshot button was pressed since the last poll (the bit is cleared again),
    // 0 when not or on any failure, kClosed while closed.
    std::int32_t poll_snapshot_button();
    // Vendor and product of the chip; both are left alone when the call fails.
    std::int32_t chip_id(std::uint16_t& vendor, std::uint16_t& product);

    std::uint32_t outputValue() const { return outputValue_; }
    std::int32_t lastResult() const { return lastResult_; }

private:
    std::int32_t set(std::uint32_t code, void* data, std::size_t size);
    std::int32_t get(std::uint32_t code, void* data, std::size_t size);
    std::int32_t selectRegister(std::uint32_t reg, std::size_t length);
    void resetRegisterSelection();
    void resetSerialSelection();

    BridgeDeviceSource source_;
    std::unique_ptr<BridgePropertyInterface> interface_;
    std::uint32_t outputValue_ = 0;
    std::int32_t lastResult_ = 0;
    // Reserved for the chip's remote-control path, which the program does not use.
    struct RemoteControl {
        std::uint32_t toggleState = 0;
        std::uint32_t addressFilter = 0;
        std::uint32_t reg = 0;
    } remote_;
};

// The process-wide bridge handle: at most one, opened by a working window for a chip-family
// device and closed when its capture is torn down.  GUI thread only.
BridgeHandle* bridgeHandle();
// Opening sequence: closes any earlier handle, creates one and opens `name`; on success sets
// the output bits to 0 and reads the chip's identity.  On failure no handle remains.  Returns
// the result of `open`.
std::int32_t openBridgeHandle(const std::string& name);
// The same, looking for devices in `source`.
std::int32_t openBridgeHandle(const std::string& name, BridgeDeviceSource source);
// Closes and destroys the handle, if any.
void closeBridgeHandle();
// Where handles made by openBridgeHandle look for devices (tests inject their own list);
// an empty source restores the system's.
void setBridgeDeviceSource(BridgeDeviceSource source);
// Whether tests injected one, and that one.
bool hasInjectedBridgeDeviceSource();
BridgeDeviceSource injectedBridgeDeviceSource();

}  // namespace qelvo
