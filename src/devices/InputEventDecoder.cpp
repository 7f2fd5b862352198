#include "devices/InputEventDecoder.h"

#include <linux/input.h>

#include <algorithm>
#include <cstring>

namespace qelvo {
namespace {

constexpr std::size_t kRecordSize = sizeof(input_event);

// Appends the press, if `record` (kRecordSize bytes) is one.
void decodeRecord(const std::uint8_t* record, std::vector<std::uint16_t>& presses) {
    input_event event;
    std::memcpy(&event, record, kRecordSize);
    if (event.type == EV_KEY && event.value == 1) presses.push_back(event.code);
}

}  // namespace

std::size_t inputEventRecordSize() {
    return kRecordSize;
}

std::vector<std::uint16_t> decodeKeyPresses(InputEventCarry& carry,
                                            std::span<const std::uint8_t> bytes) {
    std::vector<std::uint16_t> presses;
    // A carry that is somehow a record or longer is not trusted: it is dropped.
    if (carry.partial.size() >= kRecordSize) carry.partial.clear();
    if (!carry.partial.empty()) {
        const std::size_t missing = kRecordSize - carry.partial.size();
        const std::size_t taken = std::min(missing, bytes.size());
        carry.partial.insert(carry.partial.end(), bytes.begin(), bytes.begin() + taken);
        bytes = bytes.subspan(taken);
        if (carry.partial.size() < kRecordSize) return presses;
        decodeRecord(carry.partial.data(), presses);
        carry.partial.clear();
    }
    while (bytes.size() >= kRecordSize) {
        decodeRecord(bytes.data(), presses);
        bytes = bytes.subspan(kRecordSize);
    }
    carry.partial.assign(bytes.begin(), bytes.end());
    return presses;
}

std::vector<std::uint8_t> encodeInputEvent(std::uint16_t type, std::uint16_t code,
                                           std::int32_t value) {
    input_event event{};
    event.type = type;
    event.code = code;
    event.value = value;
    std::vector<std::uint8_t> record(kRecordSize);
    std::memcpy(record.data(), &event, kRecordSize);
    return record;
}

}  // namespace qelvo
