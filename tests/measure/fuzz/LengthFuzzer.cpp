// libFuzzer target: lengths as people type them (command line, calibration dialog).  Built only
// by scripts/fuzz.
#include "measure/fuzz/MeasureInputs.h"
#include "support/FuzzSupport.h"

QELVO_FUZZ_TARGET(qelvo::fuzz::checkLengthInput)
