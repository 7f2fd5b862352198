#pragma once

#include <string>
#include <string_view>

namespace qelvo::fuzz {

// Parses `input` as the QELVO_VIRTUAL_DEVICES list and reads every entry's device and chip
// options.  Returns "" when the results are sound: names and options are trimmed and free of
// the list's own marks, the entries written back as a list parse to the same entries, and
// every option lies in its documented range.
std::string checkVirtualDeviceListInput(std::string_view input);

// Writes device lists into `folder`, formed from the names and options the program knows.
int writeVirtualDeviceListSeeds(const std::string& folder);

}  // namespace qelvo::fuzz
