// libFuzzer target: the settings file, read into the folder list.  Built only by scripts/fuzz.
#include "manage/fuzz/SettingsFileInput.h"
#include "support/FuzzSupport.h"

QELVO_FUZZ_TARGET(qelvo::fuzz::checkSettingsFileInput)
