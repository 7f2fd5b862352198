#include "simulated/BridgeDriver.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "system/Paths.h"

namespace qelvo {
namespace {

using namespace bridge_status;

std::string hexName(const std::string& name) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : name) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 0x0F]);
    }
    return out;
}

bool startsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::strlen(prefix), prefix) == 0;
}

constexpr const char* kBridgeFolder = "bridge";

std::optional<std::uint32_t> parseNumber(std::string text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text = text.substr(2);
        base = 16;
    }
    std::uint32_t value = 0;
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// The two kept registers, as stored: "08=xx\n0C=xx\n" in hex.
struct Registers {
    std::uint8_t output = 0;
    std::uint8_t button = 0;

    std::uint8_t* at(std::uint8_t reg) {
        if (reg == kBridgeOutputRegister) return &output;
        if (reg == kBridgeButtonRegister) return &button;
        return nullptr;
    }
};

std::optional<Registers> parseRegisters(const std::string& text) {
    Registers regs;
    // Each register exactly once: a file naming one twice has lost the other.
    const std::uint8_t* seen[2] = {};
    int count = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.size() != 5 || line[2] != '=') return std::nullopt;
        auto reg = parseNumber("0x" + line.substr(0, 2));
        auto value = parseNumber("0x" + line.substr(3, 2));
        if (!reg || !value) return std::nullopt;
        std::uint8_t* slot = regs.at(static_cast<std::uint8_t>(*reg));
        if (!slot || count == 2 || (count == 1 && seen[0] == slot)) return std::nullopt;
        *slot = static_cast<std::uint8_t>(*value);
        seen[count++] = slot;
    }
    if (count != 2) return std::nullopt;
    return regs;
}

std::string formatRegisters(const Registers& regs) {
    char text[32];
    std::snprintf(text, sizeof text, "08=%02X\n0C=%02X\n", regs.output, regs.button);
    return text;
}

