#include "capture/CapturePipeline.h"

namespace qelvo {

BridgeAccess defaultBridgeAccess() {
    return {};
}

}  // namespace qelvo
