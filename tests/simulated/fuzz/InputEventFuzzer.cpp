// libFuzzer target: event device records read in pieces, decoded into key presses.  Built
// only by scripts/fuzz.
#include "simulated/fuzz/InputEventInput.h"
#include "support/FuzzSupport.h"

QELVO_FUZZ_TARGET(qelvo::fuzz::checkInputEventInput)
