// libFuzzer target: the simulated bridge chip's state file, read as registers.  Built only by
// scripts/fuzz.
#include "simulated/fuzz/ChipStateInput.h"
#include "support/FuzzSupport.h"

QELVO_FUZZ_TARGET(qelvo::fuzz::checkChipStateInput)
