#pragma once
#include <string>
#include <vector>

#include "combine/CombineProgress.h"

namespace qelvo::combine {

struct FocusStackRequest {
    std::vector<std::string> inputs;  // at least two, same size
    std::string output;               // format from the extension
    std::string depthMapOutput;       // "" for none
};

// Reads, aligns and fuses; writes `output` (and the depth map) whole or not at all. Calibration
// is carried over when every input has the same pixel size (and objective). False with a
// one-line `error` on failure; error == kCancelled when progress.cancelRequested() stopped it
// (nothing written). progress.report is called on the calling thread, fraction 0..1.
// The inputs are read one at a time and dropped once added, so memory does not grow with
// their number; the first is the reference whose frame the result keeps.
bool stackFocusFiles(const FocusStackRequest& request, const CombineProgress& progress,
                     std::string* error);

}  // namespace qelvo::combine
