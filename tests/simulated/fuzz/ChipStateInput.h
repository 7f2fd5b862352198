#pragma once

#include <string>
#include <string_view>

namespace qelvo::fuzz {

// Takes `input` as the state file of a simulated bridge chip, then reads both registers
// directly and through the driver's property interface and serves a button poll.  Returns ""
// when the results are sound: both registers read or neither (one file), the driver reads
// what the file holds, a poll that sees the button bit clears it and leaves the output
// register alone, and a press stored over an unreadable file leaves a readable one.
std::string checkChipStateInput(std::string_view input);

// Writes chip state files made by the simulated driver itself into `folder`.
int writeChipStateSeeds(const std::string& folder);

}  // namespace qelvo::fuzz
