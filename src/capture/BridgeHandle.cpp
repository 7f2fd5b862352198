#include "capture/BridgeHandle.h"

#include <cstring>

namespace qelvo {
namespace {

using namespace bridge_status;

bool beginsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

const VideoInputDevice* findByPrefix(const std::vector<VideoInputDevice>& devices,
                                     const std::string& prefix) {
    for (const VideoInputDevice& device : devices)
        if (beginsWith(device.friendlyName, prefix)) return &device;
    return nullptr;
}

std::uint16_t productOfIdentification(std::uint8_t id) {
    switch (id) {
        case 0x11:
            return 0x2710;
        case 0x12:
            return 0x2820;
        case 0x14:
            return 0x2840;
        case 0x21:
            return 0x2750;
        case 0x22:
            return 0x2860;
        case 0x23:
            return 0x2870;
        case 0x24:
            return 0x2880;
        default:
            return 0x2800;
    }
}

constexpr std::uint32_t kConfigMemoryAddress = 0xA0;
constexpr std::uint32_t kConfigDualBit = 0x40;

std::unique_ptr<BridgeHandle>& processHandle() {
    static std::unique_ptr<BridgeHandle> handle;
    return handle;
}

BridgeDeviceSource& injectedSource() {
    static BridgeDeviceSource source;
    return source;
}

}  // namespace

BridgeDeviceSource systemBridgeDeviceSource() {
    BridgeDeviceSource source;
    source.videoInputs = [] { return makeSystemDeviceCatalogue()->videoInputs(); };
    source.receivers = [] { return std::vector<VideoInputDevice>{}; };
    source.query = [](const VideoInputDevice& device) {
        return queryBridgeInterface(device.friendlyName,
                                    device.isVirtual ? &device.virtualEntry : nullptr);
    };
    return source;
}

BridgeDeviceSource bridgeDeviceSourceFrom(DeviceCatalogue& catalogue) {
    BridgeDeviceSource source = systemBridgeDeviceSource();
    source.videoInputs = [&catalogue] { return catalogue.videoInputs(); };
    return source;
}

std::uint32_t serialTransferWord(std::uint32_t address, std::uint32_t length,
                                 std::uint32_t offset) {
    return ((((address << 8) & 0xFFFF) | length | 0x10000) << 8) | (offset & 0xFF);
}

BridgeHandle::BridgeHandle(BridgeDeviceSource source) : source_(std::move(source)) {}

BridgeHandle::~BridgeHandle() {
    close();
}

std::int32_t BridgeHandle::open(const std::string& name) {
    close();
    std::vector<std::vector<VideoInputDevice>> categories;
    if (source_.videoInputs) categories.push_back(source_.videoInputs());
    if (source_.receivers) categories.push_back(source_.receivers());

    auto search = [&](const std::string& prefix) -> const VideoInputDevice* {
        for (const auto& devices : categories)
            if (const VideoInputDevice* device = findByPrefix(devices, prefix)) return device;
        return nullptr;
    };
    const VideoInputDevice* device = search(name);
    for (const char* familyName : kBridgeFamilyNames) {
        if (device) break;
        device = search(familyName);
    }
    if (!device) return lastResult_ = kFail;
    interface_ = source_.query ? source_.query(*device) : nullptr;
    return lastResult_ = interface_ ? kOk : kNoInterface;
}

void BridgeHandle::close() {
    interface_.reset();
}

std::int32_t BridgeHandle::set(std::uint32_t code, void* data, std::size_t size) {
    return lastResult_ = interface_->Set(code, data, size);
}

std::int32_t BridgeHandle::get(std::uint32_t code, void* data, std::size_t size) {
    return lastResult_ = interface_->Get(code, data, size);
}

std::int32_t BridgeHandle::selectRegister(std::uint32_t reg, std::size_t length) {
    if (length == 0 || length > 0xFF || reg > 0xFFFFFF) return lastResult_ = kInvalidArg;
    std::uint32_t request = (reg << 8) | static_cast<std::uint32_t>(length);
    return set(bridge_code::kSelectRegister, &request, sizeof request);
}

// The driver is never left with a half-finished request, but the caller learns the failure
// that happened, not the reset's own result.
void BridgeHandle::resetRegisterSelection() {
    const std::int32_t failure = lastResult_;
    std::uint32_t zero = 0;
    interface_->Set(bridge_code::kSelectRegister, &zero, sizeof zero);
    lastResult_ = failure;
}

void BridgeHandle::resetSerialSelection() {
    const std::int32_t failure = lastResult_;
    BridgeSerialRequest zero;
    interface_->Set(bridge_code::kSelectSerial, &zero, sizeof zero);
    lastResult_ = failure;
}

std::int32_t BridgeHandle::read_register(std::uint32_t reg, std::span<std::uint8_t> buffer) {
    if (!interface_) return kClosed;
    if (selectRegister(reg, buffer.size()) >= 0 &&
        get(bridge_code::kRegisterData, buffer.data(), buffer.size()) >= 0)
        return lastResult_;
    resetRegisterSelection();
    return lastResult_;
}

std::int32_t BridgeHandle::write_register(std::uint32_t reg, std::span<std::uint8_t> buffer) {
    if (!interface_) return kClosed;
    if (selectRegister(reg, buffer.size()) >= 0 &&
        set(bridge_code::kRegisterData, buffer.data(), buffer.size()) >= 0)
        return lastResult_;
    resetRegisterSelection();
    return lastResult_;
}

std::int32_t BridgeHandle::serial_transfer(std::uint32_t transferWord,
                                           std::span<std::uint8_t> buffer,
                                           std::uint32_t direction) {
    if (!interface_) return kClosed;
    // The word's length is bits 8-15; a buffer shorter than that would be overrun.
    if (buffer.size() < ((transferWord >> 8) & 0xFF)) return lastResult_ = kInvalidArg;
    BridgeSerialRequest request{transferWord, buffer.data(), direction};
    if (set(bridge_code::kSelectSerial, &request, sizeof request) >= 0) {
        const std::int32_t moved =
            direction == 1 ? set(bridge_code::kSerialData, buffer.data(), buffer.size())
                           : get(bridge_code::kSerialData, buffer.data(), buffer.size());
        if (moved >= 0) return lastResult_;
    }
    resetSerialSelection();
    return lastResult_;
}

std::int32_t BridgeHandle::set_output(std::uint32_t value) {
    if (!interface_) return kClosed;
    outputValue_ = value;
    std::uint8_t bits = 0;
    if (read_register(kBridgeOutputRegister, {&bits, 1}) < 0) return lastResult_;
    bits |= static_cast<std::uint8_t>(value);
    return write_register(kBridgeOutputRegister, {&bits, 1});
}

std::int32_t BridgeHandle::poll_snapshot_button() {
    if (!interface_) return kClosed;
    std::uint8_t bits = 0;
    if (read_register(kBridgeButtonRegister, {&bits, 1}) < 0) return 0;
    if (!(bits & kBridgeButtonBit)) return 0;
    bits &= static_cast<std::uint8_t>(~kBridgeButtonBit);
    write_register(kBridgeButtonRegister, {&bits, 1});
    // The press was seen; a failed write-back only means it may be seen again.
    return 1;
}

std::int32_t BridgeHandle::chip_id(std::uint16_t& vendor, std::uint16_t& product) {
    if (!interface_) return kClosed;
    std::uint32_t address = kConfigMemoryAddress;
    if (set(bridge_code::kProbeSerial, &address, sizeof address) >= 0) {
        std::uint8_t bytes[4] = {};
        if (serial_transfer(serialTransferWord(kConfigMemoryAddress, 4, 4), bytes, 0) < 0)
            return lastResult_;
        vendor = static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
        product = static_cast<std::uint16_t>(bytes[2] | (bytes[3] << 8));
        return lastResult_;
    }
    std::uint32_t configuration = 0;
    std::uint8_t identification = 0;
    if (get(bridge_code::kConfiguration, &configuration, sizeof configuration) < 0 ||
        get(bridge_code::kIdentification, &identification, sizeof identification) < 0)
        return lastResult_;
    std::uint16_t id = productOfIdentification(identification);
    if ((configuration & kConfigDualBit) && id != 0x2870) ++id;
    vendor = 0xEB1A;
    product = id;
    return lastResult_;
}

BridgeHandle* bridgeHandle() {
    return processHandle().get();
}

std::int32_t openBridgeHandle(const std::string& name) {
    const BridgeDeviceSource& injected = injectedSource();
    return openBridgeHandle(
        name, injected.videoInputs || injected.query ? injected : systemBridgeDeviceSource());
}

std::int32_t openBridgeHandle(const std::string& name, BridgeDeviceSource source) {
    closeBridgeHandle();
    auto handle = std::make_unique<BridgeHandle>(std::move(source));
    const std::int32_t result = handle->open(name);
    if (result < 0) return result;
    handle->set_output(0);
    std::uint16_t vendor = 0;
    std::uint16_t product = 0;
    handle->chip_id(vendor, product);
    processHandle() = std::move(handle);
    return result;
}

void closeBridgeHandle() {
    processHandle().reset();
}

bool hasInjectedBridgeDeviceSource() {
    const BridgeDeviceSource& injected = injectedSource();
    return injected.videoInputs || injected.query;
}

BridgeDeviceSource injectedBridgeDeviceSource() {
    return injectedSource();
}

void setBridgeDeviceSource(BridgeDeviceSource source) {
    injectedSource() = std::move(source);
}

}  // namespace qelvo
