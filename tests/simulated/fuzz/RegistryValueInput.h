#pragma once

#include <string>
#include <string_view>

namespace qelvo::fuzz {

// Splits `input` at 0xFF bytes into the value files of one microscope driver key:
// "DriverDesc", "DriverVersion", "Settings\USBActive" and "Settings\SnapShotState" (a missing
// part leaves its value absent).  Reads each as number and as text, runs the key lookup and
// two snapshot polls over them.  Returns "" when the results are sound: a value read is
// written back and read again unchanged, the lookup finds key 0 or nothing, and a poll that
// reports a press leaves "SnapShotState" at 2 and the next poll reports none, while a poll
// that reports none leaves the file as it was.
std::string checkRegistryValueInput(std::string_view input);

// Writes driver keys made by the store itself into `folder`, in the form above.
int writeRegistryValueSeeds(const std::string& folder);

}  // namespace qelvo::fuzz
