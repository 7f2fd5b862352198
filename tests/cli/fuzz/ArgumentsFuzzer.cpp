// libFuzzer target: command lines of the qelvo tool read against each command.  Built only
// by scripts/fuzz.
#include "cli/fuzz/ArgumentsInput.h"
#include "support/FuzzSupport.h"

QELVO_FUZZ_TARGET(qelvo::fuzz::checkArgumentsInput)
