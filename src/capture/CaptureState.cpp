#include "capture/CaptureState.h"

namespace qelvo {

CaptureWords& captureWords() {
    static CaptureWords words;
    return words;
}

}  // namespace qelvo
