#pragma once

#include <cstdint>
#include <string>

namespace qelvo {

// Still-button presses of a virtual device, shared between processes: the press tool
// counts a press up, the device's source compares the count with the last one it saw and
// delivers one still frame per new press. The count lives in
// runtimeDir()/buttons/<hex of the name>.still as decimal text, replaced atomically.

// Adds one press for the named device. Returns false when the count could not be stored.
bool pressStill(const std::string& deviceName);
// Presses seen so far for the named device; 0 when none was ever stored or the file is
// unreadable or corrupt.
std::uint64_t stillPressCount(const std::string& deviceName);

// Reads the count from a device's file (stillPressFile): true with the count (0 when the
// file does not exist), false when the file is there but unreadable or corrupt, which the
// reader takes as "no change" rather than as a count that went back to 0.
bool readStillPressCount(const std::string& file, std::uint64_t& count);

// The file holding the count for a device name (exposed for tests and tools).
std::string stillPressFile(const std::string& deviceName);

}  // namespace qelvo
