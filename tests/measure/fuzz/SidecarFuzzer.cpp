// libFuzzer target: measurement sidecars, read as text and as files.  Built only by scripts/fuzz.
#include "measure/fuzz/MeasureInputs.h"
#include "support/FuzzSupport.h"

QELVO_FUZZ_TARGET(qelvo::fuzz::checkSidecarInput)
