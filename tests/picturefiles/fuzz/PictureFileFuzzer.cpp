// libFuzzer target: untrusted picture files of one format read (header and samples),
// written back and read again.  QELVO_FUZZ_FORMAT names the format.  Built only by
// scripts/fuzz.
#include "picturefiles/fuzz/PictureInput.h"
#include "support/FuzzSupport.h"

namespace {
std::string check(std::string_view input) {
    return qelvo::fuzz::checkPictureInput(qelvo::PictureFormat::QELVO_FUZZ_FORMAT, input);
}
}  // namespace

QELVO_FUZZ_TARGET(check)
