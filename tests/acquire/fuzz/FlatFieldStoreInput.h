#pragma once

#include <string>
#include <string_view>

namespace qelvo::fuzz {

// Reads `input` as what the flat-field store is given: a device name and an objective name
// (each ended by a NUL byte), then the stored flat reference file (its length as 4 bytes,
// least significant first, then its bytes) and the stored dark reference file (the rest; none
// when empty).  Returns "" when the results are sound: every name gives one file inside the
// store's folder, two names never share a file; the references load into a correction only
// when they make one (a flat, both the same size), it corrects the flat and every live-frame
// kernel gives the same bytes; a reference that cannot be used is said, and a stored file is
// never changed by reading it.
std::string checkFlatFieldStoreInput(std::string_view input);
// Writes inputs made with the store's own writer into `folder`; returns how many.
int writeFlatFieldStoreSeeds(const std::string& folder);

}  // namespace qelvo::fuzz
