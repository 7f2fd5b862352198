#include "devices/CameraControlAccess.h"

#include <cstdio>
#include <mutex>
#include <set>

#include "devices/CameraControlStore.h"
#include "devices/CameraControls.h"
#include "devices/CameraIdentity.h"
#include "devices/SimulatedCameraControls.h"
#include "media/SourceControls.h"

namespace qelvo {
namespace {

// Whether `what` is said for the first time this run.  Cameras are opened on device tasks'
// threads and their pages on the GUI thread, so the record is guarded.
bool firstTimeSaid(const std::string& what) {
    static std::mutex mutex;
    static std::set<std::string> said;
    std::lock_guard lock(mutex);
    return said.insert(what).second;
}

}  // namespace

std::optional<CameraControlSource> cameraControlSource(const MediaComponent& source) {
    const std::optional<SourceDevice> device = sourceDevice(source);
    if (!device) return std::nullopt;
    if (device->isVirtual) {
        if (!device->simulatesCameraControls) return std::nullopt;
        return CameraControlSource{simulatedCameraControlsOf(device->deviceName),
                                   device->deviceName + " @virtual"};
    }
    const std::string& path = device->devicePath;
    if (path.empty()) return std::nullopt;
    std::string error;
    std::shared_ptr<CameraControlBackend> backend = openV4l2ControlBackend(path, error);
    if (!backend) {
        // Said once per device: CONFIG then shows the colour controls GStreamer offers.
        if (firstTimeSaid(path))
            std::fprintf(stderr, "qelvo-tarnel: the camera controls are not available (%s)\n",
                         error.c_str());
        return std::nullopt;
    }
    return CameraControlSource{std::move(backend), cameraIdentity(device->deviceName, path)};
}

void applyStoredCameraControls(const MediaComponent& source) {
    const auto access = cameraControlSource(source);
    if (!access) return;
    CameraControls controls(*access->backend);
    controls.load();
    std::vector<std::uint32_t> ids;
    for (const CameraControl& control : controls.controls()) ids.push_back(control.info.id);
    const auto stored = CameraControlStore(RegistryStore(), access->identity).load(ids);
    if (stored.empty()) return;
    std::string error;
    // Said once per camera and run: the values are sent again at every graph build.
    if (!controls.applyStored(stored, error) && firstTimeSaid("kept " + access->identity))
        std::fprintf(stderr, "qelvo-tarnel: \"%s\" did not take a kept setting (%s)\n",
                     access->identity.c_str(), error.c_str());
}

}  // namespace qelvo
