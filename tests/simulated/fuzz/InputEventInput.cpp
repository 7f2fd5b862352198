#include "simulated/fuzz/InputEventInput.h"

#include <linux/input.h>

#include <cstdint>
#include <span>
#include <vector>

#include "devices/InputEventDecoder.h"
#include "support/FuzzSupport.h"

namespace qelvo::fuzz {

std::string checkInputEventInput(std::string_view input) {
    if (input.empty()) return {};
    const std::span<const std::uint8_t> stream(
        reinterpret_cast<const std::uint8_t*>(input.data()) + 1, input.size() - 1);
    const std::size_t record = inputEventRecordSize();

    InputEventCarry whole;
    const auto expected = decodeKeyPresses(whole, stream);
    if (expected.size() > stream.size() / record) return "more presses than records";
    if (whole.partial.size() != stream.size() % record) return "a whole-stream carry of wrong size";

    // Reads of varying lengths, some shorter than a record, some spanning several.
    InputEventCarry carry;
    std::vector<std::uint16_t> pieces;
    std::size_t length = static_cast<std::uint8_t>(input[0]) % (3 * record) + 1;
    for (std::size_t at = 0; at < stream.size(); length = length * 7 % (3 * record) + 1) {
        const std::size_t n = std::min(length, stream.size() - at);
        const auto presses = decodeKeyPresses(carry, stream.subspan(at, n));
        pieces.insert(pieces.end(), presses.begin(), presses.end());
        if (carry.partial.size() >= record) return "a carry of a whole record or more";
        at += n;
    }
    if (pieces != expected) return "presses depend on how the reads cut the records";
    if (carry.partial.size() != whole.partial.size()) return "reads leave another carry";

    // A carry that is not a partial record is dropped, not decoded or grown.
    InputEventCarry bad;
    bad.partial.assign(record + 3, 0xFF);
    if (decodeKeyPresses(bad, stream) != expected) return "an oversized carry changed presses";
    return {};
}

int writeInputEventSeeds(const std::string& folder) {
    auto stream = [](std::uint8_t cut, std::initializer_list<std::vector<std::uint8_t>> records) {
        std::string bytes(1, static_cast<char>(cut));
        for (const auto& r : records) bytes.append(r.begin(), r.end());
        return bytes;
    };
    const auto press = encodeInputEvent(EV_KEY, kCameraKeyCode, 1);
    const auto release = encodeInputEvent(EV_KEY, kCameraKeyCode, 0);
    const auto repeat = encodeInputEvent(EV_KEY, kCameraKeyCode, 2);
    const auto sync = encodeInputEvent(EV_SYN, SYN_REPORT, 0);
    const auto scan = encodeInputEvent(EV_MSC, MSC_SCAN, 0x90001);
    const auto other = encodeInputEvent(EV_KEY, KEY_VOLUMEUP, 1);
    int written = 0;
    written += writeFile(folder + "/press-release", stream(5, {scan, press, sync, release, sync}));
    written +=
        writeFile(folder + "/held", stream(24, {press, sync, repeat, sync, repeat, release}));
    written += writeFile(folder + "/other-key", stream(1, {other, sync, press, sync}));
    return written;
}

}  // namespace qelvo::fuzz
