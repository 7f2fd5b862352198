#include "devices/CameraControlAccess.h"

#include <gst/gst.h>

#include <cstdio>
#include <cstring>
#include <set>

#include "devices/CameraControlStore.h"
#include "devices/CameraControls.h"
#include "devices/CameraIdentity.h"
#include "media/MediaInternal.h"
#include "devices/SimulatedCameraControls.h"

namespace qelvo {
namespace {

// The device node a camera source streams from: v4l2src's "device" property.
std::string cameraDevicePath(const SourceState& s) {
    if (!s.producer) return {};
    GstElementFactory* factory = gst_element_get_factory(s.producer);
    if (!factory || std::strcmp(GST_OBJECT_NAME(factory), "v4l2src") != 0) return {};
    gchar* path = nullptr;
    g_object_get(s.producer, "device", &path, nullptr);
    std::string result = path ? path : "";
    g_free(path);
    return result;
}

}  // namespace

std::optional<CameraControlSource> cameraControlSource(const MediaComponent& source) {
    if (source.empty() || source.kind() != ComponentKind::Source || !source.impl()->source)
        return std::nullopt;
    const SourceState& s = *source.impl()->source;
    if (s.isVirtual) {
        if (!s.options.cameraControls) return std::nullopt;
        return CameraControlSource{simulatedCameraControlsOf(s.deviceName),
                                   s.deviceName + " @virtual"};
    }
    const std::string path = cameraDevicePath(s);
    if (path.empty()) return std::nullopt;
    std::string error;
    std::shared_ptr<CameraControlBackend> backend = openV4l2ControlBackend(path, error);
    if (!backend) {
        // Said once per device: CONFIG then shows the colour controls GStreamer offers.
        static std::set<std::string> reported;
        if (reported.insert(path).second)
            std::fprintf(stderr, "qelvo-tarnel: the camera controls are not available (%s)\n",
                         error.c_str());
        return std::nullopt;
    }
    return CameraControlSource{std::move(backend), cameraIdentity(s.deviceName, path)};
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
    static std::set<std::string> reported;
    if (!controls.applyStored(stored, error) && reported.insert(access->identity).second)
        std::fprintf(stderr, "qelvo-tarnel: \"%s\" did not take a kept setting (%s)\n",
                     access->identity.c_str(), error.c_str());
}

}  // namespace qelvo
