#pragma once

#include <string>
#include <string_view>

namespace qelvo::fuzz {

// Takes `input` as bytes read from an event device: its first byte sets how the rest is cut
// into reads.  Returns "" when the key presses decoded read by read are the ones decoded from
// the whole at once, at most one per record, and what is carried between reads is always
// less than one record.
std::string checkInputEventInput(std::string_view input);

// Writes event streams made of records the program's own encoder writes into `folder`.
int writeInputEventSeeds(const std::string& folder);

}  // namespace qelvo::fuzz
