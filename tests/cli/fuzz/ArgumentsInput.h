#pragma once

#include <string>
#include <string_view>

namespace qelvo::fuzz {

// Takes `input` as a command line (arguments separated by NUL bytes) and reads it against
// every command of the qelvo tool.  Returns "" when all is sound: a command line read has
// operands within the command's limits, every required option, only the command's own
// options and no empty value, and all of it valid UTF-8.
std::string checkArgumentsInput(std::string_view input);

// Writes typical command lines into `folder`; returns how many.
int writeArgumentSeeds(const std::string& folder);

}  // namespace qelvo::fuzz
