// libFuzzer target: driver registry value files, read as typed values and polled.  Built only
// by scripts/fuzz.
#include "simulated/fuzz/RegistryValueInput.h"
#include "support/FuzzSupport.h"

QELVO_FUZZ_TARGET(qelvo::fuzz::checkRegistryValueInput)