// Holds the device's lock file locked for the lifetime of the object.
class StateLock {
public:
    explicit StateLock(const std::string& stateFile) {
        // The state lives under the runtime folder, trusted only when no other user can
        // plant or swap files in it.
        if (privateRuntimeSubfolder(kBridgeFolder).empty()) return;
        fd_ = ::open((stateFile + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) return;
        while (::flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                ::close(fd_);
                fd_ = -1;
                return;
            }
        }
    }
    ~StateLock() {
        if (fd_ >= 0) {
            ::flock(fd_, LOCK_UN);
            ::close(fd_);
        }
    }
    StateLock(const StateLock&) = delete;
    StateLock& operator=(const StateLock&) = delete;
    bool held() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

enum class LoadResult { Ok, Missing, Corrupt };

// A missing file is a chip just powered up: both registers 0.
LoadResult loadRegisters(const std::string& file, Registers& regs) {
    const int fd = openRegularFile(file, O_RDONLY | O_NOFOLLOW);
    if (fd < 0) {
        regs = Registers{};
        return errno == ENOENT ? LoadResult::Missing : LoadResult::Corrupt;
    }
    char buffer[64];
    std::size_t used = 0;
    while (used < sizeof buffer) {
        const ssize_t n = ::read(fd, buffer + used, sizeof buffer - used);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        used += static_cast<std::size_t>(n);
    }
    ::close(fd);
    auto parsed = used < sizeof buffer ? parseRegisters(std::string(buffer, used)) : std::nullopt;
    if (!parsed) {
        regs = Registers{};
        return LoadResult::Corrupt;
    }
    regs = *parsed;
    return LoadResult::Ok;
}

bool storeRegisters(const std::string& file, const Registers& regs) {
    const std::string text = formatRegisters(regs);
    const std::string temp = file + ".tmp." + std::to_string(::getpid());
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.c_str(), file.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

template <typename Change>
bool changeRegisters(const std::string& deviceName, Change change) {
    const std::string file = simulatedBridgeStateFile(deviceName);
    StateLock lock(file);
    if (!lock.held()) return false;
    Registers regs;
    loadRegisters(file, regs);  // a corrupt file is rewritten from a cleared state
    if (!change(regs)) return false;
    return storeRegisters(file, regs);
}

constexpr std::uint8_t kConfigMemoryAddress = 0xA0;
constexpr std::size_t kConfigMemorySize = 256;

class SimulatedBridgeDriver : public BridgePropertyInterface {
public:
    SimulatedBridgeDriver(std::string deviceName, const SimulatedChipConfig& chip)
        : name_(std::move(deviceName)), chip_(chip) {
        memory_.fill(0xFF);
        // The chip driver's signature, then vendor and product as little-endian words.
        const std::uint8_t head[] = {0x1A,
                                     0xEB,
                                     0x67,
                                     0x95,
                                     static_cast<std::uint8_t>(chip.memoryVendor & 0xFF),
                                     static_cast<std::uint8_t>(chip.memoryVendor >> 8),
                                     static_cast<std::uint8_t>(chip.memoryProduct & 0xFF),
                                     static_cast<std::uint8_t>(chip.memoryProduct >> 8)};
        std::memcpy(memory_.data(), head, sizeof head);
    }

    std::int32_t Set(std::uint32_t code, void* data, std::size_t size) override {
        switch (code) {
            case bridge_code::kSelectRegister:
                return selectRegister(data, size);
            case bridge_code::kRegisterData:
                return writeRegister(data, size);
            case bridge_code::kSelectSerial:
                return selectSerial(data, size);
            case bridge_code::kSerialData:
                // The configuration memory is write-protected.
                if (!serial_ || serial_->direction != 1) return kInvalidArg;
                return kNotSupported;
            case bridge_code::kProbeSerial: {
                std::uint32_t address = 0;
                if (!word(data, size, address)) return kInvalidArg;
                return (chip_.hasConfigMemory && address == kConfigMemoryAddress) ? kOk
                                                                                  : kNotSupported;
            }
            default:
                return kNotSupported;
        }
    }

    std::int32_t Get(std::uint32_t code, void* data, std::size_t size) override {
        switch (code) {
            case bridge_code::kRegisterData:
                return readRegister(data, size);
            case bridge_code::kSerialData:
                return readSerial(data, size);
            case bridge_code::kConfiguration:
                if (!data || size < sizeof(std::uint32_t)) return kInvalidArg;
                std::memcpy(data, &chip_.configuration, sizeof(std::uint32_t));
                return kOk;
            case bridge_code::kIdentification:
                if (!data || size < 1) return kInvalidArg;
                *static_cast<std::uint8_t*>(data) = chip_.identification;
                return kOk;
            default:
                return kNotSupported;
        }
    }

private:
    struct SerialSelection {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;
        std::uint32_t direction = 0;
    };

    static bool word(const void* data, std::size_t size, std::uint32_t& out) {
        if (!data || size < sizeof(std::uint32_t)) return false;
        std::memcpy(&out, data, sizeof out);
        return true;
    }

    std::int32_t selectRegister(void* data, std::size_t size) {
        std::uint32_t request = 0;
        if (!word(data, size, request)) return kInvalidArg;
        register_ = -1;
        if (request == 0) return kOk;
        const std::uint32_t reg = request >> 8;
        const std::uint32_t length = request & 0xFF;
        // Only the output and button registers exist here, one byte each.
        if (length != 1 || (reg != kBridgeOutputRegister && reg != kBridgeButtonRegister))
            return kInvalidArg;
        register_ = static_cast<int>(reg);
        return kOk;
    }

    std::int32_t readRegister(void* data, std::size_t size) {
        if (register_ < 0 || !data || size < 1) return kInvalidArg;
        auto value = readSimulatedRegister(name_, static_cast<std::uint8_t>(register_));
        if (!value) return kFail;
        *static_cast<std::uint8_t*>(data) = *value;
        return kOk;
    }

    std::int32_t writeRegister(void* data, std::size_t size) {
        if (register_ < 0 || !data || size < 1) return kInvalidArg;
        const std::uint8_t value = *static_cast<const std::uint8_t*>(data);
        return writeSimulatedRegister(name_, static_cast<std::uint8_t>(register_), value) ? kOk
                                                                                          : kFail;
    }

    std::int32_t selectSerial(void* data, std::size_t size) {
        if (!data || size < sizeof(BridgeSerialRequest)) return kInvalidArg;
        BridgeSerialRequest request;
        std::memcpy(&request, data, sizeof request);
        serial_.reset();
        if (request.transferWord == 0) return kOk;
        // ((((address << 8) & 0xFFFF) | length | 0x10000) << 8) | offset
        const std::uint32_t w = request.transferWord;
        const std::uint32_t address = (w >> 16) & 0xFF;
        const std::uint32_t length = (w >> 8) & 0xFF;
        const std::uint32_t offset = w & 0xFF;
        if ((w >> 24) != 1 || address != kConfigMemoryAddress || !chip_.hasConfigMemory ||
            length == 0 || offset + length > kConfigMemorySize)
            return kInvalidArg;
        serial_ = SerialSelection{offset, length, request.direction};
        return kOk;
    }

    std::int32_t readSerial(void* data, std::size_t size) {
        if (!serial_ || serial_->direction == 1 || !data || size < serial_->length)
            return kInvalidArg;
        std::memcpy(data, memory_.data() + serial_->offset, serial_->length);
        return kOk;
    }

    std::string name_;
    SimulatedChipConfig chip_;
    std::array<std::uint8_t, kConfigMemorySize> memory_{};
    int register_ = -1;
    std::optional<SerialSelection> serial_;
};

}  // namespace

SimulatedChipConfig chipConfigFromOptions(const VirtualDeviceEntry& entry) {
    SimulatedChipConfig chip;
    for (const auto& [key, value] : entry.options) {
        if (key == "chipid") {
            if (auto n = parseNumber(value); n && *n <= 0xFF)
                chip.identification = static_cast<std::uint8_t>(*n);
        } else if (key == "chipconfig") {
            if (auto n = parseNumber(value)) chip.configuration = *n;
        } else if (key == "noeeprom") {
            chip.hasConfigMemory = false;
        } else if (key == "eeprom") {
            const auto colon = value.find(':');
            if (colon == std::string::npos) continue;
            auto vendor = parseNumber("0x" + value.substr(0, colon));
            auto product = parseNumber("0x" + value.substr(colon + 1));
            if (!vendor || !product || *vendor > 0xFFFF || *product > 0xFFFF) continue;
            chip.hasConfigMemory = true;
            chip.memoryVendor = static_cast<std::uint16_t>(*vendor);
            chip.memoryProduct = static_cast<std::uint16_t>(*product);
        }
    }
    return chip;
}

bool isBridgeChipName(const std::string& friendlyName) {
    for (const char* prefix : kBridgeChipPrefixes)
        if (startsWith(friendlyName, prefix)) return true;
    for (const char* name : kBridgeFamilyNames)
        if (startsWith(friendlyName, name)) return true;
    return false;
}

std::unique_ptr<BridgePropertyInterface> queryBridgeInterface(
    const std::string& friendlyName, const VirtualDeviceEntry* virtualEntry) {
    if (!virtualEntry || !isBridgeChipName(friendlyName)) return nullptr;
    return makeSimulatedBridgeDriver(friendlyName, chipConfigFromOptions(*virtualEntry));
}

std::unique_ptr<BridgePropertyInterface> makeSimulatedBridgeDriver(
    const std::string& deviceName, const SimulatedChipConfig& chip) {
    return std::make_unique<SimulatedBridgeDriver>(deviceName, chip);
}

std::string simulatedBridgeStateFile(const std::string& deviceName) {
    return joinPath(joinPath(runtimeDir(), kBridgeFolder), hexName(deviceName) + ".chip");
}

std::optional<std::uint8_t> readSimulatedRegister(const std::string& deviceName, std::uint8_t reg) {
    const std::string file = simulatedBridgeStateFile(deviceName);
    StateLock lock(file);
    if (!lock.held()) return std::nullopt;
    Registers regs;
    if (loadRegisters(file, regs) == LoadResult::Corrupt) return std::nullopt;
    const std::uint8_t* slot = regs.at(reg);
    if (!slot) return std::nullopt;
    return *slot;
}

bool writeSimulatedRegister(const std::string& deviceName, std::uint8_t reg, std::uint8_t value) {
    return changeRegisters(deviceName, [&](Registers& regs) {
        std::uint8_t* slot = regs.at(reg);
        if (!slot) return false;
        *slot = value;
        return true;
    });
}

bool setSimulatedRegisterBits(const std::string& deviceName, std::uint8_t reg, std::uint8_t bits) {
    return changeRegisters(deviceName, [&](Registers& regs) {
        std::uint8_t* slot = regs.at(reg);
        if (!slot) return false;
        *slot |= bits;
        return true;
    });
}

}  // namespace qelvo
