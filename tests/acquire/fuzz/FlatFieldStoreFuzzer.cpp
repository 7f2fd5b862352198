// libFuzzer target: names and files given to the flat-field store, read into a correction.
// Built only by scripts/fuzz.
#include "acquire/fuzz/FlatFieldStoreInput.h"
#include "support/FuzzSupport.h"

QELVO_FUZZ_TARGET(qelvo::fuzz::checkFlatFieldStoreInput)
