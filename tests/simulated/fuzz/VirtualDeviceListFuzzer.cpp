// libFuzzer target: the QELVO_VIRTUAL_DEVICES list, parsed into device entries and options.
// Built only by scripts/fuzz.
#include "simulated/fuzz/VirtualDeviceListInput.h"
#include "support/FuzzSupport.h"

QELVO_FUZZ_TARGET(qelvo::fuzz::checkVirtualDeviceListInput)
