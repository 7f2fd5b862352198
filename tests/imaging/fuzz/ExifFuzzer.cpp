// libFuzzer target: EXIF blocks read and edited after a turn, and the JPEG segment walk
// under them.  Built only by scripts/fuzz.
#include "imaging/fuzz/ExifInput.h"
#include "support/FuzzSupport.h"

QELVO_FUZZ_TARGET(qelvo::fuzz::checkExifInput)
