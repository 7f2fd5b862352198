#pragma once

#include <string>
#include <string_view>

namespace qelvo::fuzz {

// Reads `input` as a measurements sidecar, as text and as the file beside a picture.
// Returns "" when the results are sound: a sidecar read is written back and reads again the
// same, every shape in it can be measured and tabulated, and the file loads exactly when
// the text parses; a file that does not load is refused by a save that was not told to
// replace it, and stays as it was.
std::string checkSidecarInput(std::string_view input);
// Writes sidecars made by the program's own writer into `folder`; returns how many.
int writeSidecarSeeds(const std::string& folder);

// Reads `input` as a device's stored objectives, as text and through the store.  Returns ""
// when the results are sound: a list read is written back and reads again the same, its
// active objective exists, pixel sizes are finite; the store gives that list with no problem,
// or the defaults with a problem and the stored file untouched.
std::string checkObjectivesInput(std::string_view input);
// Writes objective lists made by the program's own writer into `folder`; returns how many.
int writeObjectivesSeeds(const std::string& folder);

// Reads `input` as a length typed by a person, with and without a unit required.  Returns ""
// when the results are sound: a length is finite and above zero, a refusal says why, a
// length needs a unit exactly where one is required, and the length written for people
// reads back within its rounding.
std::string checkLengthInput(std::string_view input);
// Writes lengths as people type them into `folder`; returns how many.
int writeLengthSeeds(const std::string& folder);

}  // namespace qelvo::fuzz
