#include "capture/BridgeHandle.h"
#include "capture/CaptureSession.h"

namespace qelvo {

BridgeAccess defaultBridgeAccess() {
    // The opening sequence (open, output bits 0, chip identity) and its failure handling are
    // the bridge handle's own.
    return {[](const std::string& name) { openBridgeHandle(name); }, [] { closeBridgeHandle(); }};
}

}  // namespace qelvo
