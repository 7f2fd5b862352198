#include "capture/BridgeHandle.h"
#include "capture/CaptureSession.h"

namespace qelvo {

BridgeAccess defaultBridgeAccess() {
    // The opening sequence (open, output bits 0, chip identity) and its failure handling are
    // the bridge handle's own.
    // The handle finds its device in the list the session already read (off the GUI thread),
    // so opening it lists no camera again.
    return {[](const std::string& name, const std::vector<VideoInputDevice>& devices) {
                BridgeDeviceSource source = systemBridgeDeviceSource();
                source.videoInputs = [devices] { return devices; };
                openBridgeHandle(name, hasInjectedBridgeDeviceSource()
                                           ? injectedBridgeDeviceSource()
                                           : std::move(source));
            },
            [] { closeBridgeHandle(); }};
}

}  // namespace qelvo
