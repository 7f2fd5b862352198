#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace qelvo {

// The key code a camera's snapshot button reports (KEY_CAMERA).
inline constexpr std::uint16_t kCameraKeyCode = 212;

// Size of one event record as the kernel writes it on this machine (24 bytes on 64-bit).
std::size_t inputEventRecordSize();

// What one read of an event device leaves for the next: the first bytes of a record that the
// read cut short.  Always shorter than one record.
struct InputEventCarry {
    std::vector<std::uint8_t> partial;
};

// Decodes the event records in `bytes`, continuing a record that `carry` holds from the last
// read, and returns the codes of the keys pressed (EV_KEY with value 1), in order.  Releases
// (0), autorepeats (2) and every other event are skipped.  Trailing bytes that do not make a
// whole record go into `carry`.  Any byte sequence is accepted.
std::vector<std::uint16_t> decodeKeyPresses(InputEventCarry& carry,
                                            std::span<const std::uint8_t> bytes);

// One event record as the kernel writes it, for tests and tools that feed a reader.
std::vector<std::uint8_t> encodeInputEvent(std::uint16_t type, std::uint16_t code,
                                           std::int32_t value);

}  // namespace qelvo
