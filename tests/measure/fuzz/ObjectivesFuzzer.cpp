// libFuzzer target: a device's stored objectives, read as text and through the store.  Built
// only by scripts/fuzz.
#include "measure/fuzz/MeasureInputs.h"
#include "support/FuzzSupport.h"

QELVO_FUZZ_TARGET(qelvo::fuzz::checkObjectivesInput)
