#pragma once
#include <string>
#include <vector>

#include "combine/CombineProgress.h"

namespace qelvo::combine {

struct MosaicRequest {
    std::vector<std::string> inputs;  // at least two
    std::string output;               // format from the extension
};

// Reads, places, evens out and blends; writes `output` whole or not at all. Calibration is
// carried over when every input has the same pixel size (and objective). False with a one-line
// `error` on failure (pictures that do not connect: name them); error == kCancelled when
// progress.cancelRequested() stopped it (nothing written). progress.report is called on the
// calling thread, fraction 0..1.
//
// The inputs must all be grey or all colour, with the same bits per sample; 16-bit pictures
// give a 16-bit mosaic where the format keeps it.  Pixels outside every picture are black.
bool stitchFiles(const MosaicRequest& request, const CombineProgress& progress, std::string* error);

}  // namespace qelvo::combine
