#pragma once

#include <string>
#include <string_view>

namespace qelvo::fuzz {

// Opens the folder memory over `input` as the settings file, twice on the same day, then
// remembers a folder and opens it a third time.  Folder names in the file are relative to a
// scratch root holding the folders A, B, lab and lab/20240301.  Returns "" when the folder
// list is sound: every folder listed once, the day folder selected, a second opening the
// same day changes neither the file nor the list, and a remembered folder is listed again on
// the next opening.
std::string checkSettingsFileInput(std::string_view input);

// Writes settings files made by the folder memory itself into `folder`; returns how many.
int writeSettingsFileSeeds(const std::string& folder);

}  // namespace qelvo::fuzz
